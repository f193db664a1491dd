// SPDX-License-Identifier: MIT
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "draw/blockdraw.h"
#include "model/timeformat.h"
#include "print/textpage.h"
#include "results/textfile.h"
#include "support/fakeplatform.h"
#include "support/filefaults.h"
#include "support/pdfprobe.h"

namespace {

// A page whose printable area starts away from the paper's corner, by different amounts across
// and down, so a position taken from the wrong corner or axis shows.
QPageLayout testLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(42, 57, 30, 30),
                       QPageLayout::Point);
}

using Lines = QMap<int, QString>;

// The page read back as text on the character grid: each word is put at the column and row its
// box starts in. Every word must start on a cell's corner and take one column per character.
Lines gridLines(const QString& pdf, const QPageLayout& layout, QStringList* faults) {
    const QPointF corner = layout.paintRect(QPageLayout::Point).topLeft();
    Lines lines;
    for (const pdfprobe::Word& w : pdfprobe::words(pdf)) {
        const double col = (w.xMin - corner.x()) / 6.0;
        const double row = (w.yMin - corner.y()) / 12.0;
        const double cols = (w.xMax - w.xMin) / 6.0;
        const int c = static_cast<int>(std::lround(col));
        const int r = static_cast<int>(std::lround(row));
        if (std::fabs(col - c) > 0.05 || std::fabs(row - r) > 0.05 ||
            std::fabs(cols - w.text.size()) > 0.05 || w.page != 1) {
            *faults << QStringLiteral("%1 at column %2, row %3, %4 columns wide, page %5")
                           .arg(w.text)
                           .arg(col)
                           .arg(row)
                           .arg(cols)
                           .arg(w.page);
        }
        QString& line = lines[r];
        if (line.size() < c + w.text.size()) {
            line = line.leftJustified(c + static_cast<int>(w.text.size()));
        }
        line.replace(c, w.text.size(), w.text);
    }
    return lines;
}

// A4 with 10 mm margins: the page the program prints to a file when there is no printer.
QPageLayout fallbackLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

void setBlock(MainWindow& w, int block, const QString& stamp, const QStringList& numbers) {
    w.sheet().LabelFN.at(static_cast<std::size_t>(block)) = stamp;
    for (int p = 0; p < Sheet::kPositions; ++p) {
        w.sheet().LabelData.at(static_cast<std::size_t>(Sheet::cell(block, p))) = numbers.value(p);
    }
}

QStringList split(const char* numbers) {
    return QString::fromLatin1(numbers).split(QLatin1Char(','));
}

// A sheet as three draws leave it: blocks A, C and E drawn, B and D not.
void setDrawnSheet(MainWindow& w) {
    w.model().setSheetStamp(QStringLiteral("2005/03/12,20:15"));
    setBlock(w, 0, QStringLiteral("2005/03/12,20:15:07"), split("3,12,15,20,33,41"));
    setBlock(w, 2, QStringLiteral("2005/03/12,20:16:59"), split("43,10,27,38,11,22"));
    setBlock(w, 4, QStringLiteral("2005/03/12,23:59:00"), split("9,1,7,5,8,2"));
}

// Everything printing must leave as it found it.
QStringList stateOf(MainWindow& w) {
    const Sheet& s = w.sheet();
    QStringList out;
    out << QStringList(s.LabelData.begin(), s.LabelData.end())
        << QStringList(s.LabelFN.begin(), s.LabelFN.end()) << s.LabelFileName0
        << QStringList(s.LabelS.begin(), s.LabelS.end())
        << QStringList(s.NumberLabelS.begin(), s.NumberLabelS.end())
        << QString::number(s.ImageDummyFace) << w.LabelFileName()->text()
        << w.model().CurrentTime.toString(Qt::ISODateWithMs) << w.model().AppFolder.path
        << QStringList(w.model().ResultLines.begin(), w.model().ResultLines.end());
    const TavoModel& m = w.model();
    out << QString::number(m.ActiveBlock) << QString::number(m.ArmedBlock)
        << QString::number(m.BallIndex) << QString::number(m.SheetStamped)
        << QString::number(m.StopTarget) << QString::number(m.ReelFace)
        << QString::number(m.FirstSpinningReel) << QString::number(m.FlickPhase);
    for (int i = 0; i < 3; ++i) {
        out << QString::number(w.OptionPrn(i)->isChecked());
    }
    for (int k = 0; k < Sheet::kBlocks; ++k) {
        out << w.FrameBlock(k)->title() << w.LabelStat(k)->text()
            << QString::number(static_cast<int>(w.model().switchPicture(k)));
    }
    for (int i = 0; i < Sheet::kCells; ++i) {
        out << QString::number(static_cast<int>(w.model().reelPicture(i)));
    }
    return out;
}

}  // namespace

