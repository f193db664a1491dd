// SPDX-License-Identifier: MIT
#include "app/fonts.h"

#include <QApplication>

namespace fonts {

void prepareApplication() {
    QFont::insertSubstitution(kMincho, QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(kGothic, QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(kPGothic, QStringLiteral("IPAPGothic"));
    // The block letters want a bold Western display face; DejaVu Sans is always there.
    QFont::insertSubstitutions(kAngela, {QStringLiteral("DejaVu Sans"), QStringLiteral("Sans")});
    // Not the desktop's face: the buttons and options, which have no font of their own, were
    // laid out for ＭＳ Ｐゴシック 9 pt, and their captions fit them only in that face's
    // substitute; the desktop's face may be of any size.
    QApplication::setFont(face(kPGothic, 9, false));
}

}  // namespace fonts
