// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>
#include <memory>

#include "platform/beepcounts.h"
#include "platform/coreplatform.h"
#include "platform/printqueue.h"
#include "platform/random.h"

class Beeper;
class QWidget;

// Everything the program takes from the system, behind one seam so tests can fix the clock, the
// tick counter, the generator, the beep, the printer and the messages.
class Platform : public CorePlatform {
public:
    // The system's default printer, with what the print server said of it; the printer is null
    // unless the answer is Ok. Never blocks the window for longer than the server's bound.
    virtual printqueue::DefaultPrinter defaultPrinter() = 0;
    // A short note to the user that never blocks the caller nor holds the window: closing the
    // window closes it too.
    virtual void showMessage(QWidget* parent, NoteKind kind, const QString& text) = 0;

    // The window that notes from the rules belong to.
    void setMessageParent(QWidget* parent) { m_messageParent = parent; }
    QWidget* messageParent() const { return m_messageParent; }
    void notify(NoteKind kind, const QString& text) override {
        showMessage(m_messageParent, kind, text);
    }

private:
    QWidget* m_messageParent = nullptr;
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
    QByteArray programFolder() override;
    QString documentsFolder() override;
    QString installFolder() override;
    printqueue::DefaultPrinter defaultPrinter() override;
    void showMessage(QWidget* parent, NoteKind kind, const QString& text) override;

private:
    RandomGenerator m_random;
    std::unique_ptr<Beeper> m_beeper;
};
