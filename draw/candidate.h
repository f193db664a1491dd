// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QtGlobal>

// One attempt's number, from the clock fields, the tick counter and the generator:
// S = (yy + month + day + hour + minute + second) * 43 + m as a 16-bit value, with m the tick
// counter's milliseconds in 0..999; X = floor(S * R) + 1; N = X mod 43, 0 giving 43.

// The tick counter's millisecond part, 0..999 even when the counter reads negative.
int tickMillis(qint32 tick);

// S, from the six two-digit clock fields and m.
qint16 candidateBase(const QDateTime& time, int millis);

// N in 1..43 from S and R (0 <= R < 1). The product is exact in double precision.
int candidateNumber(qint16 base, float r);
