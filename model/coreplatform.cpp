// SPDX-License-Identifier: MIT
#include "model/coreplatform.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <ctime>

#include "model/timer.h"

qint64 bootTimeMs() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

PreciseTimer::PreciseTimer() {
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Timer::timeout);
}

std::unique_ptr<Timer> CorePlatform::createTimer() {
    return std::make_unique<PreciseTimer>();
}

void CorePlatform::dispatchEvents(bool sleep) {
    QCoreApplication::processEvents(sleep ? QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents
                                          : QEventLoop::AllEvents);
}

void CorePlatform::cancelWaits() {
    m_waitsCancelled = true;
    // A wait sleeping for the next event is woken to see it.
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
        dispatcher->wakeUp();
    }
}
