// SPDX-License-Identifier: MIT
#include "print/printjob.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <memory>

#include "model/timeformat.h"
#include "platform/platform.h"
#include "platform/printqueue.h"
#include "platform/resultsfolder.h"
#include "print/printreport.h"

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

// Draws the page into a PDF file on the given layout. False with the reason when the file is
// not there whole.
bool printToPdf(const QString& path, const QPageLayout& layout, PrintPage& page, QString& problem,
                bool& laidOut) {
    QPrinter file(QPrinter::HighResolution);
    file.setOutputFormat(QPrinter::PdfFormat);
    file.setOutputFileName(path);
    file.setPageLayout(layout);
    laidOut = page.layOut(file, problem);
    if (!laidOut) {
        return false;
    }
    const PageResult result = printOn(file, page);
    if (result == PageResult::NotOpened) {
        // The PDF writer opens its file as the painter begins.
        QFile probe(path);
        problem = probe.open(QIODevice::WriteOnly) ? QStringLiteral("cannot open the file")
                                                   : probe.errorString();
        probe.remove();
        return false;
    }
    return pdfWrittenWhole(path, problem);
}

// The page through the print server: drawn into a PDF file laid out for the queue's paper, as
// Qt's own engine does, then handed over as one job whose acceptance is read back. False with
// the server's reason when the queue is missing, takes no jobs, or refused this one.
bool printThroughServer(QPrinter& printer, PrintPage& page, QString& reason) {
    const QString queue = printer.printerName();
    const printqueue::Check check = printqueue::check(queue);
    if (!check.usable) {
        reason = check.reason;
        return false;
    }
    QTemporaryDir spool;
    if (!spool.isValid()) {
        reason = spool.errorString();
        return false;
    }
    const QString pdf = spool.filePath(QStringLiteral("page.pdf"));
    bool laidOut = true;
    if (!printToPdf(pdf, printer.pageLayout(), page, reason, laidOut)) {
        return false;
    }
    const printqueue::Submission job =
        printqueue::submitPdf(queue, pdf, QStringLiteral("Tavo V1.1"));
    reason = job.reason;
    return job.jobId > 0;
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
    QString why = QStringLiteral("プリンターが設定されていません");
    if (std::unique_ptr<QPrinter> printer = platform.defaultPrinter()) {
        if (!page.layOut(*printer, problem)) {
            platform.notify(NoteKind::Warning, problem);
            return PrintOutcome::NotLaidOut;
        }
        if (printer->outputFormat() == QPrinter::NativeFormat) {
            if (printThroughServer(*printer, page, why)) {
                return PrintOutcome::Printed;
            }
        } else {
            switch (printOn(*printer, page)) {
                case PageResult::Done:
                    return PrintOutcome::Printed;
                case PageResult::NotFinished:
                    // Part of the page may have reached the printer: a second copy in a file
                    // would only confuse.
                    platform.notify(NoteKind::Warning, failedText());
                    return PrintOutcome::Failed;
                case PageResult::NotOpened:
                    why = QStringLiteral("プリンターを開けませんでした");
                    break;
            }
        }
    }

    if (target.folderUse != nullptr) {
        target.folderUse->prepare(target.folder);
    }
    const QString path = fallbackPdfPath(target);
    bool laidOut = true;
    const QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                         QPageLayout::Millimeter);
    if (!printToPdf(path, a4, page, problem, laidOut)) {
        if (!laidOut) {
            platform.notify(NoteKind::Warning, problem);
            return PrintOutcome::NotLaidOut;
        }
        QFile::remove(path);  // a part of a page is no page
        qWarning().noquote()
            << QStringLiteral("Tavo: cannot print (%1) nor save %2: %3").arg(why, path, problem);
        platform.notify(NoteKind::Warning, notPrintedMessage(why, path, problem));
        return PrintOutcome::Failed;
    }
    if (target.folderUse != nullptr) {
        target.folderUse->markNamed();
    }
    // Not printed, but nothing lost: the page is in the file the note names.
    platform.notify(NoteKind::Information, savedToPdfMessage(why, path));
    return PrintOutcome::SavedToFile;
}
