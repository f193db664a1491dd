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

// Builds model.ResultLines from the sheet, then appends them to the log and rewrites the sheet
// file. The caller has checked that no draw is running. A save that did not fully succeed is
// told to the user through platform, naming the file and the reason; so are a sheet file that
// took a new name, a line end added to the log and, once, a results folder in the user's
// documents. A save that fully succeeds says nothing else.
SaveReport SaveSheet(TavoModel& model, CorePlatform& platform);
