// SPDX-License-Identifier: MIT
#include "results/savereport.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {

const QString kLogName = QStringLiteral("TavoLog.csv");

QString headline(const SaveReport& r, bool logFailed, bool sheetFailed) {
    if (r.folderFailed) {
        return QStringLiteral("保存できませんでした。結果を入れるフォルダーを使えませんでした。");
    }
    if (logFailed && !r.hadLines) {
        return QStringLiteral("%1 を用意できませんでした。").arg(kLogName);
    }
    if (logFailed && (sheetFailed || r.sheetFile.isEmpty())) {
        return QStringLiteral(
            "保存できませんでした。結果はどちらのファイルにも書き込まれていません。");
    }
    if (logFailed) {
        return QStringLiteral(
                   "%1 に書き込めませんでした。結果はシートのファイル %2 にだけ保存されています。")
            .arg(kLogName, r.sheetFile);
    }
    return QStringLiteral(
               "シートのファイル %1 に書き込めませんでした。結果は %2 にだけ記録されています。")
        .arg(r.sheetFile, kLogName);
}

// After a failed save: what the user still has and what to do, then each file's reasons.
QStringList whatIsLeftAndWhy(const SaveReport& r) {
    QStringList paragraphs;
    if (r.logHoldsSave) {
        // Saving again would add the same lines to the log a second time.
        paragraphs << QStringLiteral(
                          "%1 にはこの保存の結果がすでに記録されています。もう一度保存すると、%1 "
                          "に同じ行がもう一度加わります。")
                          .arg(kLogName);
    } else if (r.hadLines) {
        paragraphs << QStringLiteral(
            "結果はまだ画面に残っています。原因を取り除いてから、もう一度保存してください。");
    } else {
        paragraphs << QStringLiteral("保存する結果はなかったので、失われたものはありません。");
    }
    QStringList reasons;
    for (const SaveReport::Failure& failure : r.failures) {
        const QString why = failure.reasons.join(QStringLiteral("。"));
        reasons << (r.folderFailed ? QStringLiteral("理由: %1。").arg(why)
                                   : QStringLiteral("%1 の理由: %2。")
                                         .arg(QFileInfo(failure.path).fileName(), why));
    }
    paragraphs << reasons.join(QLatin1Char('\n'));
    return paragraphs;
}

}  // namespace

QString saveMessage(const SaveReport& r, const QString& folderNote) {
    QStringList paragraphs;
    const bool logFailed =
        !r.folderFailed && std::any_of(r.failures.begin(), r.failures.end(), [](const auto& f) {
            return QFileInfo(f.path).fileName() == kLogName;
        });
    const bool sheetFailed =
        !r.ok() && !r.folderFailed && !r.sheetFile.isEmpty() && !r.sheetWritten;
    if (!r.ok()) {
        paragraphs << headline(r, logFailed, sheetFailed);
    }
    if (r.logLeftBytes > 0) {
        paragraphs << QStringLiteral(
                          "%1 の最後に、この保存の途中までの行（%2 "
                          "バイト）が残っていて、取り消せませんでした。その行は不完全です。")
                          .arg(kLogName)
                          .arg(r.logLeftBytes);
    }
    if (r.logLineEndAdded) {
        paragraphs
            << QStringLiteral(
                   "%1 の最後の行に行末がなかったので、行末を加えてから今回の結果を追加しました。")
                   .arg(kLogName);
    }
    if (!r.sheetTakenName.isEmpty() && r.sheetWritten) {
        paragraphs << QStringLiteral(
                          "このシートは %1 に保存しました。%2 "
                          "はほかのシートのファイルなので、そのまま残しています。")
                          .arg(r.sheetFile, r.sheetTakenName);
    }
    if (!r.ok()) {
        paragraphs << whatIsLeftAndWhy(r);
    }
    if (paragraphs.isEmpty()) {
        return QString();
    }
    // The path once, at the end, where a screen reader reads it last.
    paragraphs << (folderNote.isEmpty()
                       ? QStringLiteral("場所: ") + QDir::toNativeSeparators(r.folder)
                       : folderNote);
    return paragraphs.join(QStringLiteral("\n\n"));
}
