// SPDX-License-Identifier: MIT
#include "app/picturecontrol.h"

#include <QMouseEvent>
#include <QPainter>

PictureControl::PictureControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureControl::showPicture(const Picture& picture) {
    // Sharing the template's pixmap is a reference count, not a copy: a reel tick stays cheap.
    if (m_id == picture.id && m_pixmap.cacheKey() == picture.pixmap.cacheKey()) {
        return;
    }
    m_id = picture.id;
    m_pixmap = picture.pixmap;
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
