// SPDX-License-Identifier: MIT
#pragma once

// What became of the beeps so far, for tests and benchmarks.
struct BeepCounts {
    int played = 0;
    int dropped = 0;      // too late when the worker got to them
    int fallbacks = 0;    // sounded by the fallback (the X bell) instead
    bool opened = false;  // the player reached the sound server
    bool failed = false;  // it could not: every beep is the fallback's
};
