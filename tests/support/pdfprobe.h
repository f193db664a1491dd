// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// Reading printed PDF files back with poppler's tools, for tests of what a page really shows.
namespace pdfprobe {

// One word as pdftotext -bbox places it: points from the page's top-left corner.
struct Word {
    int page = 0;  // 1-based
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    QString text;
};

// Every word of every page; empty when the file cannot be read.
QList<Word> words(const QString& pdfPath);
// The page count pdfinfo reports; -1 when it cannot read the file.
int pageCount(const QString& pdfPath);
// Page 1 drawn at dpi dots per inch; null when it cannot be drawn.
QImage rasterise(const QString& pdfPath, int dpi);
// The smallest rectangle holding every pixel that differs noticeably from white.
QRect inkBounds(const QImage& page);

// A printer factory for FakePlatform::printer: each printer writes the next file "outN.pdf" in
// folder, recorded in printed, on the page layout that layout() gives at that moment.
std::function<std::unique_ptr<QPrinter>()> pdfPrinters(const QString& folder, QStringList& printed,
                                                       std::function<QPageLayout()> layout);

}  // namespace pdfprobe
