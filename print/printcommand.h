// SPDX-License-Identifier: MIT
#pragma once

class QPixmap;
class QWidget;
class TavoModel;
struct PrintTarget;

// The print options, in their order; None when no option is selected.
enum class PrintMode { None = -1, Text = 0, WindowPicture = 1, ClientArea = 2 };

// Prints the sheet in the selected mode: the text page, a picture of the whole window (captured
// into Picture1), or a picture of its client area, the widget `inside` (the window itself where
// the window manager draws the frame). The caller has checked that no draw is running.
void printSheet(PrintMode mode, const TavoModel& model, QWidget& window, QWidget& inside,
                QPixmap& Picture1, const PrintTarget& target);