class TestPrintText : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void cellsOfTheTextPage();
    void printedPage_data();
    void printedPage();
    void onePagePerPress();
    void nothingWithoutAMode();
    void printingLeavesTheStateAlone_data();
    void printingLeavesTheStateAlone();
    void withoutAPrinterThePageGoesToAFile_data();
    void withoutAPrinterThePageGoesToAFile();
    void nowhereToPrintIsReported();
    void fullDiskIsReported();
    void neverThroughALink();
    void aServerThatNeverAnswersHoldsNothing();

private:
    QStringList filesInFolder() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakePlatform> m_platform;
    QStringList m_printed;  // one file per printer handed out
};

void TestPrintText::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_platform = std::make_unique<FakePlatform>();
    m_platform->folder = m_dir->path();
    m_platform->clock = [] { return QDateTime(QDate(2005, 3, 12), QTime(20, 15, 7)); };
    m_printed.clear();
    m_platform->printer = pdfprobe::pdfPrinters(m_dir->path(), m_printed, testLayout);
}

void TestPrintText::cleanup() {
    m_platform.reset();
    m_dir.reset();
}

QStringList TestPrintText::filesInFolder() const {
    return QDir(m_dir->path()).entryList(QDir::Files);
}

void TestPrintText::cellsOfTheTextPage() {
    TextPageTexts t;
    t.sheetStamp = QStringLiteral("2005/03/12,20:15");
    t.title = QStringLiteral("Title");
    t.blockLetters = {QStringLiteral("V"), QStringLiteral("W"), QStringLiteral("X"),
                      QStringLiteral("Y"), QStringLiteral("Z")};
    for (int i = 0; i < Sheet::kCells; ++i) {
        t.cells.at(static_cast<std::size_t>(i)) = QString::number(i + 10);
    }
    t.blockStamps.at(3) = QStringLiteral("stamp D");
    t.cells.at(19) = QString();  // block D, position 2

    const std::vector<TextCell> cells = textPageCells(t);
    QCOMPARE(cells.size(), std::size_t{2 + 5 * 8});
    QCOMPARE(cells.at(0), (TextCell{0, 1, QStringLiteral("2005/03/12,20:15")}));
    QCOMPARE(cells.at(1), (TextCell{21, 1, QStringLiteral("Title")}));
    // Block D: its stamp, then its cells at the fixed columns, with the letter of its frame.
    const std::vector<TextCell> blockD(cells.begin() + 2 + 3 * 8, cells.begin() + 2 + 4 * 8);
    const std::vector<TextCell> expected{
        {0, 9, QStringLiteral("stamp D")}, {21, 9, QStringLiteral("Y: [28")},
        {27, 9, QStringLiteral("] [")},    {32, 9, QStringLiteral("] [30")},
        {37, 9, QStringLiteral("] [31")},  {42, 9, QStringLiteral("] [32")},
        {47, 9, QStringLiteral("] [33")},  {52, 9, QStringLiteral("]")}};
    QCOMPARE(blockD, expected);
    // The blocks come A to E down the page, every other row.
    for (int b = 0; b < Sheet::kBlocks; ++b) {
        const TextCell& first = cells.at(static_cast<std::size_t>(2 + b * 8 + 1));
        QCOMPARE(first.row, 3 + 2 * b);
        QVERIFY(first.text.startsWith(t.blockLetters.at(static_cast<std::size_t>(b))));
    }
}

