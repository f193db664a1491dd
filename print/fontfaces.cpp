// SPDX-License-Identifier: MIT
#include "print/fontfaces.h"

namespace fonts {

QFont face(const QString& family, qreal points, bool bold) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

}  // namespace fonts
