// SPDX-License-Identifier: MIT
// The beeper's hand-over between the user-interface thread and its worker, with a player that
// the test holds: blocked, failing or unable to open.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "app/beeper.h"
#include "app/soundtheme.h"

using namespace std::chrono_literals;

namespace {

// Outlives the beeper, as a worker stuck in play() keeps its player past the beeper's end.
struct PlayerState {
    std::mutex mutex;
    std::condition_variable changed;
    bool canOpen = true;
    bool playsWork = true;
    bool blocking = false;  // play() waits until released
    int entered = 0;
    int plays = 0;

    void release() {
        std::lock_guard lock(mutex);
        blocking = false;
        changed.notify_all();
    }
    // Waits (bounded) until play() has been entered n times.
    bool waitEntered(int n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return entered >= n; });
    }
    int played() {
        std::lock_guard lock(mutex);
        return plays;
    }
};

class FakePlayer : public BeepPlayer {
public:
    explicit FakePlayer(std::shared_ptr<PlayerState> state) : m_state(std::move(state)) {}
    bool open(QString& error) override {
        std::lock_guard lock(m_state->mutex);
        error = QStringLiteral("no sound server");
        return m_state->canOpen;
    }
    bool play(QString& error) override {
        std::unique_lock lock(m_state->mutex);
        ++m_state->entered;
        m_state->changed.notify_all();
        m_state->changed.wait(lock, [this] { return !m_state->blocking; });
        ++m_state->plays;
        error = QStringLiteral("server gone");
        return m_state->playsWork;
    }

private:
    std::shared_ptr<PlayerState> m_state;
};

}  // namespace

class TestBeeper : public QObject {
    Q_OBJECT
private:
    std::shared_ptr<PlayerState> m_state;
    int m_fallbacks = 0;
    QThread* m_fallbackThread = nullptr;

    std::unique_ptr<Beeper> makeBeeper(std::chrono::milliseconds staleAfter = Beeper::kStaleAfter) {
        return std::make_unique<Beeper>(
            std::make_unique<FakePlayer>(m_state),
            [this] {
                ++m_fallbacks;
                m_fallbackThread = QThread::currentThread();
            },
            staleAfter);
    }

    // A beeper whose first beep is held in the player, with two more behind it.
    std::unique_ptr<Beeper> threeBeepsOneHeld(std::chrono::milliseconds staleAfter) {
        m_state->blocking = true;
        auto beeper = makeBeeper(staleAfter);
        beeper->beep();
        const bool held = m_state->waitEntered(1);
        beeper->beep();
        beeper->beep();
        return held ? std::move(beeper) : nullptr;
    }

private slots:
    void init() {
        m_state = std::make_shared<PlayerState>();
        m_fallbacks = 0;
        m_fallbackThread = nullptr;
    }

    // The call only queues: it returns while the player is still held in its first play, and
    // two beeps in quick succession are two plays, neither cancelling the other.
    void callNeverWaitsForThePlayer() {
        auto beeper = threeBeepsOneHeld(60s);
        QVERIFY(beeper != nullptr);
        QCOMPARE(m_state->played(), 0);  // all three calls returned with the player held
        m_state->release();
        QTRY_COMPARE(m_state->played(), 3);
        QCOMPARE(m_fallbacks, 0);
    }

    // Beeps that waited longer than the stale limit behind a stalled play are dropped, not
    // played late in a burst; the next fresh one plays again.
    void staleBeepsAreDropped() {
        auto beeper = threeBeepsOneHeld(100ms);
        QVERIFY(beeper != nullptr);
        QTest::qWait(300);
        m_state->release();
        beeper->beep();
        QTRY_COMPARE(m_state->played(), 2);
        QTest::qWait(100);  // time for the stale ones to be played late, were they kept
        QCOMPARE(m_state->played(), 2);
        QCOMPARE(m_fallbacks, 0);
    }

    // The end of the beeper does not wait for a worker stuck in the sound server.
    void shutdownLeavesAStuckPlayer() {
        m_state->blocking = true;
        auto beeper = makeBeeper();
        beeper->beep();
        QVERIFY(m_state->waitEntered(1));
        beeper.reset();
        QCOMPARE(m_state->played(), 0);  // gone while the play still hangs
        m_state->release();
        QTRY_COMPARE(m_state->played(), 1);
        QCOMPARE(m_fallbacks, 0);  // nothing sounds for a beeper that is gone
    }

    // Without a working player every beep is the fallback's, on the caller's thread.
    void fallbackWhenThePlayerCannotOpen() {
        m_state->canOpen = false;
        auto beeper = makeBeeper();
        beeper->beep();
        QTRY_COMPARE(m_fallbacks, 1);
        beeper->beep();
        QCOMPARE(m_fallbacks, 2);  // known by now: sounded at once
        QCOMPARE(m_fallbackThread, QThread::currentThread());
        QCOMPARE(m_state->entered, 0);
    }

    void fallbackWithoutAPlayer() {
        Beeper beeper(nullptr, [this] { ++m_fallbacks; });
        beeper.beep();
        QCOMPARE(m_fallbacks, 1);  // at once
    }

    void fallbackForAFailedPlay() {
        m_state->playsWork = false;
        auto beeper = makeBeeper();
        beeper->beep();
        QTRY_COMPARE(m_fallbacks, 1);
        QCOMPARE(m_fallbackThread, QThread::currentThread());
        beeper->beep();  // the next beep tries the server again
        QTRY_COMPARE(m_fallbacks, 2);
        QCOMPARE(m_state->entered, 2);
    }

    // The bell's theme as each desktop names it, asked of the desktop's own settings (GSettings
    // through its keyfile backend here), with a GTK settings.ini where the desktop names none.
    void soundTheme() {
        QTemporaryDir config;
        const auto write = [&config](const QString& path, const QByteArray& text) {
            QVERIFY(QDir().mkpath(QFileInfo(config.filePath(path)).path()));
            QFile file(config.filePath(path));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        };
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        qputenv("GSETTINGS_BACKEND", "keyfile");
        write(u"gtk-3.0/settings.ini"_qs, "[Settings]\ngtk-sound-theme-name=deepin\n");
        if (QStandardPaths::findExecutable(u"gsettings"_qs).isEmpty()) {
            QSKIP("gsettings (libglib2.0-bin) is not installed");
        }
        QCOMPARE(desktopSoundTheme("ubuntu:GNOME"), QByteArray("freedesktop"));  // the default
        write(u"glib-2.0/settings/keyfile"_qs, "[org/gnome/desktop/sound]\ntheme-name='ocean'\n");
        QCOMPARE(desktopSoundTheme("ubuntu:GNOME"), QByteArray("ocean"));
        QCOMPARE(desktopSoundTheme("KDE"), QByteArray("deepin"));
        QCOMPARE(desktopSoundTheme(""), QByteArray("deepin"));
        // A desktop whose tool is missing or has no such setting falls back to settings.ini.
        QCOMPARE(desktopSoundTheme("MATE"), QByteArray("deepin"));
        QCOMPARE(desktopSoundTheme("XFCE"), QByteArray("deepin"));
        QVERIFY(QFile::remove(config.filePath(u"gtk-3.0/settings.ini"_qs)));
        if (!QFileInfo::exists(u"/etc/gtk-3.0/settings.ini"_qs)) {
            QVERIFY(desktopSoundTheme("KDE").isEmpty());  // libcanberra's default then
        }
        qunsetenv("GSETTINGS_BACKEND");
        qunsetenv("XDG_CONFIG_HOME");
    }
};

QTEST_GUILESS_MAIN(TestBeeper)
#include "test_beeper.moc"
