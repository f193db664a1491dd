// SPDX-License-Identifier: MIT
#include "print/printcommand.h"

#include <QRadioButton>

#include "app/mainwindow.h"
#include "print/textpage.h"
#include "print/windowpicture.h"

void printSheet(MainWindow& window) {
    // The first selected mode decides; with none selected nothing is printed.
    if (window.OptionPrn(0)->isChecked()) {
        PrintText(window);
    } else if (window.OptionPrn(1)->isChecked()) {
        PrintWindowPicture(window);
    } else if (window.OptionPrn(2)->isChecked()) {
        printClientArea(window);
    }
}
