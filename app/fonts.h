// SPDX-License-Identifier: MIT
#pragma once

#include "print/fontfaces.h"

// The window's faces by the names it asks for. installFontSubstitutions() maps them onto faces
// that Debian installs, so the Japanese captions render with the right glyphs and widths in any
// locale.
namespace fonts {

void installFontSubstitutions();
// The substitutions and the face of the controls without one of their own; the window does it
// as it is made, before its first paint.
void prepareApplication();

}  // namespace fonts
