// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>

#include "model/coreplatform.h"
#include "model/pictureid.h"
#include "model/sheet.h"

// Where the result files go (the log, the sheet files, the PDFs of prints that found no printer),
// and what this session has done with it. The rules of choosing and making it are in
// results/resultsfolder.h.
struct ResultsFolder {
    QString path;              // always ends with "/"
    bool inDocuments = false;  // the user's documents folder: made on first use, named once
    bool named = false;        // the user has been told where the files go
    QByteArray native;         // path as the system's bytes, kept where they are no valid text
    // The documents folders tried before this one, named if this one cannot be used either.
    QList<UnusableFolder> passedOver;
};

// Everything the window shows or holds, as plain state: the off-window sheet, the form state
// under its own names, and what each visible control shows. The rules change it; the window
// draws it.
//
// How it is written: what no control shows (the sheet, the form state) is plain data, written
// directly and watched by nobody. What a control shows (reels, switches, statuses, the sheet
// stamp, the clock) is written through its setter, whose signal fires only when it has really
// changed, so a reel tick that leaves a reel's face as it was costs nothing.
class TavoModel : public QObject {
    Q_OBJECT
public:
    // A colour as 0xAARRGGBB, the layout of a QRgb.
    using Colour = quint32;
    static constexpr Colour kRed = 0xffff0000u;
    static constexpr Colour kGreen = 0xff00c000u;
    static constexpr Colour kBlue = 0xff0000ffu;

    struct Status {
        QString caption;
        Colour colour = kBlue;
    };

    explicit TavoModel(QObject* parent = nullptr);

    // The window's title, which the text page prints.
    static QString title();

    Sheet& sheet() { return m_sheet; }
    const Sheet& sheet() const { return m_sheet; }

    // Form state.
    QDateTime CurrentTime;
    ResultsFolder AppFolder;
    std::array<QString, Sheet::kBlocks> ResultLines;
    int ActiveBlock = 0;        // block being drawn, 1..5; 0 = no draw running
    int ArmedBlock = 0;         // block waiting for its second press; 0 = released
    qint16 BallIndex = 0;       // position being drawn, 1..6
    qint16 SheetStamped = 0;    // 1 once the sheet's stamp and file name are set
    int StopTarget = 0;         // number the leftmost spinning reel must stop on; 0 = none
    int ReelFace = 0;           // face shown by the spinning reels, 1..43 (0 before the first tick)
    int FirstSpinningReel = 0;  // leftmost spinning reel of the active block, 0..6
    int FlickPhase = 0;         // 0: the next lamp tick shows the dark lamp; 1: the lit one

    // What the visible controls show.
    PictureId reelPicture(int cell) const { return m_reel.at(idx(cell)); }
    void setReelPicture(int cell, PictureId id);
    PictureId switchPicture(int b) const { return m_switch.at(idx(b)); }
    void setSwitchPicture(int b, PictureId id);
    // Where block b is in its draw: ready for a first press, pressed (the switch held down a
    // moment), armed (its reels spin until the second press) or drawing. Its status label and
    // its switch show it.
    enum class Phase { Ready, Pressed, Armed, Drawing };
    Phase phase(int b) const { return m_phase.at(idx(b)); }
    void setPhase(int b, Phase phase);
    // The status label's caption and colour for a phase.
    static Status status(Phase phase);
    Status status(int b) const { return status(phase(b)); }
    // Block b's letter ("A".."E"), the caption of its frame.
    static QString blockLetter(int b);
    // LabelFileName's caption: the sheet stamp, or empty.
    const QString& sheetStamp() const { return m_sheetStamp; }
    void setSheetStamp(const QString& text);
    // LabelDateTime's caption.
    const QString& clockText() const { return m_clockText; }

    // Reads the time into CurrentTime and shows it on the clock.
    void ShowClock(const QDateTime& now);
    // Empties the sheet: reels blank, numbers, stamps and file name gone, no draw running.
    void ClearSheet();

signals:
    void reelPictureChanged(int cell);
    void switchPictureChanged(int b);
    void phaseChanged(int b);
    void sheetStampChanged();
    void clockChanged();

private:
    static std::size_t idx(int i) { return static_cast<std::size_t>(i); }

    Sheet m_sheet;
    std::array<PictureId, Sheet::kCells> m_reel{};
    std::array<PictureId, Sheet::kBlocks> m_switch{};
    std::array<Phase, Sheet::kBlocks> m_phase{};
    QString m_sheetStamp;
    QString m_clockText = QStringLiteral("0000/00/00,00:00:00");
};
