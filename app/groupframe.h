// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>

// A group frame drawn as a classic flat one, the same in every Qt style: the frame's own
// background colour with no tint or rounded panel, a one-pixel etched border (a dark line and a
// light line) whose top runs through the middle of the caption, and the caption on the frame's
// background, interrupting the border a little way in from the left edge. The controls inside
// keep their geometry relative to the frame's top-left corner; the border keeps above them.
class GroupFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCaptionInset = 8;  // caption text from the frame's left edge
    static constexpr int kCaptionGap = 2;    // border left open on each side of the caption

    GroupFrame(const QString& title, QWidget* parent);

    QString title() const { return m_title; }

    // Row of the top border's dark line; the light line lies below it.
    int borderTop() const;
    // Where the caption is drawn: its text line, at kCaptionInset from the left.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
};
