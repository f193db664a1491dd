// SPDX-License-Identifier: MIT
#include "app/beeper.h"

#include <pthread.h>
#include <sched.h>
#include <QDebug>
#include <QGuiApplication>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

struct Beeper::Shared {
    std::unique_ptr<BeepPlayer> player;
    std::function<void()> fallback;
    std::chrono::milliseconds staleAfter{};

    mutable std::mutex mutex;
    std::condition_variable wake;    // a request or the stop
    std::condition_variable exited;  // the worker has returned
    std::deque<Clock::time_point> requests;
    QObject* fallbackTarget = nullptr;  // null once the beeper is gone
    bool stop = false;
    bool done = false;
    bool warned = false;
    bool failed = false;  // the player cannot reach the sound server: every beep is the fallback's
    QString fallbackHeard;  // what is heard instead, said in the warning

    // Has the fallback sounded on the beeper's own thread. Called with the mutex held.
    void postFallback() {
        if (fallbackTarget != nullptr) {
            QMetaObject::invokeMethod(fallbackTarget, fallback, Qt::QueuedConnection);
        }
    }
    // Says once why beeps are not the sound server's. Called with the mutex held.
    void warn(const char* what, const QString& error) {
        if (!std::exchange(warned, true)) {
            qWarning().noquote() << QStringLiteral("tavo: the beep %1 (%2); %3")
                                        .arg(QLatin1String(what), error, fallbackHeard);
        }
    }
};

// A stalled server can leave a pile of requests; far more than a draw makes in a quarter second.
constexpr std::size_t kMaxQueued = 32;
constexpr std::chrono::milliseconds kShutdownWait{300};

Beeper::Beeper(std::unique_ptr<BeepPlayer> player, std::function<void()> fallback,
               std::chrono::milliseconds staleAfter)
    : m_shared(std::make_shared<Shared>()), m_fallbackTarget(std::make_unique<QObject>()) {
    m_shared->fallback = std::move(fallback);
    m_shared->staleAfter = staleAfter;
    m_shared->fallbackTarget = m_fallbackTarget.get();
    // Only an X server has a bell to fall back on; Wayland and the rest have none.
    m_shared->fallbackHeard = QGuiApplication::platformName() == QLatin1String("xcb")
                                  ? QStringLiteral("the X bell instead")
                                  : QStringLiteral("beeps cannot be heard");
    if (!player) {
        m_shared->failed = true;
        m_shared->warn("has no sound server player in this build",
                       QStringLiteral("no libcanberra"));
        return;
    }
    m_shared->player = std::move(player);
    m_worker = std::thread(&Beeper::run, m_shared);
}

Beeper::~Beeper() {
    std::unique_lock lock(m_shared->mutex);
    m_shared->stop = true;
    m_shared->fallbackTarget = nullptr;
    m_shared->wake.notify_all();
    if (!m_worker.joinable()) {
        return;
    }
    // Joining one stuck in the sound server could wait forever.
    if (m_shared->exited.wait_for(lock, kShutdownWait, [this] { return m_shared->done; })) {
        lock.unlock();
        m_worker.join();
    } else {
        m_worker.detach();
    }
}

void Beeper::beep() {
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    if (s.failed) {
        lock.unlock();
        s.fallback();
        return;
    }
    if (s.requests.size() >= kMaxQueued) {
        s.requests.pop_front();
    }
    s.requests.push_back(Clock::now());
    lock.unlock();
    s.wake.notify_one();
}

void Beeper::run(const std::shared_ptr<Shared>& shared) {
    // A batch thread does not preempt the thread that woke it: the beep call returns before the
    // worker runs (on the other core, or right after), instead of waiting out its play.
    const sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
    Shared& s = *shared;
    QString error;
    const bool opened = s.player->open(error);
    std::unique_lock lock(s.mutex);
    if (!opened) {
        // From now on beep() sounds the fallback itself; what came meanwhile gets it too.
        s.failed = true;
        s.warn("cannot reach the sound server", error);
        const auto now = Clock::now();
        for (const auto t : std::exchange(s.requests, {})) {
            if (now - t <= s.staleAfter) {
                s.postFallback();
            }
        }
    }
    while (opened) {
        s.wake.wait(lock, [&s] { return s.stop || !s.requests.empty(); });
        if (s.stop) {
            break;
        }
        const auto requested = s.requests.front();
        s.requests.pop_front();
        if (Clock::now() - requested > s.staleAfter) {
            continue;
        }
        lock.unlock();
        const bool played = s.player->play(error);
        lock.lock();
        if (!played) {
            s.warn("could not be played", error);
            s.postFallback();
        }
    }
    // The connection goes with the thread that used it, so that closing it can never hold up
    // the destructor's bounded wait either.
    lock.unlock();
    s.player.reset();
    lock.lock();
    s.done = true;
    s.exited.notify_all();
}
