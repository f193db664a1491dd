// SPDX-License-Identifier: MIT
#include "print/textpage.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPaintDevice>
#include <QPainter>

#include "model/tavomodel.h"
#include "print/fontfaces.h"
#include "print/printjob.h"

TextPageTexts TextPageTexts::fromModel(const TavoModel& model) {
    TextPageTexts t{
        model.sheetStamp(), TavoModel::title(), model.sheet().LabelFN, {}, model.sheet().LabelData};
    for (int b = 0; b < Sheet::kBlocks; ++b) {
        t.blockLetters.at(static_cast<std::size_t>(b)) = TavoModel::blockLetter(b);
    }
    return t;
}

std::vector<TextCell> textPageCells(const TextPageTexts& texts) {
    // The first cell text of a line is the letter, ": [" and the number (6 columns); each further
    // one is "] [" and the number (5 columns); the closing bracket ends the line at column 52.
    static constexpr std::array<qint32, Sheet::kPositions> kCellColumns{21, 27, 32, 37, 42, 47};
    static constexpr qint32 kClosingColumn = 52;

    std::vector<TextCell> out;
    out.push_back({0, 1, texts.sheetStamp});
    out.push_back({21, 1, texts.title});
    for (int i = 0; i < Sheet::kBlocks; ++i) {
        const auto b = static_cast<std::size_t>(i);
        const qint32 row = 2 * i + 3;
        out.push_back({0, row, texts.blockStamps.at(b)});
        for (int p = 0; p < Sheet::kPositions; ++p) {
            const QString& number = texts.cells.at(static_cast<std::size_t>(Sheet::cell(i, p)));
            const QString text = p == 0 ? texts.blockLetters.at(b) + QStringLiteral(": [") + number
                                        : QStringLiteral("] [") + number;
            out.push_back({kCellColumns.at(static_cast<std::size_t>(p)), row, text});
        }
        out.push_back({kClosingColumn, row, QStringLiteral("]")});
    }
    return out;
}

void PrintAt(QPainter& painter, qint32 column, qint32 row, const QString& text) {
    const float columnWidth = static_cast<float>(painter.device()->logicalDpiX() / 12.0);
    const float rowHeight = static_cast<float>(painter.device()->logicalDpiY() / 6.0);
    const float x = static_cast<float>(column) * columnWidth;
    const float y = static_cast<float>(row) * rowHeight;
    // Text is drawn at its baseline; one ascent down puts the glyph box's top on the cell's top.
    const QFontMetricsF metrics(painter.font(), painter.device());
    painter.drawText(QPointF(x, y + metrics.ascent()), text);
}

namespace {

class TextPage : public PrintPage {
public:
    explicit TextPage(std::vector<TextCell> cells) : m_cells(std::move(cells)) {}

    void draw(QPainter& painter, QPagedPaintDevice&) override {
        painter.setFont(fonts::face(fonts::kMincho, 12.0, false));
        for (const TextCell& cell : m_cells) {
            PrintAt(painter, cell.column, cell.row, cell.text);
        }
    }

private:
    std::vector<TextCell> m_cells;
};

}  // namespace

void PrintText(const TavoModel& model, const PrintTarget& target) {
    TextPage page(textPageCells(TextPageTexts::fromModel(model)));
    printPage(target, page);
}
