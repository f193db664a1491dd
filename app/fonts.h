// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QString>

// The window's faces by the names it asks for. installFontSubstitutions() maps them onto faces
// that Debian installs, so the Japanese captions render with the right glyphs and widths in any
// locale.
namespace fonts {

inline const QString kMincho = QStringLiteral("ＭＳ 明朝");
inline const QString kGothic = QStringLiteral("ＭＳ ゴシック");
inline const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kAngela = QStringLiteral("ANGELA");

void installFontSubstitutions();
// The substitutions and the default user-interface face; once per process.
void prepareApplication();

// A face at a size in points (fractional sizes kept), bold or normal.
QFont face(const QString& family, qreal points, bool bold);

}  // namespace fonts
