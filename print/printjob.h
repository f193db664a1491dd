// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class Platform;
class ResultsFolderUse;
class QPainter;
class QPrinter;

// Where a print goes and whom it tells: the platform's printer and notes, and the results folder
// for the PDF fallback.
struct PrintTarget {
    Platform& platform;
    QString folder;  // ends in "/"
    // Made on first use and named to the user once, when it is the documents folder.
    ResultsFolderUse* folderUse = nullptr;
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
    SavedToFile,  // no usable printer: the page went to a PDF file in the results folder
    NotLaidOut,   // the page refused the printer; nothing printed
    Failed,       // neither printed nor saved whole to the file
};

// Prints page as one document of one page on the default printer. A print queue is first asked
// whether it exists and takes jobs, and the job's acceptance is read back. Where there is no
// printer, or it cannot be opened, or the print server refuses, the same page goes to a PDF file
// in the results folder, named after the time of printing, and the user is told why and the
// file's name; where even that file cannot be written whole, the user is told that the page was
// neither printed nor saved, and why. Reads nothing but the target's folder and platform.
PrintOutcome printPage(const PrintTarget& target, PrintPage& page);

// The file a page goes to without a printer: "Tavo_yymmdd_hhmmss.pdf" in the results folder, with
// "_2", "_3"... added when an earlier print of the same second is there.
QString fallbackPdfPath(const PrintTarget& target);
