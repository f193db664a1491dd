// SPDX-License-Identifier: MIT
#include "app/groupframe.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

namespace {

// Screen readers hear a frame as a grouping named by its caption, as with a style's group box.
class GroupFrameAccessible : public QAccessibleWidget {
public:
    explicit GroupFrameAccessible(GroupFrame* frame)
        : QAccessibleWidget(frame, QAccessible::Grouping) {}
    QString text(QAccessible::Text t) const override {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty()) {
            s = static_cast<GroupFrame*>(widget())->title();
        }
        return s;
    }
};

QAccessibleInterface* groupFrameAccessible(const QString& key, QObject* object) {
    if (key == QLatin1String("GroupFrame") && object != nullptr && object->isWidgetType()) {
        return new GroupFrameAccessible(static_cast<GroupFrame*>(object));
    }
    return nullptr;
}

}  // namespace

GroupFrame::GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {
    // Qt installs a factory once, however often it is asked.
    QAccessible::installFactory(groupFrameAccessible);
}

int GroupFrame::borderTop() const {
    // As a classic group box: the etched pair straddles the middle of the caption's line.
    int top = fontMetrics().height() / 2 - 1;
    // A tall caption must not push the border into the controls: it keeps above the highest of
    // them, and the caption moves up with it.
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

    // Etched: a dark rectangle with a light one a pixel down and right, so each edge is a dark
    // and a light line.
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
