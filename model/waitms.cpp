// SPDX-License-Identifier: MIT
#include "model/waitms.h"

#include <memory>

#include "model/coreplatform.h"
#include "model/timer.h"

void WaitMs(qint16 ms, CorePlatform& platform) {
    const quint32 start = static_cast<quint32>(platform.tickCount());
    const quint32 length = ms > 0 ? static_cast<quint32>(ms) : 0u;
    auto elapsed = [&] { return static_cast<quint32>(platform.tickCount()) - start; };
    if (elapsed() >= length || platform.waitsCancelled()) {
        return;
    }
    // Its tick wakes the sleeping dispatch at the deadline; re-armed for what remains.
    const std::unique_ptr<Timer> wake = platform.createTimer();
    wake->setSingleShot(true);
    while (!platform.waitsCancelled()) {
        const quint32 done = elapsed();
        if (done >= length) {
            return;
        }
        wake->start(static_cast<int>(length - done));
        platform.dispatchEvents(true);
    }
}

void waitWhile(const std::function<bool()>& condition, CorePlatform& platform) {
    while (condition() && !platform.waitsCancelled()) {
        platform.dispatchEvents(true);
    }
}
