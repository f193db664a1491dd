// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>
#include <memory>

#include "model/coreplatform.h"
#include "print/printqueue.h"

class QWidget;

// Everything the program takes from the system, behind one seam so tests can fix the clock, the
// tick counter, the generator, the beep, the printer and the messages: CorePlatform, with the
// print server's default printer and the notes a window shows.
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
