// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "model/timer.h"
#include "support/fakeplatform.h"

class SimTimer;

// A platform that is a discrete-event simulator: a virtual clock in milliseconds, timers that
// fall due on it, and a dispatch that, when nothing is due, moves the clock on to the next
// timer or scheduled test action and runs it. A draw then runs in no real time, the same way
// every time. The tick counter reads tickOffset + the virtual time, as 32 bits.
//
// Simulated time ends: a draw still running after drawLimitMs of it, or with no draw watched a
// simulation past kRunLimitMs, fails the test at once, saying what it was waiting for, and ends
// the waits, instead of running on without end.
class SimPlatform : public FakePlatform {
public:
    SimPlatform();
    ~SimPlatform() override;

    static constexpr qint64 kRunLimitMs = 4 * 60 * 60 * 1000;

    qint64 nowMs = 0;  // virtual milliseconds since the simulation started
    // A wait found nothing left to happen, or simulated time ran out (its waits were then ended,
    // and nothing happens any more).
    bool stalled = false;
    QStringList timeline;  // "<ms> <what>", in order; beeps are recorded, tests add the rest

    // Runs action at virtual time ms (or at once, at the next dispatch, when that has passed).
    void at(qint64 ms, std::function<void()> action);
    void after(qint64 ms, std::function<void()> action) { at(nowMs + ms, std::move(action)); }
    void record(const QString& what);
    // The timeline entries whose text after the time starts with prefix, as "<ms> <what>".
    QStringList entries(const QString& prefix) const;

    qint32 tickCount() override;
    void beep() override;
    float nextRandom() override;
    std::unique_ptr<Timer> createTimer() override;
    void dispatchEvents(bool sleep) override;

private:
    friend class SimTimer;
    struct Action {
        qint64 due;
        quint64 order;
        std::function<void()> run;
    };
    bool fireNextDue(qint64 limit);
    QString overrunDetail() const override;
    QList<SimTimer*> m_timers;
    QList<Action> m_actions;
    quint64 m_order = 0;
};
