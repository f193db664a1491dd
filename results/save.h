// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <array>

class TavoModel;

// One block's result line: its stamp, its letter and its six cells, joined by commas.
QString resultLine(const QString& stamp, const QString& letter,
                   const std::array<QString, 6>& cells);

// Builds model.ResultLines from the sheet, then appends them to the log and rewrites the sheet
// file. The caller has checked that no draw is running.
void SaveSheet(TavoModel& model);
void AppendLog(TavoModel& model);
void WriteSheetFile(TavoModel& model);
