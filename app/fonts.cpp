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

}  // namespace fonts
