// SPDX-License-Identifier: MIT
#include "print/printjob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QTemporaryDir>
#include <cerrno>
#include <memory>

#include "model/tavomodel.h"
#include "model/timeformat.h"
#include "model/waitms.h"
#include "print/platform.h"
#include "print/printqueue.h"
#include "print/printreport.h"
#include "results/resultsfolder.h"
#include "results/textfile.h"

namespace {

enum class PageResult { NotOpened, Done, NotFinished };

PageResult printOn(QPagedPaintDevice& device, PrintPage& page) {
    QPainter painter;
    if (!painter.begin(&device)) {
        return PageResult::NotOpened;
    }
    page.draw(painter, device);
    return painter.end() ? PageResult::Done : PageResult::NotFinished;
}

// A PDF file of our own making: created new (never an existing file, nor through a link) and
// written straight to its descriptor, so a failed write keeps the system's reason.
class PdfFile : public QIODevice {
public:
    explicit PdfFile(const QByteArray& path) : m_path(path) {}
    ~PdfFile() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    // Creates the file; false, with error(), when it cannot be made.
    bool create() {
        m_fd =
            ::open(m_path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            m_error = errno;
            return false;
        }
        ::fstat(m_fd, &m_made);
        return QIODevice::open(QIODevice::WriteOnly);
    }
    int error() const { return m_error; }
    // Ends the file; false, with error(), when not all of it reached the disk.
    bool finish() {
        QIODevice::close();
        if (::close(m_fd) != 0 && m_error == 0) {
            m_error = errno;
        }
        m_fd = -1;
        return m_error == 0;
    }
    // Removes the file, provided its name still holds the one made here.
    void removeMade() {
        struct stat now {};
        if (::lstat(m_path.constData(), &now) == 0 && now.st_dev == m_made.st_dev &&
            now.st_ino == m_made.st_ino) {
            ::unlink(m_path.constData());
        }
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        qint64 done = 0;
        while (m_error == 0 && done < size) {
            const ssize_t n = ::write(m_fd, data + done, static_cast<size_t>(size - done));
            if (n < 0 && errno != EINTR) {
                m_error = errno;
            } else if (n == 0) {
                m_error = ENOSPC;  // nothing more goes in
            } else if (n > 0) {
                done += n;
            }
        }
        return m_error == 0 ? done : -1;
    }

private:
    QByteArray m_path;
    int m_fd = -1;
    int m_error = 0;
    struct stat m_made {};
};

enum class PdfResult { Written, NotLaidOut, NameTaken, NotCreated, NotWritten };

// Draws the page into a new file at path on the given layout: Qt's own PDF writer, as the print
// engine uses, but one that asks no print server. The reason in problem otherwise.
PdfResult printToPdf(const QByteArray& path, const QPageLayout& layout, PrintPage& page,
                     QString& problem) {
    PdfFile file(path);
    QPdfWriter writer(&file);
    writer.setResolution(1200);
    writer.setPageLayout(layout);
    if (!page.layOut(writer, problem)) {
        return PdfResult::NotLaidOut;
    }
    if (!file.create()) {
        problem = fileErrorText(file.error());
        return file.error() == EEXIST ? PdfResult::NameTaken : PdfResult::NotCreated;
    }
    const PageResult drawn = printOn(writer, page);
    if (!file.finish() || drawn != PageResult::Done) {
        problem = fileErrorText(file.error() != 0 ? file.error() : EIO);
        file.removeMade();  // a part of a page is no page
        return PdfResult::NotWritten;
    }
    return PdfResult::Written;
}

// The page on the default printer. True when that is the end of the print: printed, or not to
// be printed at all (the page refused the printer, part of it went out, the window closed), the
// user told; false, with the reason in why, when the page is to go to a file instead.
bool printOnDefaultPrinter(Platform& platform, PrintPage& page, QString& why) {
    QString problem;
    printqueue::DefaultPrinter found = platform.defaultPrinter();
    if (QPrinter* printer = found.printer.get()) {
        if (!page.layOut(*printer, problem)) {
            platform.notify(NoteKind::Warning, problem);
            return true;
        }
        if (printer->outputFormat() == QPrinter::NativeFormat) {
            // Through the print server: drawn into a PDF file laid out for the queue's paper, as
            // Qt's own engine does, then handed over as one job whose acceptance is read back.
            const QString queue = printer->printerName();
            found.answer = printqueue::check(queue, platform);
            if (found.answer.state == printqueue::State::Ok) {
                QTemporaryDir spool;
                const QString pdf = spool.filePath(QStringLiteral("page.pdf"));
                PdfResult made = PdfResult::NotCreated;
                if (spool.isValid()) {
                    made = printToPdf(QFile::encodeName(pdf), printer->pageLayout(), page, problem);
                } else {
                    problem = QStringLiteral("一時フォルダーを作れませんでした");
                }
                if (made == PdfResult::NotLaidOut) {
                    platform.notify(NoteKind::Warning, problem);
                    return true;
                }
                found.answer =
                    made == PdfResult::Written
                        ? printqueue::submitPdf(queue, pdf, TavoModel::title(), platform)
                        : printqueue::Answer{printqueue::State::Refused, queue, QString()};
                if (found.answer.state == printqueue::State::Ok) {
                    return true;
                }
            }
            // Either the server said no, or the page for it could not be made here.
            if (!problem.isEmpty()) {
                why = QStringLiteral("印刷するページを用意できませんでした（%1）").arg(problem);
            }
        } else {
            switch (printOn(*printer, page)) {
                case PageResult::Done:
                    return true;
                case PageResult::NotFinished:
                    // Part of the page may have reached the printer: a second copy in a file
                    // would only confuse.
                    platform.notify(NoteKind::Warning, QStringLiteral("印刷できませんでした。"));
                    return true;
                case PageResult::NotOpened:
                    why = QStringLiteral("プリンターを開けませんでした");
                    break;
            }
        }
    }
    if (found.answer.state == printqueue::State::Abandoned || platform.waitsCancelled()) {
        return true;
    }
    if (why.isEmpty()) {
        why = printServerReason(found.answer);
    }
    return false;
}

// The page in a new file in the results folder, "Tavo_yymmdd_hhmmss.pdf" or the first of "_2",
// "_3"... whose name nothing holds yet, and the note saying why and where it went.
void saveToPdf(const PrintTarget& target, PrintPage& page, const QString& why) {
    Platform& platform = target.platform;
    const QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                         QPageLayout::Millimeter);
    // Made through the folder's own bytes, so a name that is no valid text is still found; the
    // note shows it as text.
    const QString base = QStringLiteral("Tavo_") + compactStamp(platform.now());
    QString name = base + QStringLiteral(".pdf");
    QString problem;
    PdfResult result = PdfResult::NotCreated;
    const auto print = [&] {
        return printToPdf(nativeFolder(target.folder) + QFile::encodeName(name), a4, page, problem);
    };
    if (prepareResultsFolder(target.folder, problem)) {
        result = print();
    }
    for (int n = 2; result == PdfResult::NameTaken && n < 1000; ++n) {
        name = base + QLatin1Char('_') + QString::number(n) + QStringLiteral(".pdf");
        result = print();
    }
    const QString path = target.folder.path + name;
    if (result == PdfResult::NotLaidOut) {
        platform.notify(NoteKind::Warning, problem);
    } else if (result != PdfResult::Written) {
        qWarning().noquote()
            << QStringLiteral("Tavo: cannot print (%1) nor save %2: %3").arg(why, path, problem);
        platform.notify(NoteKind::Warning, notPrintedMessage(why, path, problem));
    } else {
        target.folder.named = true;
        // Not printed, but nothing lost: the page is in the file the note names.
        platform.notify(NoteKind::Information, savedToPdfMessage(why, path));
    }
}

}  // namespace

QRectF printableRect(const QPagedPaintDevice& device) {
    return device.pageLayout().paintRectPixels(device.logicalDpiX());
}

void printPage(const PrintTarget& target, PrintPage& page) {
    QString why;
    if (!printOnDefaultPrinter(target.platform, page, why)) {
        saveToPdf(target, page, why);
    }
}
