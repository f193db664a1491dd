// SPDX-License-Identifier: MIT
#pragma once

#include "platform/fontfaces.h"

// The window's faces by the names it asks for. installFontSubstitutions() maps them onto faces
// that Debian installs, so the Japanese captions render with the right glyphs and widths in any
// locale.
namespace fonts {

void installFontSubstitutions();
// The substitutions and the default user-interface face; once per process.
void prepareApplication();

}  // namespace fonts
