// SPDX-License-Identifier: MIT
#include "platform/coreplatform.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "platform/timer.h"

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
