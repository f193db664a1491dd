// SPDX-License-Identifier: MIT
#include "model/tavomodel.h"

#include "model/timeformat.h"

TavoModel::TavoModel(QObject* parent) : QObject(parent) {
    m_switch.fill(PictureId::Start);
    m_status.fill(Status{QStringLiteral("開始"), kBlue});
    for (int b = 0; b < kBlocks; ++b) {
        m_letter.at(idx(b)) = QString(QLatin1Char(static_cast<char>('A' + b)));
    }
}

QString TavoModel::title() {
    return QStringLiteral("Tavo V1.1");
}

void TavoModel::setBlockLetter(int b, const QString& letter) {
    QString& current = m_letter.at(idx(b));
    if (current != letter) {
        current = letter;
        emit blockLetterChanged(b);
    }
}

void TavoModel::setLabelData(int cell, const QString& text) {
    QString& current = m_sheet.LabelData.at(idx(cell));
    if (current != text) {
        current = text;
        emit cellChanged(cell);
    }
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
        setLabelData(i, QString());
    }
    for (QString& stamp : m_sheet.LabelFN) {
        stamp.clear();
    }
    setSheetStamp(QString());
    m_sheet.LabelFileName0.clear();
    m_sheet.SavedFileName.clear();
}
