// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include "print/printqueue.h"

// The notes a print leaves for the user, in Japanese throughout: the print server's own words
// come after ours, quoted in 「」, and a path comes once, at the end.

// Why the page was not printed, from what the print server answered.
QString printServerReason(const printqueue::Answer& answer);

// The page could not be printed (why) and went to a PDF file instead.
QString savedToPdfMessage(const QString& why, const QString& pdfPath);
// Neither printed (why) nor saved to the PDF file (saveWhy).
QString notPrintedMessage(const QString& why, const QString& pdfPath, const QString& saveWhy);
