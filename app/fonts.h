// SPDX-License-Identifier: MIT
#pragma once

#include "print/fontfaces.h"

namespace fonts {

// Maps the window's faces onto faces Debian installs, so the Japanese captions render with the
// right glyphs and widths in any locale, and sets the face of the controls without their own.
// The window does it as it is made, before its first paint.
void prepareApplication();

}  // namespace fonts
