// SPDX-License-Identifier: MIT
#include "platform/waitms.h"

#include <QAbstractEventDispatcher>
#include <memory>

#include "platform/coreplatform.h"
#include "platform/timer.h"

namespace {

bool g_cancelled = false;

}  // namespace

void WaitMs(qint16 ms, CorePlatform& platform) {
    const quint32 start = static_cast<quint32>(platform.tickCount());
    const quint32 length = ms > 0 ? static_cast<quint32>(ms) : 0u;
    auto elapsed = [&] { return static_cast<quint32>(platform.tickCount()) - start; };
    if (elapsed() >= length || g_cancelled) {
        return;
    }
    // Its tick wakes the sleeping dispatch at the deadline; re-armed for what remains.
    const std::unique_ptr<Timer> wake = platform.createTimer();
    wake->setSingleShot(true);
    while (!g_cancelled) {
        const quint32 done = elapsed();
        if (done >= length) {
            return;
        }
        wake->start(static_cast<int>(length - done));
        platform.dispatchEvents(true);
    }
}

void waitWhile(const std::function<bool()>& condition, CorePlatform& platform) {
    while (condition() && !g_cancelled) {
        platform.dispatchEvents(true);
    }
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
