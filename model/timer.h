// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

// A timer that ticks on the user-interface thread: an interval, repeating unless single-shot,
// startable, stoppable and given a new interval from inside its own tick. The platform makes
// them, so a test can run them on a clock of its own.
class Timer : public QObject {
    Q_OBJECT
public:
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setSingleShot(bool singleShot) = 0;
    virtual void start() = 0;
    void start(int ms) {
        setInterval(ms);
        start();
    }
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void timeout();
};

// The real one: a QTimer of Qt::PreciseTimer (a coarse one drifts by up to 5 %).
class PreciseTimer : public Timer {
    Q_OBJECT
public:
    PreciseTimer();
    void setInterval(int ms) override { m_timer.setInterval(ms); }
    int interval() const override { return m_timer.interval(); }
    void setSingleShot(bool singleShot) override { m_timer.setSingleShot(singleShot); }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};