void TestPrintText::printedPage_data() {
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<Lines>("expected");
    const QString title = QStringLiteral("Tavo V1.1");
    const QString empty = QStringLiteral("[  ] [  ] [  ] [  ] [  ] [  ]");
    const QString pad(21, QLatin1Char(' '));
    // The sheet setDrawnSheet makes: A, C and E drawn, in the order of c and e.
    auto drawn = [&](const char* c, const char* e) {
        return Lines{
            {1, QStringLiteral("2005/03/12,20:15     Tavo V1.1")},
            {3, QStringLiteral("2005/03/12,20:15:07  A: [3 ] [12] [15] [20] [33] [41]")},
            {5, pad + QStringLiteral("B: ") + empty},
            {7, QStringLiteral("2005/03/12,20:16:59  C: ") + QLatin1String(c)},
            {9, pad + QStringLiteral("D: ") + empty},
            {11, QStringLiteral("2005/03/12,23:59:00  E: ") + QLatin1String(e)},
        };
    };
    QTest::newRow("drawn") << QStringLiteral("drawn")
                           << drawn("[43] [10] [27] [38] [11] [22]",
                                    "[9 ] [1 ] [7 ] [5 ] [8 ] [2 ]");
    QTest::newRow("sorted") << QStringLiteral("sorted")
                            << drawn("[10] [11] [22] [27] [38] [43]",
                                     "[1 ] [2 ] [5 ] [7 ] [8 ] [9 ]");
    Lines cleared{{1, pad + title}};
    for (const char letter : {'A', 'B', 'C', 'D', 'E'}) {
        cleared.insert(3 + 2 * (letter - 'A'),
                       pad + QLatin1Char(letter) + QLatin1String(": ") + empty);
    }
    QTest::newRow("cleared") << QStringLiteral("cleared") << cleared;
}

void TestPrintText::printedPage() {
    QFETCH(QString, sheet);
    QFETCH(Lines, expected);
    MainWindow w(*m_platform);
    setDrawnSheet(w);
    if (sheet == QLatin1String("sorted")) {
        w.CommandSort_Click();
        QCOMPARE(w.sheet().LabelData.at(Sheet::cell(2, 0)), QStringLiteral("10"));
    } else if (sheet == QLatin1String("cleared")) {
        w.CommandClr_Click();
    }
    w.CommandPrn()->click();

    QCOMPARE(m_printed.size(), 1);
    QCOMPARE(pdfprobe::pageCount(m_printed[0]), 1);
    QStringList faults;
    const Lines lines = gridLines(m_printed[0], testLayout(), &faults);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1String("; "))));
    QCOMPARE(lines, expected);
    QVERIFY(m_platform->messages.isEmpty());
}

void TestPrintText::onePagePerPress() {
    MainWindow w(*m_platform);
    setDrawnSheet(w);
    for (int press = 1; press <= 3; ++press) {
        w.CommandPrn()->click();
        QCOMPARE(m_printed.size(), press);
        QCOMPARE(pdfprobe::pageCount(m_printed.last()), 1);
    }
    QStringList faults;
    QCOMPARE(gridLines(m_printed[2], testLayout(), &faults),
             gridLines(m_printed[0], testLayout(), &faults));
    QVERIFY(faults.isEmpty());
}

void TestPrintText::nothingWithoutAMode() {
    MainWindow w(*m_platform);
    for (int i = 0; i < 3; ++i) {
        w.OptionPrn(i)->setAutoExclusive(false);
        w.OptionPrn(i)->setChecked(false);
    }
    w.CommandPrn()->click();
    QVERIFY(m_printed.isEmpty());
    QVERIFY(filesInFolder().isEmpty());
    QVERIFY(m_platform->messages.isEmpty());
}

void TestPrintText::printingLeavesTheStateAlone_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("withPrinter");
    for (int mode = 0; mode < 3; ++mode) {
        QTest::addRow("mode %d, printer", mode) << mode << true;
        QTest::addRow("mode %d, to a file", mode) << mode << false;
    }
}

