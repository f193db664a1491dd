// SPDX-License-Identifier: MIT
#include "print/printcommand.h"

#include "print/textpage.h"
#include "print/windowpicture.h"

void printSheet(PrintMode mode, const TavoModel& model, QWidget& window, QWidget& inside,
                QPixmap& Picture1, const PrintTarget& target) {
    switch (mode) {
        case PrintMode::Text:
            PrintText(model, target);
            break;
        case PrintMode::WindowPicture:
            PrintWindowPicture(window, Picture1, target);
            break;
        case PrintMode::ClientArea:
            printClientArea(inside, target);
            break;
        case PrintMode::None:
            break;
    }
}
