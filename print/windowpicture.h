// SPDX-License-Identifier: MIT
#pragma once

class QPixmap;
class QWidget;
struct PrintTarget;

// Prints Picture1 across the printable width, centred vertically, measured at the density of
// the window's screen where the picture has none. A picture that cannot be fitted (none, or of
// no size) is reported to the user and nothing is printed.
void printCapturedPicture(QWidget& window, const QPixmap& Picture1, const PrintTarget& target);

// Mode 1: captures the window into Picture1 through the clipboard (left empty when the clipboard
// then holds no picture), then prints the picture.
void PrintWindowPicture(QWidget& window, QPixmap& Picture1, const PrintTarget& target);

// Mode 2: prints the window's client area, the widget `inside`, as it is drawn on the screen, at
// its screen size.
void printClientArea(QWidget& inside, const PrintTarget& target);