void TestPrintText::printingLeavesTheStateAlone() {
    QFETCH(int, mode);
    QFETCH(bool, withPrinter);
    if (!withPrinter) {
        m_platform->printer = nullptr;
    }
    MainWindow w(*m_platform);
    setDrawnSheet(w);
    w.sheet().LabelFileName0 = QStringLiteral("050312_2015.csv");
    w.model().ResultLines.at(0) = QStringLiteral("result line");
    w.model().SheetStamped = 1;
    w.model().ReelFace = 17;
    w.OptionPrn(mode)->setChecked(true);
    const QStringList before = stateOf(w);
    w.CommandPrn()->click();
    QCOMPARE(stateOf(w), before);
    QCOMPARE(filesInFolder().size(), 1);
}

void TestPrintText::withoutAPrinterThePageGoesToAFile_data() {
    QTest::addColumn<bool>("printerOpens");
    QTest::newRow("no printer configured") << false;
    QTest::newRow("the printer does not open") << true;
}

void TestPrintText::withoutAPrinterThePageGoesToAFile() {
    QFETCH(bool, printerOpens);
    if (printerOpens) {
        // A printer that is there but cannot be opened: its output has nowhere to go.
        m_platform->printer = [this] {
            auto printer = std::make_unique<QPrinter>();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(m_dir->filePath(QStringLiteral("missing/out.pdf")));
            return printer;
        };
    } else {
        m_platform->printer = nullptr;
    }
    MainWindow w(*m_platform);
    setDrawnSheet(w);
    w.CommandPrn()->click();

    const QString name =
        QStringLiteral("Tavo_") + compactStamp(m_platform->clock()) + QStringLiteral(".pdf");
    QCOMPARE(name, QStringLiteral("Tavo_050312_201507.pdf"));
    QCOMPARE(filesInFolder(), QStringList{name});
    const QString path = w.model().AppFolder.path + name;
    QCOMPARE(pdfprobe::pageCount(path), 1);
    QStringList faults;
    const Lines lines = gridLines(path, fallbackLayout(), &faults);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1String("; "))));
    QCOMPARE(lines.value(3),
             QStringLiteral("2005/03/12,20:15:07  A: [3 ] [12] [15] [20] [33] [41]"));
    QCOMPARE(m_platform->messages.size(), 1);
    QVERIFY2(m_platform->messages[0].contains(name), qPrintable(m_platform->messages[0]));

    // A second print in the same second keeps the first file.
    w.CommandPrn()->click();
    const QString second = QStringLiteral("Tavo_050312_201507_2.pdf");
    QCOMPARE(filesInFolder(), (QStringList{name, second}));
    QCOMPARE(m_platform->messages.size(), 2);
    QVERIFY(m_platform->messages[1].contains(second));
}

void TestPrintText::nowhereToPrintIsReported() {
    m_platform->printer = nullptr;
    MainWindow w(*m_platform);
    setDrawnSheet(w);
    w.model().AppFolder.path = m_dir->filePath(QStringLiteral("gone/"));
    w.CommandPrn()->click();
    QVERIFY(filesInFolder().isEmpty());
    QVERIFY(!QFileInfo::exists(w.model().AppFolder.path));
    QCOMPARE(m_platform->messageKinds, QList<NoteKind>{NoteKind::Warning});
    const QString& message = m_platform->messages[0];
    QVERIFY2(
        message.startsWith(QStringLiteral("印刷できませんでした。PDFファイルにも保存できません")),
        qPrintable(message));
    QVERIFY(message.contains(w.model().AppFolder.path + QStringLiteral("Tavo_050312_201507.pdf")));
    QVERIFY(message.contains(fileErrorText(ENOENT)));
}

// A disk that fills while the PDF is written: no part of a page is left or reported as saved.
void TestPrintText::fullDiskIsReported() {
    m_platform->printer = nullptr;
    MainWindow w(*m_platform);
    setDrawnSheet(w);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot print")));
    {
        FileSizeLimit limit(2000, false);  // the program must survive the signal by itself
        if (!limit.ok()) {
            QSKIP(qPrintable(limit.error()));
        }
        w.CommandPrn()->click();
    }
    QVERIFY(filesInFolder().isEmpty());
    QCOMPARE(m_platform->messageKinds, QList<NoteKind>{NoteKind::Warning});
    const QString& message = m_platform->messages[0];
    QVERIFY2(message.startsWith(QStringLiteral("印刷できませんでした。")), qPrintable(message));
    QVERIFY2(message.contains(fileErrorText(EFBIG)), qPrintable(message));
}

