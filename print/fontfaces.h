// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QString>

// The faces by the names the window and the printouts ask for; app/fonts.h maps them onto faces
// that Debian installs.
namespace fonts {

inline const QString kMincho = QStringLiteral("ＭＳ 明朝");
inline const QString kGothic = QStringLiteral("ＭＳ ゴシック");
inline const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kAngela = QStringLiteral("ANGELA");

// A face at a size in points (fractional sizes kept), bold or normal.
QFont face(const QString& family, qreal points, bool bold);

}  // namespace fonts
