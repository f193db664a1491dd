// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>

class QWindow;

// What the window asks of a Wayland compositor beyond what Qt 6.4 says for it, on Qt's own
// connection. Elsewhere each answers no and does nothing.
namespace waylandshell {

// Whether the compositor offers to draw window frames (xdg-decoration, as KWin does; mutter and
// weston do not). Asked once, before any window is shown.
bool compositorDrawsFrames();

// Asks the compositor for its window menu at a point of the window (in the window's own
// coordinates), as the answer to the press being handled. False where none can be asked for.
bool showWindowMenu(QWindow* window, const QPoint& at);

}  // namespace waylandshell
