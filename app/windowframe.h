// SPDX-License-Identifier: MIT
#pragma once

#include <QSize>
#include <memory>

class QWidget;
class Timer;

// The frame round a fixed-size window. On X11 the window manager draws it, and natively on
// Wayland the compositor where it offers to (KWin, through xdg-decoration). Where it leaves the
// title bar to the program (mutter, weston), Qt's own bar would offer minimise and maximise and
// declare the inside's size as the decorated window's: there the window draws its own, a border
// and a bar with the icon, the title and a close box. Press and drag on the bar moves the
// window, a right-click opens the compositor's window menu; a double-click does nothing.
//
// Lays the window out round an inside of the given size, fixes its size to the whole, and
// returns the widget the controls go into: the window itself, or below its own bar the
// "ClientArea" ("WindowFrame", whose one button is "CloseBox"). Call before the window is shown.
QWidget* layOutFixedWindow(QWidget* window, const QSize& inside);

// Where the window draws its own frame, gives a note (a message box, sized by its layout) the
// same frame. Call before the note is shown.
void frameNote(QWidget* note);

// The window has one size. A maximise or full-screen request is turned back, once: a compositor
// that insists (a rule that forces the state) is not asked again until it gives the state up,
// as turning it back would go on for good. A full screen larger than the window is taken at the
// window's own size (xdg-shell allows it). A maximised window must have the size it was given:
// on Wayland the compositor's configuration is acknowledged before the program hears of it, and
// a frame at the window's own size would break the protocol (weston ends the connection). So
// drawing is held from the request until the compositor answers the return, and while its last
// word is maximised (weston, after its own shortcut, does not answer); where it says nothing,
// the hold ends after two seconds.
//
// The guard lives with the window; holdTimer is a stopped timer of the platform's for the hold.
void keepOneSize(QWidget* window, std::unique_ptr<Timer> holdTimer);
