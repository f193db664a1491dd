// SPDX-License-Identifier: MIT
#include "app/captionbutton.h"

#include <QKeyEvent>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStylePainter>

CaptionButton::CaptionButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {}

QStringList CaptionButton::wrapAtSpaces(const QString& caption, const QFontMetrics& metrics,
                                        int width) {
    static const QRegularExpression gapAndWord(QStringLiteral("( *)([^ ]*)"));
    QStringList lines;
    QString line;
    for (const QRegularExpressionMatch& match : gapAndWord.globalMatch(caption)) {
        if (match.capturedLength() == 0) {
            continue;  // the end of the caption
        }
        const QString gap = match.captured(1);
        const QString word = match.captured(2);
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
    // Centred on its letters: blanks at a line's ends (the save caption's full-width space too)
    // would push it off the middle.
    QStringList lines = wrapAtSpaces(caption, fontMetrics(), area.width());
    for (QString& line : lines) {
        line = line.trimmed();
    }
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
