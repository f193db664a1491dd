// SPDX-License-Identifier: MIT
#include "results/resultsfolder.h"

#include <sys/stat.h>
#include <unistd.h>
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

// The folder with one trailing "/" ("/" itself stays as it is).
QString withSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// The results folder in a documents folder.
QString resultsIn(const QString& documents) {
    return withSeparator(documents) + QStringLiteral("Tavo/");
}

// Why path is not a folder (links followed): the system's error, or ENOTDIR; 0 when it is one.
int notAFolder(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        return errno;
    }
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

}  // namespace

ResultsFolder chooseResultsFolder(const QString& programFolder, bool programFolderWritable,
                                  const QString& installBinFolder, const QString& documentsFolder) {
    const bool installed =
        !programFolderWritable ||
        (!installBinFolder.isEmpty() && resolved(programFolder) == resolved(installBinFolder));
    // Without a documents folder (no home) there is nowhere better: the writes say why they fail.
    const bool inDocuments = installed && !documentsFolder.isEmpty();
    return {inDocuments ? resultsIn(documentsFolder) : withSeparator(programFolder),
            inDocuments,
            false,
            QByteArray(),
            {}};
}

ResultsFolder chooseResultsFolder(const QByteArray& programFolder, const QString& installBinFolder,
                                  const QString& documentsFolder) {
    const bool writable = ::access(programFolder.constData(), W_OK) == 0;
    // Compared as text: the installation's folder is plain text, and a name that is not valid
    // text is never it.
    ResultsFolder chosen = chooseResultsFolder(QFile::decodeName(programFolder), writable,
                                               installBinFolder, documentsFolder);
    if (!chosen.inDocuments) {
        chosen.native = programFolder.endsWith('/') ? programFolder : programFolder + '/';
    }
    return chosen;
}

QByteArray nativeFolder(const ResultsFolder& folder) {
    return !folder.native.isEmpty() && QFile::decodeName(folder.native) == folder.path
               ? folder.native
               : QFile::encodeName(folder.path);
}

namespace {

bool prepareFolder(const ResultsFolder& results, QString& reason) {
    const int error = notAFolder(nativeFolder(results));
    if (error == 0) {
        return true;
    }
    if (!results.inDocuments) {
        // The program's own folder is not ours to make: its absence is the one reason.
        reason = fileErrorText(error);
        return false;
    }
    // Each missing level in turn, so the reason is the real one of the level that failed. Only
    // the documents folder and the results folder in it are made: never the home above them.
    const QString folder = QDir::cleanPath(results.path);
    for (const QString& level : {QFileInfo(folder).path(), folder}) {
        if (::mkdir(QFile::encodeName(level).constData(), 0777) != 0 && errno != EEXIST) {
            reason = fileErrorText(errno);
            return false;
        }
    }
    if (!QFileInfo(results.path).isDir()) {
        reason = fileErrorText(ENOTDIR);
        return false;
    }
    return true;
}

}  // namespace

bool prepareResultsFolder(const ResultsFolder& results, QString& reason) {
    if (prepareFolder(results, reason)) {
        return true;
    }
    // Nowhere else was usable either: the user learns what was tried.
    for (const UnusableFolder& other : results.passedOver) {
        reason += QStringLiteral("。ほかに試したフォルダー %1 も使えません（%2）")
                      .arg(QDir::toNativeSeparators(other.folder), other.reason);
    }
    return false;
}

QString noteAfterSaving(ResultsFolder& folder) {
    if (!folder.inDocuments || folder.named) {
        return QString();
    }
    folder.named = true;
    return QStringLiteral("結果のファイルは次のフォルダーに保存されます:\n") +
           QDir::toNativeSeparators(folder.path);
}

namespace {

// Why the results cannot go into documents/Tavo under home, in the user's words; empty when the
// home is a folder and the results folder, or the nearest one above it, is the user's to write.
QString unusableHome(const QString& home, const QString& documents) {
    if (!QDir::isAbsolutePath(home)) {
        return QStringLiteral("ホームフォルダー %1 が絶対パスではありません").arg(home);
    }
    if (const int error = notAFolder(QFile::encodeName(home))) {
        return fileErrorText(error);
    }
    QString path = QDir::cleanPath(resultsIn(documents));
    int error = notAFolder(QFile::encodeName(path));
    while (error == ENOENT) {
        path = QFileInfo(path).path();
        error = notAFolder(QFile::encodeName(path));
    }
    if (error == 0 && ::access(QFile::encodeName(path).constData(), W_OK | X_OK) != 0) {
        error = errno;
    }
    return error == 0 ? QString() : fileErrorText(error);
}

}  // namespace

QString chooseDocumentsFolder(const QString& home, const QString& homeDocuments,
                              const QString& accountHome, QList<UnusableFolder>* passedOver) {
    const QString accountDocuments = withSeparator(accountHome) + QStringLiteral("Documents");
    const bool byHome = !home.isEmpty();
    const bool byAccount = !accountHome.isEmpty() && accountDocuments != homeDocuments;
    passedOver->clear();
    if (byHome && byAccount) {
        const QString reason = unusableHome(home, homeDocuments);
        if (reason.isEmpty()) {
            return homeDocuments;
        }
        passedOver->append({resultsIn(homeDocuments), reason});
        return accountDocuments;
    }
    // One home or none: the save that cannot use it names it and why.
    return byHome ? homeDocuments : byAccount ? accountDocuments : QString();
}
