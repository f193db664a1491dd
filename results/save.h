// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <array>

#include "results/savereport.h"

class MainWindow;

// One block's result line: its stamp, its letter and its six cells, joined by commas.
QString resultLine(const QString& stamp, const QString& letter,
                   const std::array<QString, 6>& cells);

// Builds window.ResultLines from the sheet, then appends them to the log and rewrites the sheet
// file. The caller has checked that no draw is running. A save that did not fully succeed is
// told to the user, naming the file and the reason; so is, once, a results folder in the user's
// documents. A save that fully succeeds says nothing else.
SaveReport SaveSheet(MainWindow& window);
// Each writer adds its failure, if any, to report.
void AppendLog(MainWindow& window, SaveReport& report);
void WriteSheetFile(MainWindow& window, SaveReport& report);
