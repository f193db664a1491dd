// SPDX-License-Identifier: MIT
#pragma once

class MainWindow;

// Prints the sheet in the selected mode: the text page, a picture of the whole window, or a
// picture of its client area. The caller has checked that no draw is running.
void printSheet(MainWindow& window);
