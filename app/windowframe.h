// SPDX-License-Identifier: MIT
#pragma once

#include <QSize>

class QWidget;

// The frame round a fixed-size window. On X11 the window manager draws it, and the window is
// its inside alone. Natively on Wayland, where GNOME and weston leave the title bar to the
// program, Qt's own title bar would offer minimise and maximise whatever the window asks for,
// and declare the inside's size as the decorated window's: there the window asks Qt for no
// decoration and draws its own, a single border round the window and a title bar with the icon,
// the title and a close box, nothing more. Press and drag on the bar moves the window; a
// double-click does nothing, as the window has one size.
//
// Lays the window out round an inside of the given size, fixes the window's size to the whole,
// and returns the widget the controls go into: the window itself, or natively on Wayland the
// "ClientArea" panel below the title bar ("WindowFrame", whose one button is "CloseBox"). Call
// before the window is shown.
QWidget* layOutFixedWindow(QWidget* window, const QSize& inside);

// Natively on Wayland, gives a note (a message box, sized by its layout) the same frame: its
// title and a close box, nothing more. Elsewhere it leaves it to the window manager. Call
// before the note is shown.
void frameNote(QWidget* note);
