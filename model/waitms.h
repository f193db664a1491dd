// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>
#include <functional>

// The program's waits. They keep the window alive by dispatching its events; when none is
// pending they sleep until the next one arrives instead of spinning, so a wait costs no CPU.

class CorePlatform;

// Waits about ms milliseconds of the platform's tick counter while dispatching events through
// it, woken at the deadline by one of its timers. 0 or less returns at once without dispatching.
// The elapsed time is taken modulo 2^32, so a wrap of the 32-bit counter inside the wait does not
// prolong it.
void WaitMs(qint16 ms, CorePlatform& platform);

// Dispatches events until condition() is false (tested before the first dispatch and after each).
void waitWhile(const std::function<bool()>& condition, CorePlatform& platform);
