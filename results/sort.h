// SPDX-License-Identifier: MIT
#pragma once

#include "model/sheet.h"

class TavoModel;

// The selection sort of one row: reads the six captions of sheet.LabelS, writes them in ascending
// numeric order to sheet.NumberLabelS (empty captions first, left empty) and leaves "44" in
// every cell of LabelS.
void SortRow(Sheet& sheet);

// Sorts every block A..E of the sheet, numbers and reels alike; no draw may be running.
void sortSheet(TavoModel& model);
