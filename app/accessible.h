// SPDX-License-Identifier: MIT
#pragma once

class QString;
class QWidget;

// How assistive technology sees the window's own controls: a switch is a push button with a
// Press action and its block's key, a reel a picture that can take the focus a keyboard draw
// gives it, and a command button a push button whose Press action is queued like a switch's.
// None of it changes a pixel of the window.
namespace accessible {

// Installs the interfaces; call before the first control is asked for. Safe to call again.
void install();

// A control that does nothing for now (the commands and the other switches during a draw) says
// so to assistive technology, as a disabled control would, while it looks exactly the same.
void setUnavailable(QWidget* control, bool unavailable);
bool isUnavailable(const QWidget* control);

// Tells assistive technology a short message, with no box and nothing drawn: a screen reader
// speaks it as a notification of the window's. For what succeeded without a word on screen.
void announce(QWidget* window, const QString& text);

}  // namespace accessible
