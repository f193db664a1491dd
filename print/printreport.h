// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The notes a print leaves for the user.

// The page could not be printed (why) and went to a PDF file instead.
QString savedToPdfMessage(const QString& why, const QString& pdfPath);
// Neither printed (why) nor saved to the PDF file (saveWhy).
QString notPrintedMessage(const QString& why, const QString& pdfPath, const QString& saveWhy);

// Whether a PDF file was written whole: not empty, and ending with its end-of-file marker.
// False with the reason otherwise, in the system's words where it gives any.
bool pdfWrittenWhole(const QString& path, QString& reason);
