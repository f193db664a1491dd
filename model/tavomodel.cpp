// SPDX-License-Identifier: MIT
#include "model/tavomodel.h"

#include <utility>

#include "model/timeformat.h"

TavoModel::TavoModel(QObject* parent) : QObject(parent) {
    m_switch.fill(PictureId::Start);
}

QString TavoModel::title() {
    return QStringLiteral("Tavo V1.1");
}

QString TavoModel::blockLetter(int b) {
    return QString(QLatin1Char(static_cast<char>('A' + b)));
}

void TavoModel::setReelPicture(int cell, PictureId id) {
    if (std::exchange(m_reel.at(idx(cell)), id) != id) {
        emit reelPictureChanged(cell);
    }
}

void TavoModel::setSwitchPicture(int b, PictureId id) {
    if (std::exchange(m_switch.at(idx(b)), id) != id) {
        emit switchPictureChanged(b);
    }
}

void TavoModel::setPhase(int b, Phase phase) {
    if (std::exchange(m_phase.at(idx(b)), phase) != phase) {
        emit phaseChanged(b);
    }
}

TavoModel::Status TavoModel::status(Phase phase) {
    switch (phase) {
        case Phase::Armed:
            return {QStringLiteral("停止"), kRed};
        case Phase::Drawing:
            return {QStringLiteral("動作中"), kGreen};
        case Phase::Ready:
        case Phase::Pressed:
            break;
    }
    return {QStringLiteral("開始"), kBlue};
}

void TavoModel::setSheetStamp(const QString& text) {
    if (std::exchange(m_sheetStamp, text) != text) {
        emit sheetStampChanged();
    }
}

void TavoModel::ShowClock(const QDateTime& now) {
    CurrentTime = now;
    const QString text = ::clockText(now);
    if (std::exchange(m_clockText, text) != text) {
        emit clockChanged();
    }
}

void TavoModel::ClearSheet() {
    ActiveBlock = 0;
    SheetStamped = 0;
    for (int i = 0; i < Sheet::kCells; ++i) {
        setReelPicture(i, PictureId::Blank);
        m_sheet.LabelData.at(idx(i)).clear();
    }
    m_sheet.LabelFN.fill(QString());
    setSheetStamp(QString());
    m_sheet.LabelFileName0.clear();
    m_sheet.SavedFileName.clear();
}
