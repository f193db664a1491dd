// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include "app/pictures.h"

// A picture control: shows one template picture unscaled at its top-left corner, with no
// border. It remembers which template it shows, so the rest of the program (and its tests) can
// ask. A switch is a picture control that reports clicks.
class PictureControl : public QWidget {
    Q_OBJECT
public:
    explicit PictureControl(QWidget* parent = nullptr);

    // What a screen reader says of the control: "<label>: <what it shows>", where a reel tells
    // its number or "blank" and a switch its phase.
    enum class Role { Reel, Switch };
    void setAccessibleLabel(Role role, const QString& label);
    static QString describe(Role role, PictureId id);

    void showPicture(const Picture& picture);
    PictureId pictureId() const { return m_id; }
    const QPixmap& pixmap() const { return m_pixmap; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void updateAccessibleName();

    PictureId m_id = PictureId::Blank;
    Role m_role = Role::Reel;
    QString m_label;
    QPixmap m_pixmap;
    bool m_pressed = false;
};
