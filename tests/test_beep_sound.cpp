// SPDX-License-Identifier: MIT
// The real window's beeps through a real sound server: a PulseAudio of the test's own with a
// null sink whose monitor is recorded. One draw must sound nine separate bells, and a draw with
// the server stopped must still run as timed and end.
#include <sys/types.h>
#include <csignal>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/beeper.h"
#include "app/mainwindow.h"
#include "app/systemplatform.h"
#include "support/pulsesandbox.h"

namespace {

// The real system, beep included, but with numbers chosen so that the draw's beeps come at
// least a third of a second apart and every bell stands alone in the recording. The reels start
// at face 0 and step every 50 ms; released about 1 s after arming they show about face 20, so
// 40 is some 20 steps away, and each next number 7 steps (350 ms) past the one before.
class PlannedPlatform : public SystemPlatform {
public:
    QDateTime now() override { return QDateTime(QDate(2010, 3, 9), QTime(14, 5, 7)); }
    qint32 tickCount() override { return m_tick = SystemPlatform::tickCount(); }
    float nextRandom() override {
        // The candidate is floor(S * R) + 1 with S = 48 * 43 + the tick's milliseconds (this
        // clock's fields sum to 48); R puts it in the middle of the wanted number's step.
        const int m = ((m_tick % 1000) + 1000) % 1000;
        const int s = 48 * 43 + m;
        const int n = kPlan[static_cast<std::size_t>(m_next++ % 6)];
        return static_cast<float>((n - 0.5) / s);
    }

private:
    static constexpr std::array<int, 6> kPlan{40, 4, 11, 18, 25, 32};
    qint32 m_tick = 0;
    int m_next = 0;
};

constexpr int kReleaseAfterMs = 1300;  // the 300 ms press, then about 1 s armed

// Sends the server SIGCONT from its own thread after a while, should the test's thread be
// stuck waiting on it; says whether it had to.
class Watchdog {
public:
    Watchdog(qint64 pid, std::chrono::seconds after)
        : m_thread([this, pid, after] {
              std::unique_lock lock(m_mutex);
              if (!m_wake.wait_for(lock, after, [this] { return m_done; })) {
                  m_fired = true;
                  ::kill(static_cast<pid_t>(pid), SIGCONT);
              }
          }) {}
    ~Watchdog() { stop(); }
    bool stop() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_fired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_fired = false;
    std::thread m_thread;
};

QWidget* blockASwitch(MainWindow& w) {
    return w.findChild<QWidget*>(QStringLiteral("ImageSwitch_0"));
}

// One whole draw of block A; returns when it has ended.
void drawBlockA(MainWindow& w) {
    QWidget* sw = blockASwitch(w);
    // The first press returns only when the draw has ended: the second is set up before it.
    QTimer::singleShot(kReleaseAfterMs, &w, [sw] { QTest::mouseClick(sw, Qt::LeftButton); });
    QTest::mouseClick(sw, Qt::LeftButton);
}

QString describe(const std::vector<qint64>& onsets) {
    QStringList ms;
    for (const qint64 f : onsets) {
        ms << QString::number(f * 1000 / PulseSandbox::kRate);
    }
    return QStringLiteral("sounds at [%1] ms of the recording").arg(ms.join(QStringLiteral(", ")));
}

}  // namespace

class TestBeepSound : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<PulseSandbox> m_pulse;

private slots:
    void initTestCase() {
        if (!makeSystemBeepPlayer()) {
            QSKIP(
                "built without libcanberra (TAVO_CANBERRA=OFF or libcanberra-dev missing): "
                "the beeps are the X bell, which no sound server records");
        }
        m_pulse = std::make_unique<PulseSandbox>();
        if (!m_pulse->start()) {
            QSKIP(qPrintable(QStringLiteral("no sound server: ") + m_pulse->why()));
        }
        qputenv("PULSE_SERVER", m_pulse->server().toUtf8());
    }
    void cleanupTestCase() { m_pulse.reset(); }

    void nineBellsPerDraw() {
        // Started well before, so the idle sink's long latency is gone when the first bell comes.
        QVERIFY(m_pulse->startRecording());
        QTest::qWait(2000);
        PlannedPlatform platform;
        platform.prepareBeep();
        QTRY_VERIFY_WITH_TIMEOUT(platform.beepCounts().opened || platform.beepCounts().failed,
                                 10000);
        QVERIFY2(platform.beepCounts().opened, "libcanberra did not reach the test's server");
        MainWindow w(platform);
        w.show();
        QVERIFY(blockASwitch(w) != nullptr);
        drawBlockA(w);
        QTRY_COMPARE_WITH_TIMEOUT(platform.beepCounts().played, 9, 5000);
        QTest::qWait(1000);  // the last bell's 0.14 s, and the recorder's buffer
        const std::vector<qint64> onsets = soundOnsets(m_pulse->stopRecording());
        QCOMPARE(platform.beepCounts().dropped, 0);
        QCOMPARE(platform.beepCounts().fallbacks, 0);
        QVERIFY2(onsets.size() == 9, qPrintable(describe(onsets)));
        qInfo().noquote() << describe(onsets);
    }

    // Last: it leaves a beeper's worker stuck in the stopped server until the server goes.
    void stoppedServerHoldsUpNothing() {
        const qint64 pid = m_pulse->serverPid();
        auto platform = std::make_unique<PlannedPlatform>();
        platform->prepareBeep();
        QTRY_VERIFY_WITH_TIMEOUT(platform->beepCounts().opened, 10000);
        auto w = std::make_unique<MainWindow>(*platform);
        w->show();
        // Stopped before the first beep of the draw, and left stopped through to the end.
        QTimer::singleShot(150, w.get(), [pid] { ::kill(static_cast<pid_t>(pid), SIGSTOP); });
        Watchdog watchdog(pid, std::chrono::seconds(60));
        QElapsedTimer draw;
        draw.start();
        drawBlockA(*w);
        const qint64 drawMs = draw.elapsed();
        // Closing the window and ending the platform, as the program's exit does.
        w.reset();
        platform.reset();
        const bool waitedOnServer = watchdog.stop();
        ::kill(static_cast<pid_t>(pid), SIGCONT);
        QVERIFY2(!waitedOnServer, "the draw or the exit waited for the stopped sound server");
        qInfo() << "draw with the server stopped:" << drawMs << "ms";
    }
};

QTEST_MAIN(TestBeepSound)
#include "test_beep_sound.moc"
