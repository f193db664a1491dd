// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QPixmap>
#include <QtGlobal>

#include "print/fitting.h"

class CorePlatform;
class QWidget;
struct PrintTarget;

// A snapshot of the window alone. On X11 with a window manager, the whole window from the screen,
// title bar and border included, its inside drawn by the window itself; elsewhere the window's
// own drawing of itself, as the screen cannot show it to the program: natively on Wayland that
// is the whole window, its own title bar and border included where it draws them (mutter,
// weston), its inside where the compositor draws the frame (KWin); on the rootless Xwayland of
// a Wayland desktop, without a window manager and offscreen, its inside. No other window of
// the program is in it: on the screen, those over the window are hidden for kUncoverMs while the
// window manager redraws what they covered, dispatching events through platform.
constexpr int kUncoverMs = 200;
QPixmap snapshotWindow(QWidget& window, CorePlatform& platform);

// Captures the window through the clipboard into Picture1: the clipboard is cleared, receives
// the snapshot, the platform dispatches the pending events once and the clipboard's picture is
// read back. Without a picture on the clipboard then, Picture1 is left empty.
void captureWindowPicture(QWidget& window, CorePlatform& platform, QPixmap& Picture1);

// The picture's size in 0.01 mm, from its dots per metre (or the screen's density where it has
// none).
struct PictureSize {
    qint32 widthHmm = 0;
    qint32 heightHmm = 0;
};
PictureSize pictureSizeHmm(const QImage& picture, double fallbackDotsPerInch);

// Prints Picture1 across the printable width, centred vertically, measured at the density of
// the window's screen where the picture has none. A picture that cannot be fitted (none, or of
// no size) is reported to the user and nothing is printed.
void printCapturedPicture(QWidget& window, const QPixmap& Picture1, const PrintTarget& target);

// Mode 1: captures the window into Picture1, then prints the picture.
void PrintWindowPicture(QWidget& window, QPixmap& Picture1, const PrintTarget& target);

// Mode 2: prints the window's client area, the widget `inside`, as it is drawn on the screen, at
// its screen size.
void printClientArea(QWidget& inside, const PrintTarget& target);
