// SPDX-License-Identifier: MIT
#include "app/fonts.h"

#include <QApplication>

namespace fonts {

void installFontSubstitutions() {
    QFont::insertSubstitution(kMincho, QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(kGothic, QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(kPGothic, QStringLiteral("IPAPGothic"));
    // The block letters want a bold Western display face; DejaVu Sans is always there.
    QFont::insertSubstitutions(kAngela, {QStringLiteral("DejaVu Sans"), QStringLiteral("Sans")});
}

void prepareApplication() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    installFontSubstitutions();
    // The platform's own user-interface face for controls without a font of their own.
    QApplication::setFont(face(kPGothic, 9, false));
}

QFont face(const QString& family, qreal points, bool bold) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

}  // namespace fonts
