// SPDX-License-Identifier: MIT
#pragma once

class QString;
class QWidget;

// How assistive technology sees the window's own controls; none of it changes a pixel.
namespace accessible {

// Installs the interfaces; call before the first control is asked for. Safe to call again.
void install();

// A control that does nothing for now says so, as a disabled one would, and looks the same.
void setUnavailable(QWidget* control, bool unavailable);
bool isUnavailable(const QWidget* control);

// A message a screen reader speaks, with nothing drawn: for what succeeded without a word.
void announce(QWidget* window, const QString& text);

}  // namespace accessible
