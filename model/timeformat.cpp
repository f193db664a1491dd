// SPDX-License-Identifier: MIT
#include "model/timeformat.h"

// Fixed patterns, not the locale's, so the stamps read the same everywhere.
QString clockText(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy/MM/dd,HH:mm:ss"));
}

QString sheetStampText(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy/MM/dd,HH:mm"));
}

QString sheetFileName(const QDateTime& t) {
    return t.toString(QStringLiteral("yyMMdd_HHmm")) + QStringLiteral(".csv");
}

QString compactStamp(const QDateTime& t) {
    return t.toString(QStringLiteral("yyMMdd_HHmmss"));
}
