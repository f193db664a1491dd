// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>
#include <memory>

#include "platform/beepcounts.h"
#include "platform/random.h"

class Beeper;
class QPrinter;
class QWidget;

// Everything the program takes from the system, behind one seam so tests can fix the clock, the
// tick counter, the generator, the beep, the printer and the messages.
class Platform {
public:
    virtual ~Platform() = default;

    // The system's local date and time.
    virtual QDateTime now() = 0;
    // Milliseconds since boot, read as a signed 32-bit value (it wraps after about 24.9 days).
    virtual qint32 tickCount() = 0;
    virtual void beep() = 0;
    // Reseeds the generator from the system clock.
    virtual void reseedRandom() = 0;
    // The generator's next value R, 0 <= R < 1.
    virtual float nextRandom() = 0;
    // The folder of the executable, as the system gives it (no trailing separator but at "/").
    virtual QString programFolder() = 0;
    // The user's own folder for the program's files.
    virtual QString userDataFolder() = 0;
    // The user's documents folder (XDG); where an installed program keeps its results.
    virtual QString documentsFolder() = 0;
    // The installation's binary folder this program was built for.
    virtual QString installFolder() = 0;
    // The system's default printer; null when none is configured.
    virtual std::unique_ptr<QPrinter> defaultPrinter() = 0;
    // A short note to the user that never blocks the caller nor holds the window: closing the
    // window closes it too.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
};

// The real system.
class SystemPlatform : public Platform {
public:
    SystemPlatform();
    ~SystemPlatform() override;
    // Connects to the sound server ahead of the first beep (on a worker: never blocks).
    void prepareBeep();
    // What became of the beeps so far (all zero before the first).
    BeepCounts beepCounts() const;

    QDateTime now() override;
    qint32 tickCount() override;
    void beep() override;
    void reseedRandom() override;
    float nextRandom() override;
    QString programFolder() override;
    QString userDataFolder() override;
    QString documentsFolder() override;
    QString installFolder() override;
    std::unique_ptr<QPrinter> defaultPrinter() override;
    void showMessage(QWidget* parent, const QString& text) override;

private:
    RandomGenerator m_random;
    std::unique_ptr<Beeper> m_beeper;
};

// Milliseconds since boot from CLOCK_BOOTTIME, in 64 bits.
qint64 bootTimeMs();
