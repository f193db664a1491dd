// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <array>

// The window's off-window state: the sheet's text and stamps, the row display, the sort
// workspace and the preview reel's face. None of it is ever shown or printed as part of the
// window.
struct Sheet {
    static constexpr int kBlocks = 5;
    static constexpr int kPositions = 6;
    static constexpr int kCells = kBlocks * kPositions;

    // Cell of block b (0..4), position p (0..5).
    static constexpr int cell(int b, int p) { return b * kPositions + p; }

    std::array<QString, kCells> LabelData;   // the number as decimal text, or empty
    std::array<QString, kBlocks> LabelFN;    // block stamp "yyyy/mm/dd,hh:mm:ss", or empty
    QString LabelFileName0;                  // sheet file name "yymmdd_hhmm.csv", or empty
    std::array<QString, kPositions> LabelS;  // row display; the sort's work row
    std::array<QString, kPositions> NumberLabelS{u"1"_qs, u"2"_qs, u"3"_qs,
                                                 u"4"_qs, u"5"_qs, u"6"_qs};  // sort result row
    int ImageDummyFace = 1;  // face shown by the preview reel

    // The file this sheet's saves write, since its first save: LabelFileName0, or that name
    // with a suffix when a file of another sheet already had it; and which file it is, so a file
    // that has since taken its place is not replaced. Empty until the first save; cleared with
    // the sheet.
    QString SavedFileName;
    quint64 SavedFileDevice = 0;
    quint64 SavedFileInode = 0;
    qint64 SavedFileBirth = 0;
};
