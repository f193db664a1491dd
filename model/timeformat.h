// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

// The program's time stamps. Every field has leading zeros; hours run 00..23.

// "yyyy/mm/dd,hh:mm:ss": the clock and the block stamps.
QString clockText(const QDateTime& t);
// "yyyy/mm/dd,hh:mm": the sheet stamp.
QString sheetStampText(const QDateTime& t);
// "yymmdd_hhmm.csv": the sheet file name.
QString sheetFileName(const QDateTime& t);
// "yymmdd_hhmmss": printouts saved as files.
QString compactStamp(const QDateTime& t);
