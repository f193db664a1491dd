// SPDX-License-Identifier: MIT
#include "print/printreport.h"

#include <QDir>

namespace {

// The server's own words as detail after ours.
QString withDetail(const QString& ours, const QString& detail) {
    return detail.isEmpty() ? ours : QStringLiteral("%1（詳細:「%2」）").arg(ours, detail);
}

}  // namespace

QString printServerReason(const printqueue::Answer& answer) {
    using printqueue::State;
    switch (answer.state) {
        case State::Ok:
        case State::Abandoned:
            break;
        case State::NoPrinter:
            return QStringLiteral("プリンターが設定されていません");
        case State::NoSuchQueue:
            return QStringLiteral("プリンター「%1」が見つかりません").arg(answer.queue);
        case State::NotAccepting:
            return withDetail(
                QStringLiteral("プリンター「%1」が印刷を受け付けていません").arg(answer.queue),
                answer.detail);
        case State::Unreachable:
            return withDetail(QStringLiteral("印刷サーバーに接続できません"), answer.detail);
        case State::NoAnswer:
            return QStringLiteral("印刷サーバーから%1秒待っても応答がありませんでした")
                .arg(printqueue::kServerBoundMs / 1000);
        case State::Refused:
            return withDetail(QStringLiteral("印刷サーバーがこの印刷を受け付けませんでした"),
                              answer.detail);
    }
    return QString();
}

QString savedToPdfMessage(const QString& why, const QString& pdfPath) {
    return QStringLiteral(
               "印刷できなかったため、PDFファイルに保存しました。\n理由: %1。\n\n保存先: %2")
        .arg(why, QDir::toNativeSeparators(pdfPath));
}

QString notPrintedMessage(const QString& why, const QString& pdfPath, const QString& saveWhy) {
    return QStringLiteral(
               "印刷できませんでした。PDFファイルにも保存できませんでした。\n\n"
               "印刷できなかった理由: %1。\n保存できなかった理由: "
               "%2。\n\n保存しようとしたファイル: %3")
        .arg(why, saveWhy, QDir::toNativeSeparators(pdfPath));
}
