// SPDX-License-Identifier: MIT
#include "results/save.h"

#include <QDebug>

#include "model/coreplatform.h"
#include "model/tavomodel.h"
#include "model/waitms.h"
#include "results/resultsfolder.h"
#include "results/textfile.h"

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
    SaveReport report;
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
        report.hadLines = true;
    }
    report.folder = model.AppFolder.path;
    // A folder that cannot be made is the one failure: the files would only repeat it.
    QString folderReason;
    if (!prepareResultsFolder(model.AppFolder, folderReason)) {
        report.folderFailed = true;
        report.failures.append({model.AppFolder.path, {folderReason}});
        qWarning().noquote() << QStringLiteral("Tavo: cannot save into %1: %2")
                                    .arg(model.AppFolder.path, folderReason);
    } else {
        // Each writer reports and swallows its own failures, so the sheet file is written even
        // when the log cannot be.
        AppendLog(model, report, &platform);
        // A window closed while the log waited for its lock ends the save: the program is
        // ending, and nothing half-done is left behind.
        if (!platform.waitsCancelled()) {
            WriteSheetFile(model, report);
        }
    }

    // The first files in the documents folder name it, in place of the path that ends any
    // other message, so the path is read once.
    const QString folderNote = report.written > 0 ? noteAfterSaving(model.AppFolder) : QString();
    QString message = saveMessage(report, folderNote);
    if (message.isEmpty()) {
        message = folderNote;
    }
    // A window closed during the save takes no note: the program is ending.
    if (!message.isEmpty() && !platform.waitsCancelled()) {
        platform.notify(report.ok() ? NoteKind::Information : NoteKind::Warning, message);
        report.noteShown = true;
    }
    return report;
}

namespace {

// Counts a file's close in report: written whole, or failed with every reason.
bool countClose(bool closed, const TextFile& file, const QString& path, SaveReport& report) {
    if (closed) {
        ++report.written;
        return true;
    }
    report.failures.append({path, file.errors()});
    return false;
}

// The sheet's lines, as its file holds them.
void writeSheet(TextFile& file, const TavoModel& model) {
    file.writeLine(model.sheetStamp());
    for (const QString& line : model.ResultLines) {
        if (!line.isEmpty()) {
            file.writeLine(line);
        }
    }
}

// The name with a number before its extension: "240309_1405.csv", 2 -> "240309_1405_2.csv".
QString numbered(const QString& name, int n) {
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name + QStringLiteral("_%1").arg(n)
                   : name.left(dot) + QStringLiteral("_%1").arg(n) + name.mid(dot);
}

}  // namespace

void AppendLog(TavoModel& model, SaveReport& report, CorePlatform* waits) {
    // Opened even with nothing to add, so a save creates the log.
    const QString name = QStringLiteral("TavoLog.csv");
    const QString path = model.AppFolder.path + name;
    TextFile log(nativeFolder(model.AppFolder), name, TextFile::Mode::AppendOrCreate, waits);
    for (const QString& line : model.ResultLines) {
        if (!line.isEmpty()) {
            log.writeLine(line);
        }
    }
    report.logHoldsSave =
        countClose(log.isOpen() && log.close(), log, path, report) && report.hadLines;
    report.logLineEndAdded = log.lineEndAdded();
    report.logLeftBytes = log.leftBytes();
}

void WriteSheetFile(TavoModel& model, SaveReport& report) {
    if (model.sheetStamp().isEmpty()) {
        return;  // nothing drawn since the last clear: the previous sheet's file stays as it is
    }
    Sheet& sheet = model.sheet();
    const QByteArray folder = nativeFolder(model.AppFolder);
    // A sheet saved again replaces its own file, as long as the file there is still the one it
    // wrote (or none). Any other file is another sheet's (an earlier sheet of the same minute,
    // another instance's, a clock set back): it stays, and this sheet takes the first free name
    // after it.
    // (A file of its own that went meanwhile is made new: whatever took its name since stays.)
    if (!sheet.SavedFileName.isEmpty()) {
        const QString path = model.AppFolder.path + sheet.SavedFileName;
        const FileId there = TextFile::idOf(folder, sheet.SavedFileName);
        const FileId& ours = sheet.SavedFileId;
        if (!there.isNull() && there == ours) {
            // A name of its own was told at the save that chose it, not again at each save.
            report.sheetFile = sheet.SavedFileName;
            TextFile file(folder, sheet.SavedFileName, TextFile::Mode::CreateOrReplace);
            writeSheet(file, model);
            if (countClose(file.isOpen() && file.close(), file, path, report)) {
                report.sheetWritten = true;
                sheet.SavedFileId = file.writtenId();
            }
            return;
        }
    }
    constexpr int kMostNames = 100;
    for (int n = 1; n <= kMostNames; ++n) {
        const QString name = n == 1 ? sheet.LabelFileName0 : numbered(sheet.LabelFileName0, n);
        const QString path = model.AppFolder.path + name;
        TextFile file(folder, name, TextFile::Mode::CreateNew);
        if (file.nameTaken() && n < kMostNames) {
            continue;
        }
        writeSheet(file, model);
        // Another instance may take the name between the open and the close: the next one.
        const bool closed = file.isOpen() && file.close();
        if (!closed && file.nameTaken() && n < kMostNames) {
            continue;
        }
        report.sheetFile = name;
        if (n > 1) {
            report.sheetTakenName = sheet.LabelFileName0;
        }
        if (countClose(closed, file, path, report)) {
            report.sheetWritten = true;
            sheet.SavedFileName = name;
            sheet.SavedFileId = file.writtenId();
        }
        return;
    }
}
