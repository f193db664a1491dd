// SPDX-License-Identifier: MIT
#pragma once

#include <QKeySequence>
#include <QWidget>

#include "app/pictures.h"
#include "model/tavomodel.h"

class QShortcut;

// A picture control: shows one template picture unscaled at its top-left corner, with no
// border. A switch is a picture control that reports clicks, and presses from the keyboard or from
// assistive technology.
class PictureControl : public QWidget {
    Q_OBJECT
public:
    explicit PictureControl(QWidget* parent = nullptr);

    // What a screen reader says of the control: "<label>: <state>". A switch tells its block's
    // phase, which the window gives it, and while ready the detail the window gives it (the
    // numbers drawn). A reel tells its number, 空白 or 回転中; it changes only when the window
    // announces it, never with the pictures of the spin.
    enum class Role { Reel, Switch };
    void setAccessibleLabel(Role role, const QString& label);
    Role role() const { return m_role; }
    void setPhase(TavoModel::Phase phase);
    void setAccessibleDetail(const QString& detail);
    void announceSpinning();
    void announceFace();

    // The focus, given by a draw started without the mouse: until it leaves, assistive
    // technology reads only what changed, without the help: a reel's number, the block and
    // phase of a switch, 開始 and the numbers on the switch at the end. A screen reader speaks
    // each on the focus move; with the full names (some 4 s each in a Japanese voice) the speech
    // would fall many seconds behind the stops. A screen reader that has fallen behind reads the
    // name when it comes to the focus move, so a reel keeps the short form until the focus has
    // left its switch after the draw (endFocusForDraw), and a switch until the focus leaves it.
    void takeFocusForDraw();
    // The short form alone, as the control's part of the draw happens, where the focus move
    // itself is to follow a moment later.
    void beginBriefForDraw() { setFocusedByDraw(true); }
    void endFocusForDraw();
    bool focusedByDraw() const { return m_focusedByDraw; }
    QString briefName() const;

    // A switch's key: pressing it anywhere in the window presses the switch.
    void setShortcut(const QKeySequence& key);
    QKeySequence shortcut() const;

    void showPicture(const Picture& picture);

public slots:
    // Presses the switch from the event loop, right after the caller returns: a first press runs
    // the whole draw, which must not run inside a key handler or an accessibility call.
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
    // The state alone: a reel's number (or 空白), a switch's phase.
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
