// SPDX-License-Identifier: MIT
#include "model/tavomodel.h"

#include "model/timeformat.h"

TavoModel::TavoModel(QObject* parent) : QObject(parent) {
    m_switch.fill(PictureId::Start);
    m_status.fill(Status{QStringLiteral("開始"), kBlue});
}

QString TavoModel::title() {
    return QStringLiteral("Tavo V1.1");
}

QString TavoModel::blockLetter(int b) {
    return QString(QLatin1Char(static_cast<char>('A' + b)));
}

void TavoModel::setReelPicture(int cell, PictureId id) {
    PictureId& current = m_reel.at(idx(cell));
    if (current != id) {
        current = id;
        emit reelPictureChanged(cell);
    }
}

void TavoModel::setSwitchPicture(int b, PictureId id) {
    PictureId& current = m_switch.at(idx(b));
    if (current != id) {
        current = id;
        emit switchPictureChanged(b);
    }
}

void TavoModel::setStatus(int b, const QString& caption, Colour colour) {
    Status& current = m_status.at(idx(b));
    if (current.caption != caption || current.colour != colour) {
        current = Status{caption, colour};
        emit statusChanged(b);
    }
}

void TavoModel::setSheetStamp(const QString& text) {
    if (m_sheetStamp != text) {
        m_sheetStamp = text;
        emit sheetStampChanged();
    }
}

void TavoModel::ShowClock(const QDateTime& now) {
    CurrentTime = now;
    const QString text = ::clockText(now);
    if (m_clockText != text) {
        m_clockText = text;
        emit clockChanged();
    }
}

void TavoModel::ClearSheet() {
    ActiveBlock = 0;
    SheetStamped = 0;
    for (int i = 0; i < kCells; ++i) {
        setReelPicture(i, PictureId::Blank);
        m_sheet.LabelData.at(idx(i)).clear();
    }
    for (QString& stamp : m_sheet.LabelFN) {
        stamp.clear();
    }
    setSheetStamp(QString());
    m_sheet.LabelFileName0.clear();
    m_sheet.SavedFileName.clear();
}
