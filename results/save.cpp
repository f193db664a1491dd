// SPDX-License-Identifier: MIT
#include "results/save.h"

#include "model/tavomodel.h"
#include "platform/textfile.h"

QString resultLine(const QString& stamp, const QString& letter,
                   const std::array<QString, 6>& cells) {
    QStringList fields{stamp, letter};
    for (const QString& cell : cells) {
        fields << cell;
    }
    return fields.join(u',');
}

void SaveSheet(TavoModel& model) {
    const Sheet& sheet = model.sheet();
    for (QString& line : model.ResultLines) {
        line.clear();
    }
    for (int b = 0; b < Sheet::kBlocks; ++b) {
        const QString& stamp = sheet.LabelFN.at(static_cast<std::size_t>(b));
        if (stamp.isEmpty()) {
            continue;
        }
        std::array<QString, Sheet::kPositions> cells;
        for (int p = 0; p < Sheet::kPositions; ++p) {
            cells.at(static_cast<std::size_t>(p)) =
                sheet.LabelData.at(static_cast<std::size_t>(Sheet::cell(b, p)));
        }
        model.ResultLines.at(static_cast<std::size_t>(b)) =
            resultLine(stamp, model.blockLetter(b), cells);
    }
    // Each writer reports and swallows its own failures, so the sheet file is written even
    // when the log cannot be.
    AppendLog(model);
    WriteSheetFile(model);
}

void AppendLog(TavoModel& model) {
    // Opened even with nothing to add, so a save creates the log.
    TextFile log(model.AppFolder + QStringLiteral("TavoLog.csv"), TextFile::Mode::AppendOrCreate);
    if (!log.isOpen()) {
        return;
    }
    for (const QString& line : model.ResultLines) {
        if (!line.isEmpty()) {
            log.writeLine(line);
        }
    }
    log.close();
}

void WriteSheetFile(TavoModel& model) {
    const QString stamp = model.sheetStamp();
    if (stamp.isEmpty()) {
        return;  // nothing drawn since the last clear: the previous sheet's file stays as it is
    }
    TextFile file(model.AppFolder + model.sheet().LabelFileName0, TextFile::Mode::CreateOrReplace);
    if (!file.isOpen()) {
        return;
    }
    file.writeLine(stamp);
    for (const QString& line : model.ResultLines) {
        if (!line.isEmpty()) {
            file.writeLine(line);
        }
    }
    file.close();
}
