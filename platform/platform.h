// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <array>
#include <memory>

#include "platform/beepcounts.h"
#include "platform/coreplatform.h"
#include "platform/printqueue.h"
#include "platform/random.h"
#include "platform/resultsfolder.h"

class Beeper;
class QMessageBox;
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
    // The documents folders documentsFolder() passed over because their home could not be
    // used, with why: named to the user only if the one it gave cannot be used either.
    virtual QList<UnusableFolder> documentsPassedOver() { return {}; }

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
    QString programFolder() override;
    QString documentsFolder() override;
    QString installFolder() override;
    printqueue::DefaultPrinter defaultPrinter() override;
    QList<UnusableFolder> documentsPassedOver() override;
    void showMessage(QWidget* parent, NoteKind kind, const QString& text) override;

private:
    RandomGenerator m_random;
    std::unique_ptr<Beeper> m_beeper;
    std::array<QPointer<QMessageBox>, 2> m_notes;  // the open note of each kind
};

// Marks a control of a window that a note must leave free to click.
void keepFreeOfNotes(QWidget* control);
// Where a note whose frame has the given size goes, in screen coordinates: beside the window's
// frame (to its right, its left, below, above) where the screen has room, so it covers none of
// the controls to keep free and still stands by its window; else wherever on the screen it
// covers the least of them.
QPoint notePosition(const QSize& note, const QRect& windowFrame, const QList<QRect>& keepFree,
                    const QRect& screen);
