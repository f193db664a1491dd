// SPDX-License-Identifier: MIT
#pragma once

#include <QSize>
#include <memory>

class Timer;

class QWidget;

// The frame round a fixed-size window. On X11 the window manager draws it, and natively on
// Wayland the compositor where it offers to (KWin, through xdg-decoration, as for any Qt
// window): the window is its inside alone, and the buttons are theirs. Where the compositor
// leaves the title bar to the program (GNOME's mutter, weston), Qt's own title bar would offer
// minimise and maximise whatever the window asks for, and declare the inside's size as the
// decorated window's: there the window asks Qt for no decoration and draws its own, a single
// border round the window and a title bar with the icon, the title and a close box, nothing
// more. Press and drag on the bar moves the window, a right-click opens the compositor's window
// menu; a double-click does nothing, as the window has one size.
//
// Lays the window out round an inside of the given size, fixes the window's size to the whole,
// and returns the widget the controls go into: the window itself, or where it draws its own
// frame the "ClientArea" panel below the title bar ("WindowFrame", whose one button is
// "CloseBox"). Call before the window is shown.
QWidget* layOutFixedWindow(QWidget* window, const QSize& inside);

// Where the window draws its own frame, gives a note (a message box, sized by its layout) the
// same frame: its title and a close box, nothing more. Elsewhere it leaves it to the window
// manager or the compositor. Call before the note is shown.
void frameNote(QWidget* note);

// The window has one size. A maximise or full-screen request (a title bar's button or
// double-click, a desktop's shortcut or window rule) is turned back, once: a compositor that
// insists (a rule that forces the state) is not asked again until it gives the state up
// itself, as turning back what it insists on would go on for good. A full screen may be larger
// than the window (xdg-shell lets the surface be smaller than the output): the window takes it
// at its own size. A maximised window must have the size it was given: on Wayland the
// compositor's maximised configuration is acknowledged before the program hears of it, and a
// frame drawn at the window's own size would break the protocol (weston ends the connection).
// Drawing is held from the request until the compositor has answered the return; while the
// compositor's last word is maximised, it stays held (KWin and mutter never maximise a window
// of one size; weston, after its own shortcut, does not answer the return). Where the
// compositor has said nothing, the hold ends after two seconds.
//
// The guard lives with the window; holdTimer is a stopped timer of the platform's for the hold.
void keepOneSize(QWidget* window, std::unique_ptr<Timer> holdTimer);
