// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <array>

// Which file a name holds (not following a link): equal ids are the same file, even where the
// file system has since given a removed file's number to a new one.
struct FileId {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 birth = 0;  // ns since the epoch where the file system keeps it, else 0
    bool operator==(const FileId& o) const {
        return device == o.device && inode == o.inode && birth == o.birth;
    }
    bool isNull() const { return inode == 0; }
};

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
    FileId SavedFileId;
};
