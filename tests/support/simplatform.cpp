// SPDX-License-Identifier: MIT
#include "support/simplatform.h"

#include <limits>

#include "model/random.h"
#include "model/waitms.h"

class SimTimer : public Timer {
public:
    explicit SimTimer(SimPlatform& sim) : m_sim(sim) { m_sim.m_timers << this; }
    ~SimTimer() override { m_sim.m_timers.removeAll(this); }

    void setInterval(int ms) override { m_interval = ms; }
    int interval() const override { return m_interval; }
    void setSingleShot(bool singleShot) override { m_singleShot = singleShot; }
    void start() override {
        m_active = true;
        m_due = m_sim.nowMs + m_interval;
        m_order = ++m_sim.m_order;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    void fire() {
        if (m_singleShot) {
            m_active = false;
        } else {
            m_due += m_interval;  // a precise timer keeps its phase
        }
        emit timeout();
    }

    SimPlatform& m_sim;
    int m_interval = 0;
    bool m_singleShot = false;
    bool m_active = false;
    qint64 m_due = 0;
    quint64 m_order = 0;
};

SimPlatform::SimPlatform() {
    // Ten simulated minutes: a draw takes seconds of them.
    drawLimitMs = 10 * 60 * 1000;
    clock = [] { return QDateTime(QDate(2010, 3, 9), QTime(14, 5, 7)); };
    folder = QStringLiteral("/nonexistent");
    // The same numbers every run, unless the test gives its own.
    random = [generator = RandomGenerator()]() mutable { return generator.next(); };
}

SimPlatform::~SimPlatform() = default;

void SimPlatform::at(qint64 ms, std::function<void()> action) {
    m_actions << Action{ms, ++m_order, std::move(action)};
}

void SimPlatform::record(const QString& what) {
    timeline << QString::number(nowMs) + QLatin1Char(' ') + what;
}

QStringList SimPlatform::entries(const QString& prefix) const {
    QStringList out;
    for (const QString& e : timeline) {
        if (e.section(QLatin1Char(' '), 1).startsWith(prefix)) {
            out << e;
        }
    }
    return out;
}

qint32 SimPlatform::tickCount() {
    return static_cast<qint32>(static_cast<quint32>(tickOffset + nowMs));
}

void SimPlatform::beep() {
    FakePlatform::beep();
    record(QStringLiteral("beep"));
}

float SimPlatform::nextRandom() {
    record(QStringLiteral("random"));
    return FakePlatform::nextRandom();
}

std::unique_ptr<Timer> SimPlatform::createTimer() {
    return std::make_unique<SimTimer>(*this);
}

// Runs the earliest timer tick or action due at or before limit, moving the clock to it.
bool SimPlatform::fireNextDue(qint64 limit) {
    qint64 due = std::numeric_limits<qint64>::max();
    quint64 order = 0;
    SimTimer* timer = nullptr;
    int action = -1;
    for (SimTimer* t : m_timers) {
        if (t->m_active && (t->m_due < due || (t->m_due == due && t->m_order < order))) {
            due = t->m_due;
            order = t->m_order;
            timer = t;
        }
    }
    for (int i = 0; i < m_actions.size(); ++i) {
        const Action& a = m_actions.at(i);
        if (a.due < due || (a.due == due && a.order < order)) {
            due = a.due;
            order = a.order;
            timer = nullptr;
            action = i;
        }
    }
    if (due > limit) {
        return false;
    }
    nowMs = std::max(nowMs, due);
    if (timer != nullptr) {
        timer->fire();
    } else if (action >= 0) {
        const std::function<void()> run = m_actions.takeAt(action).run;
        run();
    }
    return true;
}

QString SimPlatform::overrunDetail() const {
    int timers = 0;
    for (const SimTimer* t : m_timers) {
        timers += t->m_active ? 1 : 0;
    }
    return QStringLiteral("%1 timers running, %2 actions scheduled; last: %3")
        .arg(timers)
        .arg(m_actions.size())
        .arg(timeline.isEmpty() ? QStringLiteral("nothing") : timeline.constLast());
}

void SimPlatform::dispatchEvents(bool sleep) {
    if (drawOverdue(nowMs)) {
        stalled = true;
        return;
    }
    if (nowMs > kRunLimitMs) {
        if (!stalled) {
            stalled = true;
            cancelWaits();
            QTest::qFail(qPrintable(QStringLiteral("the simulation still waits after %1 ms; %2")
                                        .arg(nowMs)
                                        .arg(overrunDetail())),
                         __FILE__, __LINE__);
        }
        return;
    }
    if (fireNextDue(nowMs) || !sleep) {
        return;
    }
    if (!fireNextDue(std::numeric_limits<qint64>::max())) {
        // Nothing will ever happen: a real wait would block for good.
        stalled = true;
        cancelWaits();
    }
}
