// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class QObject;

// What really makes the sound. Used by the beeper's worker thread only, one call at a time.
class BeepPlayer {
public:
    virtual ~BeepPlayer() = default;
    // Connects to the sound server; false, with the reason in error, where there is none.
    virtual bool open(QString& error) = 0;
    // Plays one beep, a new sound even when the last one still sounds; may block for as long as
    // the server takes. False, with the reason, when it could not be played.
    virtual bool play(QString& error) = 0;
};

// The XDG sound theme's "bell" through libcanberra; null where the build has no libcanberra.
std::unique_ptr<BeepPlayer> makeSystemBeepPlayer();

// The beep of a draw, played by the desktop's sound server without ever making the
// user-interface thread wait for it: a server can stall for seconds in the middle of a play, so
// the caller only leaves a time-stamped request and a worker thread plays it.
class Beeper {
public:
    using Clock = std::chrono::steady_clock;
    // A beep played later than this after its call is no longer the draw's rhythm: dropped.
    static constexpr std::chrono::milliseconds kStaleAfter{250};

    // fallback is the beep of last resort (the X bell), called on the thread that made the
    // beeper: always where player is null or cannot open, and for a beep the player failed.
    Beeper(std::unique_ptr<BeepPlayer> player, std::function<void()> fallback,
           std::chrono::milliseconds staleAfter = kStaleAfter);
    // Waits at most 300 ms for the worker; one stuck in the sound server is left to the
    // process's exit, with what it uses (deliberately never freed).
    ~Beeper();

    // Never blocks: queues the beep (or sounds the fallback once the player is known not to work).
    void beep();

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<QObject> m_fallbackTarget;  // where the worker sends fallback beeps
    std::thread m_worker;
};
