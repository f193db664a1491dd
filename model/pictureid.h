// SPDX-License-Identifier: MIT
#pragma once

// Which template picture a reel or a switch shows. Faces are 0 (blank) to 43; the rest follow.
enum class PictureId : int {
    Blank = 0,  // faces 1..43 are the values 1..43
    Start = 44,
    Push,
    Stop,
    BusyDark,
    BusyLit,
};

constexpr PictureId faceId(int n) {
    return static_cast<PictureId>(n);
}
