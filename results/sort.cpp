// SPDX-License-Identifier: MIT
#include "results/sort.h"

#include "model/tavomodel.h"

namespace {

// One above the highest ball: a work cell already moved to the result row.
const QString kTaken = QStringLiteral("44");
constexpr qint16 kNoneBelow = 44;

}  // namespace

void SortRow(Sheet& sheet) {
    // Kept across passes: a pass that finds nothing below 44 (only when a cell already held
    // "44") takes the cell the previous pass took.
    int bestPos = 0;
    for (int i = 0; i < Sheet::kPositions; ++i) {
        qint16 best = kNoneBelow;
        for (int j = 0; j < Sheet::kPositions; ++j) {
            // As a 16-bit signed number; 0 when it does not convert (the empty caption).
            const qint16 v = sheet.LabelS.at(static_cast<std::size_t>(j)).toShort();
            // Strictly below: of equal values the leftmost goes first.
            if (v < best) {
                best = v;
                bestPos = j;
            }
        }
        sheet.NumberLabelS.at(static_cast<std::size_t>(i)) =
            best == 0 ? QString() : QString::number(best);
        sheet.LabelS.at(static_cast<std::size_t>(bestPos)) = kTaken;
    }
}

void sortSheet(TavoModel& model) {
    Sheet& sheet = model.sheet();
    for (int b = 0; b < Sheet::kBlocks; ++b) {
        for (int i = 0; i < Sheet::kPositions; ++i) {
            sheet.LabelS.at(static_cast<std::size_t>(i)) =
                sheet.LabelData.at(static_cast<std::size_t>(Sheet::cell(b, i)));
        }
        SortRow(sheet);
        for (int i = 0; i < Sheet::kPositions; ++i) {
            const int k = Sheet::cell(b, i);
            sheet.LabelData.at(static_cast<std::size_t>(k)) =
                sheet.NumberLabelS.at(static_cast<std::size_t>(i));
            bool ok = false;
            const int n = sheet.LabelData.at(static_cast<std::size_t>(k)).toShort(&ok);
            // An empty cell keeps the picture its reel shows; a value with no ball is skipped.
            if (ok && n >= 0 && n <= 43) {
                model.setReelPicture(k, faceId(n));
            }
        }
    }
}
