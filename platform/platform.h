// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>
#include <memory>

#include "platform/coreplatform.h"
#include "platform/random.h"

class QPrinter;
class QWidget;

// Everything the program takes from the system, behind one seam so tests can fix the clock, the
// tick counter, the generator, the beep, the printer and the messages.
class Platform : public CorePlatform {
public:
    // The system's default printer; null when none is configured.
    virtual std::unique_ptr<QPrinter> defaultPrinter() = 0;
    // A short note to the user that never blocks the caller.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
};

// The real system.
class SystemPlatform : public Platform {
public:
    QDateTime now() override;
    qint32 tickCount() override;
    void beep() override;
    void reseedRandom() override;
    float nextRandom() override;
    QString programFolder() override;
    QString userDataFolder() override;
    std::unique_ptr<QPrinter> defaultPrinter() override;
    void showMessage(QWidget* parent, const QString& text) override;

private:
    RandomGenerator m_random;
};

// Milliseconds since boot from CLOCK_BOOTTIME, in 64 bits.
qint64 bootTimeMs();
