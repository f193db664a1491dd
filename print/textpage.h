// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <vector>

#include "model/sheet.h"

class TavoModel;
struct PrintTarget;
class QPainter;

// The text page: six double-spaced lines on a grid of character cells, a column 1/12 inch wide
// and a row 1/6 inch high, counted from the printable area's top-left corner. The face is
// "ＭＳ 明朝" at 12 points, whose half-width characters fill one column each, so texts printed
// at fixed columns join up into continuous lines.

struct TextCell {
    qint32 column = 0;
    qint32 row = 0;
    QString text;

    bool operator==(const TextCell& o) const {
        return column == o.column && row == o.row && text == o.text;
    }
};

// Everything the page shows, as the model holds it when the page is printed.
struct TextPageTexts {
    QString sheetStamp;                                // LabelFileName
    QString title;                                     // the window's title
    std::array<QString, Sheet::kBlocks> blockStamps;   // LabelFN
    std::array<QString, Sheet::kBlocks> blockLetters;  // captions of FrameBlock
    std::array<QString, Sheet::kCells> cells;          // LabelData

    static TextPageTexts fromModel(const TavoModel& model);
};

// The texts in the order they are printed, each at its cell.
std::vector<TextCell> textPageCells(const TextPageTexts& texts);

// Prints text with its top-left corner at the top-left corner of the cell (column, row), in the
// painter's current font, on a device whose origin is the printable area's corner.
void PrintAt(QPainter& painter, qint32 column, qint32 row, const QString& text);

// Prints the sheet as one text page.
void PrintText(const TavoModel& model, const PrintTarget& target);
