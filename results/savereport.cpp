// SPDX-License-Identifier: MIT
#include "results/savereport.h"

#include <QDir>

QString saveFailureMessage(const SaveReport& report) {
    if (report.ok()) {
        return QString();
    }
    QString text = QStringLiteral("保存できなかったファイルがあります。\n");
    for (const SaveReport::Failure& failure : report.failures) {
        text += QStringLiteral("\n%1\n理由: %2\n")
                    .arg(QDir::toNativeSeparators(failure.path), failure.reason);
    }
    text += QStringLiteral(
        "\n結果はまだ画面に残っています。原因を取り除いてから、もう一度保存してください。");
    return text;
}