// Links with the file's names, dangling or not, are never written through: the page takes the
// next free name.
void TestPrintText::neverThroughALink() {
    m_platform->printer = nullptr;
    const QDir dir(m_dir->path());
    QFile mine(dir.filePath(QStringLiteral("mine")));
    QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("mine") == 4);
    mine.close();
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")),
                        dir.filePath(QStringLiteral("Tavo_050312_201507.pdf"))));
    QVERIFY(QFile::link(mine.fileName(), dir.filePath(QStringLiteral("Tavo_050312_201507_2.pdf"))));
    MainWindow w(*m_platform);
    w.CommandPrn()->click();
    QCOMPARE(readAll(mine.fileName()), QByteArray("mine"));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("gone"))));
    const QString pdf = dir.filePath(QStringLiteral("Tavo_050312_201507_3.pdf"));
    QCOMPARE(pdfprobe::pageCount(pdf), 1);
    QCOMPARE(m_platform->messages.size(), 1);
    QVERIFY2(m_platform->messages[0].endsWith(pdf), qPrintable(m_platform->messages[0]));
}

// A print server that takes the connection and never answers: the window goes on (its clock
// ticks, the commands and switches do nothing) until the bound, then the page goes to a file;
// closing the window during such a print ends it at once, with nothing saved or said.
void TestPrintText::aServerThatNeverAnswersHoldsNothing() {
    const QString socketPath = m_dir->filePath(QStringLiteral("cups.sock"));
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(socketPath).constData(),
                 sizeof address.sun_path - 1);
    QVERIFY(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    QVERIFY(::listen(server, 16) == 0);  // connections complete in the backlog; none is read
    const QByteArray oldServer = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", QFile::encodeName(socketPath));
    m_platform->serverPrinter = [this] { return printqueue::defaultPrinter(*m_platform); };
    int clockReads = 0;  // the window's clock reads the time at each tick
    m_platform->clock = [&clockReads] {
        ++clockReads;
        return QDateTime(QDate(2005, 3, 12), QTime(20, 15, 7));
    };
    for (const bool closeMeanwhile : {false, true}) {
        MainWindow w(*m_platform);
        setDrawnSheet(w);
        const QStringList before = stateOf(w);
        QTimer::singleShot(2500, &w, [&] {
            w.CommandClr()->click();
            w.pressSwitch(0, false);
            if (closeMeanwhile) {
                w.close();
            }
        });
        const int readsBefore = clockReads;
        QElapsedTimer waited;
        waited.start();
        w.CommandPrn()->click();
        QCOMPARE(stateOf(w), before);
        if (closeMeanwhile) {
            // Ended by the close, not by the server's bound.
            QVERIFY(waited.elapsed() < printqueue::kServerBoundMs);
            QCOMPARE(filesInFolder(), QStringList{QStringLiteral("Tavo_050312_201507.pdf")});
            QCOMPARE(m_platform->messages.size(), 1);
        } else {
            QVERIFY(clockReads - readsBefore > 3);
            QCOMPARE(pdfprobe::pageCount(m_dir->filePath(QStringLiteral("Tavo_050312_201507.pdf"))),
                     1);
            QCOMPARE(m_platform->messageKinds, QList<NoteKind>{NoteKind::Information});
            QVERIFY2(m_platform->messages[0].contains(QStringLiteral("印刷サーバーから")) &&
                         m_platform->messages[0].contains(QStringLiteral("応答がありません")),
                     qPrintable(m_platform->messages[0]));
        }
    }
    m_platform->clock = nullptr;
    qputenv("CUPS_SERVER", oldServer);
    ::close(server);
}

QTEST_MAIN(TestPrintText)
#include "test_print_text.moc"
