// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <memory>

class Timer;

// What a note to the user is: a failure (shown with the warning icon) or information, such as
// where results went (the information icon).
enum class NoteKind { Information, Warning };

// A folder that could not be used, and why, in the user's words.
struct UnusableFolder {
    QString folder;
    QString reason;
};

// What the rules take from the system: the clock, the tick counter, the generator, the beep, the
// folders, timers and the dispatch of events. Needs QtCore only; Platform adds what needs a
// printer or a window.
class CorePlatform {
public:
    virtual ~CorePlatform() = default;

    // The system's local date and time.
    virtual QDateTime now() = 0;
    // Milliseconds since boot, read as a signed 32-bit value (it wraps after about 24.9 days).
    virtual qint32 tickCount() = 0;
    virtual void beep() = 0;
    // Reseeds the generator from the system clock.
    virtual void reseedRandom() = 0;
    // The generator's next value R, 0 <= R < 1.
    virtual float nextRandom() = 0;
    // The folder of the executable, as the system gives it: its bytes, whatever their encoding
    // (no trailing separator but at "/").
    virtual QByteArray programFolder() = 0;
    // The user's documents folder (XDG); where an installed program keeps its results.
    virtual QString documentsFolder() = 0;
    // The documents folders documentsFolder() passed over because their home could not be used:
    // named to the user only if the one it gave cannot be used either.
    virtual QList<UnusableFolder> documentsPassedOver() { return {}; }
    // The installation's binary folder this program was built for.
    virtual QString installFolder() = 0;
    // Tells the user something that went wrong or where results went; never blocks the caller
    // nor holds the window.
    virtual void notify(NoteKind kind, const QString& text) = 0;

    // A stopped timer ticking on the user-interface thread; by default a precise QTimer.
    virtual std::unique_ptr<Timer> createTimer();
    // Dispatches the events pending now; with sleep, when none is, waits for the next one (a
    // timer tick, a click) instead of returning at once.
    virtual void dispatchEvents(bool sleep);

    // Closing the window ends every wait dispatching through this platform at once and keeps
    // later ones from starting, so nothing is left running without a window. A new window lifts
    // the stop.
    void cancelWaits();
    void resumeWaits() { m_waitsCancelled = false; }
    bool waitsCancelled() const { return m_waitsCancelled; }

private:
    bool m_waitsCancelled = false;
};

// Milliseconds since boot from CLOCK_BOOTTIME, in 64 bits.
qint64 bootTimeMs();
