// SPDX-License-Identifier: MIT
#include "platform/waitms.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>

#include "platform/coreplatform.h"
#include "platform/timer.h"

namespace {

bool g_cancelled = false;

// Dispatches what is pending; when nothing is, blocks until the next event (a timer tick, a
// click, or the wake-up timer of a timed wait).
void dispatchOrSleep() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// The timed wait on any tick counter, wake-up timer and dispatch.
void waitMsWith(qint16 ms, const TickSource& ticks,
                const std::function<std::unique_ptr<Timer>()>& makeTimer,
                const std::function<void()>& sleep) {
    const quint32 start = static_cast<quint32>(ticks());
    const quint32 length = ms > 0 ? static_cast<quint32>(ms) : 0u;
    auto elapsed = [&] { return static_cast<quint32>(ticks()) - start; };
    if (elapsed() >= length || g_cancelled) {
        return;
    }
    // Its tick wakes the sleeping dispatch at the deadline; re-armed for what remains.
    const std::unique_ptr<Timer> wake = makeTimer();
    wake->setSingleShot(true);
    while (!g_cancelled) {
        const quint32 done = elapsed();
        if (done >= length) {
            return;
        }
        wake->start(static_cast<int>(length - done));
        sleep();
    }
}

void waitWhileWith(const std::function<bool()>& condition, const std::function<void()>& sleep) {
    while (condition() && !g_cancelled) {
        sleep();
    }
}

}  // namespace

void WaitMs(qint16 ms, const TickSource& ticks) {
    waitMsWith(
        ms, ticks, [] { return std::make_unique<PreciseTimer>(); }, dispatchOrSleep);
}

void waitWhile(const std::function<bool()>& condition) {
    waitWhileWith(condition, dispatchOrSleep);
}

void dispatchPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitMs(qint16 ms, CorePlatform& platform) {
    waitMsWith(
        ms, [&platform] { return platform.tickCount(); },
        [&platform] { return platform.createTimer(); },
        [&platform] { platform.dispatchEvents(true); });
}

void waitWhile(const std::function<bool()>& condition, CorePlatform& platform) {
    waitWhileWith(condition, [&platform] { platform.dispatchEvents(true); });
}

void dispatchPendingEvents(CorePlatform& platform) {
    platform.dispatchEvents(false);
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
