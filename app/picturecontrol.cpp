// SPDX-License-Identifier: MIT
#include "app/picturecontrol.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QShortcut>

PictureControl::PictureControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureControl::setAccessibleLabel(Role role, const QString& label) {
    m_role = role;
    m_label = label;
    updateAccessibleName();
}

QString PictureControl::state() const {
    if (m_spinning) {
        return QStringLiteral("回転中");
    }
    if (m_role == Role::Reel) {
        const int n = static_cast<int>(m_id);
        return n >= 1 && n <= 43 ? QString::number(n) : QStringLiteral("空白");
    }
    static const QString kPhases[] = {QStringLiteral("開始"), QStringLiteral("押下"),
                                      QStringLiteral("回転中、押すと停止"),
                                      QStringLiteral("抽選中")};
    return kPhases[static_cast<int>(m_phase)];
}

void PictureControl::setPhase(TavoModel::Phase phase) {
    m_phase = phase;
    updateAccessibleName();
}

void PictureControl::setAccessibleDetail(const QString& detail) {
    m_detail = detail;
    updateAccessibleName();
}

void PictureControl::announceSpinning(bool spinning) {
    m_spinning = spinning;
    updateAccessibleName();
}

void PictureControl::updateAccessibleName() {
    if (m_label.isEmpty()) {
        return;
    }
    QString said = state();
    if (m_role == Role::Switch && m_phase == TavoModel::Phase::Ready && !m_detail.isEmpty()) {
        said += QStringLiteral("、") + m_detail;
    }
    const QString name = m_label + QStringLiteral(": ") + said;
    if (name != accessibleName()) {
        setAccessibleName(name);
    }
}

void PictureControl::takeFocusForDraw() {
    setFocusedByDraw(true);
    setFocus(Qt::OtherFocusReason);
}

QString PictureControl::briefName() const {
    if (m_role == Role::Reel) {
        return state();
    }
    // The end of a draw: the block ready again, then the numbers, without the marks that a
    // screen reader reads out as words (コロン, コンマ) between them.
    if (m_phase == TavoModel::Phase::Ready && !m_detail.isEmpty()) {
        static const QRegularExpression marks(QStringLiteral("[:,、]\\s*"));
        QString spoken = state() + u' ' + m_detail;
        return spoken.replace(marks, QStringLiteral(" "));
    }
    // The block's part of the label, and the phase in a word.
    const QString phase = m_phase == TavoModel::Phase::Armed ? QStringLiteral("回転中") : state();
    return m_label.section(u' ', 0, 0) + u' ' + phase;
}

// The name changes with this: assistive technology is told, to renew what it keeps.
void PictureControl::setFocusedByDraw(bool focused) {
    if (m_focusedByDraw != focused) {
        m_focusedByDraw = focused;
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void PictureControl::focusOutEvent(QFocusEvent* event) {
    if (m_role == Role::Switch && m_focusedByDraw) {
        setFocusedByDraw(false);
        emit drawFocusLeft();
    }
    QWidget::focusOutEvent(event);
}

void PictureControl::setShortcut(const QKeySequence& key) {
    m_shortcut = new QShortcut(key, this, this, &PictureControl::trigger);
    // Holding the key down is one press, as holding the mouse button is.
    m_shortcut->setAutoRepeat(false);
}

QKeySequence PictureControl::shortcut() const {
    return m_shortcut != nullptr ? m_shortcut->key() : QKeySequence();
}

void PictureControl::trigger() {
    QMetaObject::invokeMethod(this, &PictureControl::triggered, Qt::QueuedConnection);
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

// A keyboard draw leaves the focus on a switch; Space or Return then presses it, as a button.
void PictureControl::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool press = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    if (m_role == Role::Switch && press && !event->isAutoRepeat() &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        trigger();
        return;
    }
    QWidget::keyPressEvent(event);
}

// A double-click's second press and its release are no click (QWidget would make it a press).
void PictureControl::mouseDoubleClickEvent(QMouseEvent* event) {
    m_pressed = false;
    event->accept();
}
