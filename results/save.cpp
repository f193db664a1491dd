// SPDX-License-Identifier: MIT
#include "results/save.h"

#include "model/tavomodel.h"
#include "platform/coreplatform.h"
#include "platform/textfile.h"

QString resultLine(const QString& stamp, const QString& letter,
                   const std::array<QString, 6>& cells) {
    QStringList fields{stamp, letter};
    for (const QString& cell : cells) {
        fields << cell;
    }
    return fields.join(u',');
}

SaveReport SaveSheet(TavoModel& model, CorePlatform& platform) {
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
    model.AppFolderUse.prepare(model.AppFolder);
    SaveReport report;
    AppendLog(model, report);
    WriteSheetFile(model, report);

    QString message = saveFailureMessage(report);
    if (report.written > 0) {
        const QString note = model.AppFolderUse.noteAfterSaving(model.AppFolder);
        if (!note.isEmpty()) {
            message = message.isEmpty() ? note : note + QStringLiteral("\n\n") + message;
        }
    }
    if (!message.isEmpty()) {
        platform.notify(report.ok() ? NoteKind::Information : NoteKind::Warning, message);
    }
    return report;
}

namespace {

// Closes file and counts it in report.
void finish(TextFile& file, const QString& path, SaveReport& report) {
    if (file.isOpen() && file.close()) {
        ++report.written;
    } else {
        report.failures.append({path, file.errorString()});
    }
}

}  // namespace

void AppendLog(TavoModel& model, SaveReport& report) {
    // Opened even with nothing to add, so a save creates the log.
    const QString path = model.AppFolder + QStringLiteral("TavoLog.csv");
    TextFile log(path, TextFile::Mode::AppendOrCreate);
    for (const QString& line : model.ResultLines) {
        if (!line.isEmpty()) {
            log.writeLine(line);
        }
    }
    finish(log, path, report);
}

void WriteSheetFile(TavoModel& model, SaveReport& report) {
    const QString stamp = model.sheetStamp();
    if (stamp.isEmpty()) {
        return;  // nothing drawn since the last clear: the previous sheet's file stays as it is
    }
    const QString path = model.AppFolder + model.sheet().LabelFileName0;
    TextFile file(path, TextFile::Mode::CreateOrReplace);
    file.writeLine(stamp);
    for (const QString& line : model.ResultLines) {
        if (!line.isEmpty()) {
            file.writeLine(line);
        }
    }
    finish(file, path, report);
}
