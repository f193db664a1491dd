// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <array>
#include <memory>

#include "model/random.h"
#include "print/platform.h"

class Beeper;
class QMessageBox;

// The real system.
class SystemPlatform : public Platform {
public:
    SystemPlatform();
    ~SystemPlatform() override;
    // Connects to the sound server ahead of the first beep (on a worker: never blocks).
    void prepareBeep();

    QDateTime now() override { return QDateTime::currentDateTime(); }
    // The low 32 bits, reinterpreted as signed, as a 32-bit tick counter reads.
    qint32 tickCount() override { return static_cast<qint32>(static_cast<quint32>(bootTimeMs())); }
    void beep() override;
    void reseedRandom() override;
    float nextRandom() override { return m_random.next(); }
    QByteArray programFolder() override;
    QString documentsFolder() override;
    QString installFolder() override;
    printqueue::DefaultPrinter defaultPrinter() override {
        return printqueue::defaultPrinter(*this);
    }
    QList<UnusableFolder> documentsPassedOver() override;
    void showMessage(QWidget* parent, NoteKind kind, const QString& text) override;

private:
    RandomGenerator m_random;
    std::unique_ptr<Beeper> m_beeper;
    std::array<QPointer<QMessageBox>, 2> m_notes;  // the open note of each kind
};

// Marks a control of a window that a note must leave free to click.
void keepFreeOfNotes(QWidget* control);
// Where a note whose frame has the given size goes on the screen: beside the window's frame
// (right, left, below, above) where it covers none of the controls to keep free; else where it
// covers the least of them.
QPoint notePosition(const QSize& note, const QRect& windowFrame, const QList<QRect>& keepFree,
                    const QRect& screen);
