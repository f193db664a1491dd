// SPDX-License-Identifier: MIT
#include "results/save.h"

#include <QDebug>

#include "model/coreplatform.h"
#include "model/tavomodel.h"
#include "results/resultsfolder.h"
#include "results/textfile.h"

QString resultLine(const QString& stamp, const QString& letter,
                   const std::array<QString, 6>& cells) {
    const QStringList fields{stamp, letter};
    return (fields + QStringList(cells.begin(), cells.end())).join(u',');
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

// The drawn blocks' lines.
void writeResultLines(TextFile& file, const TavoModel& model) {
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

// Each writer adds its failure, if any, and what it did to report.
void AppendLog(TavoModel& model, SaveReport& report, CorePlatform* waits) {
    // Opened even with nothing to add, so a save creates the log.
    const QString name = QStringLiteral("TavoLog.csv");
    const QString path = model.AppFolder.path + name;
    TextFile log(nativeFolder(model.AppFolder), name, TextFile::Mode::AppendOrCreate, waits);
    writeResultLines(log, model);
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
    // A sheet saved again replaces its own file while the file there is still the one it wrote.
    // Any other file is another sheet's (of the same minute, another instance's, a clock set
    // back): it stays, and this sheet takes the first free name after it, told only then.
    const FileId there =
        sheet.SavedFileName.isEmpty() ? FileId() : TextFile::idOf(folder, sheet.SavedFileName);
    const bool ownFileThere = !there.isNull() && there == sheet.SavedFileId;
    constexpr int kMostNames = 100;
    for (int n = 1; n <= kMostNames; ++n) {
        const QString name = ownFileThere ? sheet.SavedFileName
                             : n == 1     ? sheet.LabelFileName0
                                          : numbered(sheet.LabelFileName0, n);
        TextFile file(folder, name,
                      ownFileThere ? TextFile::Mode::CreateOrReplace : TextFile::Mode::CreateNew);
        if (file.nameTaken() && n < kMostNames) {
            continue;
        }
        file.writeLine(model.sheetStamp());
        writeResultLines(file, model);
        // Another instance may take the name between the open and the close: the next one.
        const bool closed = file.isOpen() && file.close();
        if (!closed && file.nameTaken() && n < kMostNames) {
            continue;
        }
        report.sheetFile = name;
        if (n > 1) {
            report.sheetTakenName = sheet.LabelFileName0;
        }
        if (countClose(closed, file, model.AppFolder.path + name, report)) {
            report.sheetWritten = true;
            sheet.SavedFileName = name;
            sheet.SavedFileId = file.writtenId();
        }
        return;
    }
}

}  // namespace

SaveReport SaveSheet(TavoModel& model, CorePlatform& platform) {
    const Sheet& sheet = model.sheet();
    SaveReport report;
    for (int b = 0; b < Sheet::kBlocks; ++b) {
        const QString& stamp = sheet.LabelFN.at(static_cast<std::size_t>(b));
        std::array<QString, Sheet::kPositions> cells;
        for (int p = 0; p < Sheet::kPositions; ++p) {
            cells.at(static_cast<std::size_t>(p)) =
                sheet.LabelData.at(static_cast<std::size_t>(Sheet::cell(b, p)));
        }
        QString& line = model.ResultLines.at(static_cast<std::size_t>(b));
        line = stamp.isEmpty() ? QString() : resultLine(stamp, model.blockLetter(b), cells);
        report.hadLines = report.hadLines || !line.isEmpty();
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
