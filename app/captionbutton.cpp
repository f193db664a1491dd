// SPDX-License-Identifier: MIT
#include "app/captionbutton.h"

#include <QKeyEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

CaptionButton::CaptionButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {}

QStringList CaptionButton::wrapAtSpaces(const QString& caption, const QFontMetrics& metrics,
                                        int width) {
    QStringList lines;
    QString line;
    qsizetype pos = 0;
    while (pos < caption.size()) {
        // The next word with the spaces in front of it.
        qsizetype start = pos;
        while (pos < caption.size() && caption.at(pos) == QLatin1Char(' ')) {
            ++pos;
        }
        const qsizetype wordStart = pos;
        while (pos < caption.size() && caption.at(pos) != QLatin1Char(' ')) {
            ++pos;
        }
        const QString gap = caption.mid(start, wordStart - start);
        const QString word = caption.mid(wordStart, pos - wordStart);
        if (line.isEmpty() && lines.isEmpty()) {
            line = gap + word;
        } else if (metrics.horizontalAdvance(line + gap + word) <= width) {
            line += gap + word;
        } else {
            lines << line;
            line = word;
        }
    }
    lines << line;
    return lines;
}

void CaptionButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown()) {
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const QStringList lines = wrapAtSpaces(caption, fontMetrics(), area.width());
    painter.drawText(area, Qt::AlignCenter, lines.join(QLatin1Char('\n')));
}

void CaptionButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !event->isAutoRepeat() &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}
