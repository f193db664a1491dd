// SPDX-License-Identifier: MIT
#include "print/printreport.h"

#include <fcntl.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

QString savedToPdfMessage(const QString& why, const QString& pdfPath) {
    return QStringLiteral("プリンターが使えないため、PDFファイルに保存しました:\n%1\n\n理由: %2")
        .arg(QDir::toNativeSeparators(pdfPath), why);
}

QString notPrintedMessage(const QString& why, const QString& pdfPath, const QString& saveWhy) {
    return QStringLiteral(
               "印刷できませんでした。PDFファイルにも保存できませんでした。\n\n"
               "印刷: %1\n%2: %3")
        .arg(why, QDir::toNativeSeparators(pdfPath), saveWhy);
}

bool pdfWrittenWhole(const QString& path, QString& reason) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    const qint64 size = file.size();
    file.seek(qMax<qint64>(0, size - 64));
    if (size > 0 && file.read(64).contains("%%EOF")) {
        return true;
    }
    file.close();
    // The writer does not say why it stopped; one more byte written where it stopped does.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    const bool refused = fd < 0 || ::write(fd, "\n", 1) != 1;
    const int error = errno;
    if (fd >= 0) {
        ::close(fd);
    }
    reason = refused ? QString::fromLocal8Bit(std::strerror(error))
                     : QStringLiteral("the file is incomplete (%1 bytes)").arg(size);
    return false;
}
