// SPDX-License-Identifier: MIT
#include "platform/waitms.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace {

bool g_cancelled = false;

// Dispatches what is pending; when nothing is, blocks until the next event (a timer tick, a
// click, or the wake-up timer of a timed wait).
void dispatchOrSleep() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace

void WaitMs(qint16 ms, const TickSource& ticks) {
    const quint32 start = static_cast<quint32>(ticks());
    const quint32 length = ms > 0 ? static_cast<quint32>(ms) : 0u;
    auto elapsed = [&] { return static_cast<quint32>(ticks()) - start; };
    if (elapsed() >= length || g_cancelled) {
        return;
    }
    // Its timer event wakes the sleeping dispatch at the deadline; re-armed for what remains.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!g_cancelled) {
        const quint32 done = elapsed();
        if (done >= length) {
            return;
        }
        wake.start(static_cast<int>(length - done));
        dispatchOrSleep();
    }
}

void waitWhile(const std::function<bool()>& condition) {
    while (condition() && !g_cancelled) {
        dispatchOrSleep();
    }
}

void dispatchPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void cancelAllWaits() {
    g_cancelled = true;
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
        dispatcher->wakeUp();
    }
}

bool waitsCancelled() {
    return g_cancelled;
}

void resumeWaits() {
    g_cancelled = false;
}
