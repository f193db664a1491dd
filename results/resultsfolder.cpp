// SPDX-License-Identifier: MIT
#include "results/resultsfolder.h"

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "results/textfile.h"

namespace {

// The folder as the file system resolves it, so /bin and /usr/bin, or a trailing "/", compare
// equal; a folder that does not exist is compared as written.
QString resolved(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

}  // namespace

QString withSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

ResultsFolder chooseResultsFolder(const QString& programFolder, bool programFolderWritable,
                                  const QString& installBinFolder, const QString& documentsFolder) {
    const bool installed =
        !programFolderWritable ||
        (!installBinFolder.isEmpty() && resolved(programFolder) == resolved(installBinFolder));
    if (!installed || documentsFolder.isEmpty()) {
        // Without a documents folder (no home) there is nowhere better: the writes say why
        // they fail.
        return {withSeparator(programFolder), false, false};
    }
    return {withSeparator(documentsFolder) + QStringLiteral("Tavo/"), true, false};
}

bool prepareResultsFolder(const ResultsFolder& results, QString& reason) {
    const QString& folder = results.path;
    if (QFileInfo(folder).isDir()) {
        return true;
    }
    if (!results.inDocuments) {
        // The program's own folder is not ours to make: its absence is the one reason.
        struct stat st {};
        reason = fileErrorText(::stat(QFile::encodeName(folder).constData(), &st) != 0 ? errno
                                                                                       : ENOTDIR);
        return false;
    }
    // Each missing level in turn, so the reason is the real one of the level that failed.
    const QStringList parts = QDir::cleanPath(folder).split(QLatin1Char('/'));
    QString path;
    for (const QString& part : parts) {
        path += part + QLatin1Char('/');
        if (part.isEmpty() && path.size() == 1) {
            continue;  // the root
        }
        if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0 && errno != EEXIST) {
            reason = fileErrorText(errno);
            return false;
        }
    }
    if (!QFileInfo(folder).isDir()) {
        reason = fileErrorText(ENOTDIR);
        return false;
    }
    return true;
}

QString noteAfterSaving(ResultsFolder& folder) {
    if (!folder.inDocuments || folder.named) {
        return QString();
    }
    folder.named = true;
    return documentsFolderNote(folder.path);
}

QString documentsFolderNote(const QString& folder) {
    return QStringLiteral("結果のファイルは次のフォルダーに保存されます:\n") +
           QDir::toNativeSeparators(folder);
}
