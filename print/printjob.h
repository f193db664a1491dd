// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class Platform;
class QPainter;
class QPrinter;
class QWidget;

// Where a print goes and whom it tells: the platform's printer and messages, the window the
// messages belong to, and the results folder for the PDF fallback.
struct PrintTarget {
    Platform& platform;
    QWidget* window = nullptr;
    QString folder;  // ends in "/"
};

// One page of a print.
class PrintPage {
public:
    virtual ~PrintPage() = default;
    // Called with the printer before it is opened. False, with a note for the user in problem,
    // when the page cannot be laid out on it; nothing is printed then.
    virtual bool layOut(const QPrinter& printer, QString& problem) {
        (void)printer;
        (void)problem;
        return true;
    }
    // Draws the page; the painter's origin is the printable area's top-left corner.
    virtual void draw(QPainter& painter, QPrinter& printer) = 0;
};

enum class PrintOutcome {
    Printed,      // on the default printer
    SavedToFile,  // no usable printer: the page went to a PDF file in the program folder
    NotLaidOut,   // the page refused the printer; nothing printed
    Failed,       // neither the printer nor the file could be opened
};

// Prints page as one document of one page on the default printer. Where there is none, or it
// cannot be opened, the same page goes to a PDF file in the program folder, named after the time
// of printing, and the user is told the file's name; where even that fails, the user is told that
// nothing was printed.
PrintOutcome printPage(const PrintTarget& target, PrintPage& page);

// The file a page goes to without a printer: "Tavo_yymmdd_hhmmss.pdf" in the program folder, with
// "_2", "_3"... added when an earlier print of the same second is there.
QString fallbackPdfPath(const PrintTarget& target);
