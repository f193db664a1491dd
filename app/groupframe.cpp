// SPDX-License-Identifier: MIT
#include "app/groupframe.h"

#include <QPainter>

int GroupFrame::borderTop() const {
    // As a classic group box: the etched pair straddles the middle of the caption's line.
    int top = fontMetrics().height() / 2 - 1;
    // A tall caption must not push the border into the controls: both move up instead.
    for (const QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow()) {
            top = qMin(top, child->y() - 2);
        }
    }
    return qMax(0, top);
}

QRect GroupFrame::captionRect() const {
    const QFontMetrics metrics = fontMetrics();
    const int height = metrics.height();
    return {kCaptionInset, borderTop() + 1 - height / 2, metrics.horizontalAdvance(m_title),
            height};
}

void GroupFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor background = palette().color(QPalette::Window);
    painter.fillRect(rect(), background);

    // Etched: a dark rectangle with a light one a pixel down and right.
    const int top = borderTop();
    const int w = width();
    const int h = height();
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    painter.fillRect(1, top + 1, w - 1, 1, light);
    painter.fillRect(1, top + 1, 1, h - top - 1, light);
    painter.fillRect(0, h - 1, w, 1, light);
    painter.fillRect(w - 1, top, 1, h - top, light);
    painter.fillRect(0, top, w - 1, 1, dark);
    painter.fillRect(0, top, 1, h - top - 1, dark);
    painter.fillRect(0, h - 2, w - 1, 1, dark);
    painter.fillRect(w - 2, top, 1, h - top - 1, dark);

    if (m_title.isEmpty()) {
        return;
    }
    const QRect caption = captionRect();
    painter.fillRect(caption.adjusted(-kCaptionGap, 0, kCaptionGap, 0), background);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_title);
}
