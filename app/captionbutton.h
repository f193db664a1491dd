// SPDX-License-Identifier: MIT
#pragma once

#include <QFontMetrics>
#include <QPushButton>
#include <QStringList>

// A push button whose caption wraps onto centred lines at its spaces ("　ファイルに   保存" shows
// 保存 on a line of its own), never between two Japanese characters as Qt's wrapping would.
class CaptionButton : public QPushButton {
    Q_OBJECT
public:
    CaptionButton(const QString& caption, QWidget* parent);

    // The caption's lines: words (runs without an ASCII space) joined greedily while they fit.
    static QStringList wrapAtSpaces(const QString& caption, const QFontMetrics& metrics, int width);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Return presses the focused button, as Space does.
    void keyPressEvent(QKeyEvent* event) override;
};
