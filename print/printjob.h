// SPDX-License-Identifier: MIT
#pragma once

#include <QRectF>
#include <QString>

class Platform;
struct ResultsFolder;
class QPainter;
class QPagedPaintDevice;

// Where a print goes and whom it tells: the platform's printer and notes, and the results folder
// for the PDF fallback.
struct PrintTarget {
    Platform& platform;
    // Made on first use and named to the user once, when it is the documents folder.
    ResultsFolder& folder;
};

// One page of a print, on a printer or a PDF file.
class PrintPage {
public:
    virtual ~PrintPage() = default;
    // Called with the device before it is opened. False, with a note for the user in problem,
    // when the page cannot be laid out on it; nothing is printed then.
    virtual bool layOut(const QPagedPaintDevice& /*device*/, QString& /*problem*/) { return true; }
    // Draws the page; the painter's origin is the printable area's top-left corner.
    virtual void draw(QPainter& painter, QPagedPaintDevice& device) = 0;
};

// The printable area of the device's page, in its dots from the page's corner.
QRectF printableRect(const QPagedPaintDevice& device);

// Prints page as one document of one page on the default printer. A print queue is first asked
// whether it exists and takes jobs, and the job's acceptance is read back; the print server is
// never waited on for longer than its bound, and the window is served meanwhile. Where there is
// no printer, or it cannot be opened, or the print server refuses or does not answer, the same
// page goes to a new PDF file in the results folder, "Tavo_yymmdd_hhmmss.pdf" after the time of
// printing ("_2", "_3"... where that name is taken, by a file or a link alike), and the user is
// told why and the file's name; where even that file cannot be written whole, it is removed and
// the user is told that the page was neither printed nor saved, and why. When the window closes
// during the print, nothing more is done. Reads nothing but the target's folder and platform.
void printPage(const PrintTarget& target, PrintPage& page);
