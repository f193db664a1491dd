// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>

// A classic flat group frame, the same in every Qt style: its own background, no tint or rounded
// panel, an etched border whose top runs through the caption's middle, kept above the controls.
class GroupFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCaptionInset = 8;  // caption text from the frame's left edge
    static constexpr int kCaptionGap = 2;    // border left open on each side of the caption

    // Assistive technology hears it as a grouping named by its title (accessible::install()).
    GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {}

    QString title() const { return m_title; }

    // Row of the top border's dark line; the light line lies below it.
    int borderTop() const;
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
};
