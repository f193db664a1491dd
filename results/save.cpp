// SPDX-License-Identifier: MIT
#include "results/save.h"

#include <QGroupBox>
#include <QLabel>

#include "app/mainwindow.h"
#include "platform/platform.h"
#include "platform/textfile.h"

QString resultLine(const QString& stamp, const QString& letter,
                   const std::array<QString, 6>& cells) {
    QStringList fields{stamp, letter};
    for (const QString& cell : cells) {
        fields << cell;
    }
    return fields.join(u',');
}

SaveReport SaveSheet(MainWindow& window) {
    const Sheet& sheet = window.sheet();
    for (QString& line : window.ResultLines) {
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
        window.ResultLines.at(static_cast<std::size_t>(b)) =
            resultLine(stamp, window.FrameBlock(b)->title(), cells);
    }
    // Each writer reports and swallows its own failures, so the sheet file is written even
    // when the log cannot be.
    window.AppFolderUse.prepare(window.AppFolder);
    SaveReport report;
    AppendLog(window, report);
    WriteSheetFile(window, report);

    QString message = saveFailureMessage(report);
    if (report.written > 0) {
        const QString note = window.AppFolderUse.noteAfterSaving(window.AppFolder);
        if (!note.isEmpty()) {
            message = message.isEmpty() ? note : note + QStringLiteral("\n\n") + message;
        }
    }
    if (!message.isEmpty()) {
        window.platform().showMessage(&window, message);
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

void AppendLog(MainWindow& window, SaveReport& report) {
    // Opened even with nothing to add, so a save creates the log.
    const QString path = window.AppFolder + QStringLiteral("TavoLog.csv");
    TextFile log(path, TextFile::Mode::AppendOrCreate);
    for (const QString& line : window.ResultLines) {
        if (!line.isEmpty()) {
            log.writeLine(line);
        }
    }
    finish(log, path, report);
}

void WriteSheetFile(MainWindow& window, SaveReport& report) {
    const QString stamp = window.LabelFileName()->text();
    if (stamp.isEmpty()) {
        return;  // nothing drawn since the last clear: the previous sheet's file stays as it is
    }
    const QString path = window.AppFolder + window.sheet().LabelFileName0;
    TextFile file(path, TextFile::Mode::CreateOrReplace);
    file.writeLine(stamp);
    for (const QString& line : window.ResultLines) {
        if (!line.isEmpty()) {
            file.writeLine(line);
        }
    }
    finish(file, path, report);
}
