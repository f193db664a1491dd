// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <array>

#include "results/savereport.h"

class CorePlatform;
class TavoModel;

// One block's result line: its stamp, its letter and its six cells, joined by commas.
QString resultLine(const QString& stamp, const QString& letter,
                   const std::array<QString, 6>& cells);

// Builds model.ResultLines from the sheet, appends them to the log and rewrites the sheet file;
// no draw may be running. The user is told of a failure (the file and the reason), a sheet file
// that took a new name, a line end added to the log and, once, a results folder in documents.
SaveReport SaveSheet(TavoModel& model, CorePlatform& platform);
