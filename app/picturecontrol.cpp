// SPDX-License-Identifier: MIT
#include "app/picturecontrol.h"

#include <QMouseEvent>
#include <QPainter>

PictureControl::PictureControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureControl::setAccessibleLabel(Role role, const QString& label) {
    m_role = role;
    m_label = label;
    updateAccessibleName();
}

QString PictureControl::describe(Role role, PictureId id) {
    if (role == Role::Reel) {
        const int n = static_cast<int>(id);
        return n >= 1 && n <= 43 ? QString::number(n) : QStringLiteral("blank");
    }
    switch (id) {
        case PictureId::Start:
            return QStringLiteral("idle, press to arm");
        case PictureId::Push:
            return QStringLiteral("pressed");
        case PictureId::Stop:
            return QStringLiteral("armed, press to draw");
        case PictureId::BusyDark:
        case PictureId::BusyLit:
            return QStringLiteral("drawing");
        default:
            return QString();
    }
}

void PictureControl::updateAccessibleName() {
    if (m_label.isEmpty()) {
        return;
    }
    // The lamp's two pictures mean the same phase: a screen reader hears no change.
    const QString name = m_label + QStringLiteral(": ") + describe(m_role, m_id);
    if (name != accessibleName()) {
        setAccessibleName(name);
    }
}

void PictureControl::showPicture(const Picture& picture) {
    // Sharing the template's pixmap is a reference count, not a copy: a reel tick stays cheap.
    if (m_id == picture.id && m_pixmap.cacheKey() == picture.pixmap.cacheKey()) {
        return;
    }
    const bool changed = m_id != picture.id;
    m_id = picture.id;
    m_pixmap = picture.pixmap;
    if (changed) {
        updateAccessibleName();
    }
    update();
}

void PictureControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.drawPixmap(0, 0, m_pixmap);
}

void PictureControl::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

// A click is a press and a release of the left button inside the control.
void PictureControl::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click) {
        emit clicked();
    }
}

// The second press of a double-click is no click: the double-click has no handler, and the
// release that ends it must not count either. (QWidget would take it for a second press.)
void PictureControl::mouseDoubleClickEvent(QMouseEvent* event) {
    m_pressed = false;
    event->accept();
}
