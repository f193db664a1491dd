// SPDX-License-Identifier: MIT
#include "support/pdfprobe.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace pdfprobe {

namespace {

QByteArray run(const QString& program, const QStringList& args, bool* ok) {
    QProcess process;
    process.start(program, args);
    *ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
          process.exitCode() == 0;
    return process.readAllStandardOutput();
}

}  // namespace

QList<Word> words(const QString& pdfPath) {
    bool ok = false;
    const QByteArray xhtml = run(QStringLiteral("pdftotext"),
                                 {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")}, &ok);
    QList<Word> out;
    if (!ok) {
        return out;
    }
    QXmlStreamReader xml(xhtml);
    int page = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == QLatin1String("page")) {
            ++page;
        } else if (xml.name() == QLatin1String("word")) {
            const auto a = xml.attributes();
            Word w;
            w.page = page;
            w.xMin = a.value(QLatin1String("xMin")).toDouble();
            w.yMin = a.value(QLatin1String("yMin")).toDouble();
            w.xMax = a.value(QLatin1String("xMax")).toDouble();
            w.yMax = a.value(QLatin1String("yMax")).toDouble();
            w.text = xml.readElementText();
            out << w;
        }
    }
    return out;
}

int pageCount(const QString& pdfPath) {
    bool ok = false;
    const QString info = QString::fromUtf8(run(QStringLiteral("pdfinfo"), {pdfPath}, &ok));
    if (!ok) {
        return -1;
    }
    const auto m =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QImage rasterise(const QString& pdfPath, int dpi) {
    QTemporaryDir dir;
    if (!dir.isValid()) {
        return {};
    }
    const QString prefix = dir.filePath(QStringLiteral("page"));
    bool ok = false;
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QStringLiteral("1"),
         QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"),
         QStringLiteral("-png"), pdfPath, prefix},
        &ok);
    return ok ? QImage(prefix + QStringLiteral(".png")) : QImage();
}

QRect inkBounds(const QImage& page) {
    QRect bounds;
    const QImage img = page.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (qRed(line[x]) < 245 || qGreen(line[x]) < 245 || qBlue(line[x]) < 245) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

std::function<std::unique_ptr<QPrinter>()> pdfPrinters(const QString& folder, QStringList& printed,
                                                       std::function<QPageLayout()> layout) {
    return [folder, &printed, layout = std::move(layout)] {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printed << QDir(folder).filePath(QStringLiteral("out%1.pdf").arg(printed.size()));
        printer->setOutputFileName(printed.last());
        printer->setPageLayout(layout());
        return printer;
    };
}

}  // namespace pdfprobe
