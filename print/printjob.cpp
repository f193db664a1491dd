// SPDX-License-Identifier: MIT
#include "print/printjob.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <memory>

#include "model/timeformat.h"
#include "platform/platform.h"

namespace {

enum class PageResult { NotOpened, Done, NotFinished };

PageResult printOn(QPrinter& printer, PrintPage& page) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        return PageResult::NotOpened;
    }
    page.draw(painter, printer);
    return painter.end() ? PageResult::Done : PageResult::NotFinished;
}

const QString& failedText() {
    static const QString text = QStringLiteral("印刷できませんでした。");
    return text;
}

}  // namespace

QString fallbackPdfPath(const PrintTarget& target) {
    const QString base =
        target.folder + QStringLiteral("Tavo_") + compactStamp(target.platform.now());
    QString path = base + QStringLiteral(".pdf");
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = base + QLatin1Char('_') + QString::number(n) + QStringLiteral(".pdf");
    }
    return path;
}

PrintOutcome printPage(const PrintTarget& target, PrintPage& page) {
    Platform& platform = target.platform;
    QString problem;
    if (std::unique_ptr<QPrinter> printer = platform.defaultPrinter()) {
        if (!page.layOut(*printer, problem)) {
            platform.showMessage(target.window, problem);
            return PrintOutcome::NotLaidOut;
        }
        switch (printOn(*printer, page)) {
            case PageResult::Done:
                return PrintOutcome::Printed;
            case PageResult::NotFinished:
                // Part of the page may have reached the printer: a second copy in a file would
                // only confuse.
                platform.showMessage(target.window, failedText());
                return PrintOutcome::Failed;
            case PageResult::NotOpened:
                break;
        }
    }

    const QString path = fallbackPdfPath(target);
    QPrinter file(QPrinter::HighResolution);
    file.setOutputFormat(QPrinter::PdfFormat);
    file.setOutputFileName(path);
    file.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
    if (!page.layOut(file, problem)) {
        platform.showMessage(target.window, problem);
        return PrintOutcome::NotLaidOut;
    }
    if (printOn(file, page) != PageResult::Done) {
        platform.showMessage(target.window, failedText());
        return PrintOutcome::Failed;
    }
    platform.showMessage(target.window,
                         QStringLiteral("プリンターが使えないため、PDFファイルに保存しまし"
                                        "た:\n") +
                             QDir::toNativeSeparators(path));
    return PrintOutcome::SavedToFile;
}
