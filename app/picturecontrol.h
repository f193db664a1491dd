// SPDX-License-Identifier: MIT
#pragma once

#include <QKeySequence>
#include <QWidget>

#include "app/pictures.h"
#include "model/tavomodel.h"

class QShortcut;

// One template picture, unscaled at the top-left corner, no border: a reel, or a switch that
// reports clicks and presses from the keyboard or assistive technology.
class PictureControl : public QWidget {
    Q_OBJECT
public:
    explicit PictureControl(QWidget* parent = nullptr);

    // "<label>: <state>", renewed only as the window announces it, never with the spin's pictures.
    enum class Role { Reel, Switch };
    void setAccessibleLabel(Role role, const QString& label);
    Role role() const { return m_role; }
    void setPhase(TavoModel::Phase phase);
    void setAccessibleDetail(const QString& detail);
    // A reel's name says 回転中, or (false) its face anew.
    void announceSpinning(bool spinning);

    // Given the focus by a keyboard draw, the name is only what changed (briefName): the full
    // names, some 4 s each in a Japanese voice, would fall far behind the stops.
    void takeFocusForDraw();
    // The short form alone, ahead of the focus move that follows a moment later.
    void beginBriefForDraw() { setFocusedByDraw(true); }
    void endFocusForDraw() { setFocusedByDraw(false); }
    bool focusedByDraw() const { return m_focusedByDraw; }
    QString briefName() const;

    // A switch's key, once: pressing it anywhere in the window presses the switch.
    void setShortcut(const QKeySequence& key);
    QKeySequence shortcut() const;

    void showPicture(const Picture& picture);

public slots:
    // Queued: a first press runs the whole draw, never inside a key handler or accessibility call.
    void trigger();

signals:
    void clicked();        // by the mouse
    void triggered();      // by the keyboard or assistive technology, queued
    void drawFocusLeft();  // a switch given the focus by a draw has lost it

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void updateAccessibleName();
    // A reel's number, 空白 or 回転中; a switch's phase.
    QString state() const;
    void setFocusedByDraw(bool focused);

    PictureId m_id = PictureId::Blank;
    Role m_role = Role::Reel;
    TavoModel::Phase m_phase = TavoModel::Phase::Ready;
    QString m_label;
    QString m_detail;
    bool m_spinning = false;
    bool m_focusedByDraw = false;
    QShortcut* m_shortcut = nullptr;
    QPixmap m_pixmap;
    bool m_pressed = false;
};
