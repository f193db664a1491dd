// SPDX-License-Identifier: MIT
#include "draw/candidate.h"

#include <cmath>

int tickMillis(qint32 tick) {
    return (tick % 1000 + 1000) % 1000;
}

qint16 candidateBase(const QDateTime& time, int millis) {
    const QDate d = time.date();
    const QTime t = time.time();
    const int fields = d.year() % 100 + d.month() + d.day() + t.hour() + t.minute() + t.second();
    return static_cast<qint16>(fields * 43 + millis);
}

int candidateNumber(qint16 base, float r) {
    const double x =
        std::floor(static_cast<double>(static_cast<float>(base)) * static_cast<double>(r)) + 1.0;
    const int n = static_cast<int>(std::fmod(x, 43.0));
    return n == 0 ? 43 : n;
}
