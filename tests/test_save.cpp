// SPDX-License-Identifier: MIT
// Saving: the result lines, and the log and sheet files as the save writes them from the model
// into a real folder, each on its own when the other cannot be written. How each file survives
// every fault (read-only, immutable, a full disk...) is test_textfile's.
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "app/mainwindow.h"
#include "model/tavomodel.h"
#include "results/save.h"
#include "results/sort.h"
#include "support/fakeplatform.h"
#include "support/filefaults.h"

namespace {

const QString kLog = u"TavoLog.csv"_qs;
const QString kSheetFile = u"240309_1405.csv"_qs;
const QString kSheetStamp = u"2024/03/09,14:05"_qs;

struct Block {
    int b;
    QString stamp;
    QStringList numbers;
};

// What a draw leaves for saving; the draw itself is not needed here.
void drawSheet(TavoModel& w, const QList<Block>& blocks, const QString& fileName = kSheetFile,
               const QString& sheetStamp = kSheetStamp) {
    for (const Block& block : blocks) {
        w.sheet().LabelFN.at(static_cast<std::size_t>(block.b)) = block.stamp;
        for (int p = 0; p < Sheet::kPositions; ++p) {
            w.sheet().LabelData.at(static_cast<std::size_t>(Sheet::cell(block.b, p))) =
                block.numbers.value(p);
        }
    }
    w.sheet().LabelFileName0 = fileName;
    w.setSheetStamp(sheetStamp);
}

const Block kB{
    1, u"2024/03/09,14:05:07"_qs, {u"31"_qs, u"5"_qs, u"17"_qs, u"2"_qs, u"43"_qs, u"9"_qs}};
const Block kD{
    3, u"2024/03/09,14:06:41"_qs, {u"1"_qs, u"40"_qs, u"22"_qs, u"13"_qs, u"8"_qs, u"35"_qs}};
const QByteArray kBLine = "2024/03/09,14:05:07,B,31,5,17,2,43,9\r\n";
const QByteArray kDLine = "2024/03/09,14:06:41,D,1,40,22,13,8,35\r\n";
const QByteArray kStampLine = "2024/03/09,14:05\r\n";

QList<Block> allFive() {
    QList<Block> blocks;
    for (int b = 0; b < Sheet::kBlocks; ++b) {
        blocks << Block{b,
                        u"2024/03/09,14:1%1:00"_qs.arg(b),
                        {u"3"_qs, u"14"_qs, u"15"_qs, u"9"_qs, u"26"_qs, u"5"_qs}};
    }
    return blocks;
}

QByteArray allFiveLines() {
    QByteArray out;
    const char letters[] = "ABCDE";
    for (int b = 0; b < Sheet::kBlocks; ++b) {
        out +=
            "2024/03/09,14:1" + QByteArray::number(b) + ":00," + letters[b] + ",3,14,15,9,26,5\r\n";
    }
    return out;
}

ino_t inode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// A model, or a window's, whose program folder is a fresh temporary folder.
struct Fixture {
    QTemporaryDir dir;
    FakePlatform platform;
    TavoModel own;
    std::unique_ptr<MainWindow> window;
    TavoModel* m = &own;
    explicit Fixture(bool withWindow = false) {
        platform.folder = dir.path();
        own.AppFolder = dir.path() + QLatin1Char('/');
        if (withWindow) {
            window = std::make_unique<MainWindow>(platform);
            m = &window->model();
        }
    }
    QString path(const QString& name) const { return dir.filePath(name); }
};

enum class Fault {
    LogIsFolder,
    SheetIsFolder,
    MissingFolder,
};

}  // namespace

Q_DECLARE_METATYPE(Fault)

class TestSave : public QObject {
    Q_OBJECT
private slots:
    // A save that works says nothing.
    void init() { QTest::failOnWarning(QRegularExpression(u".*"_qs)); }

    void resultLine_data() {
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QString>("letter");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("line");
        QTest::newRow("sorted block")
            << u"2024/03/09,14:05:07"_qs << u"B"_qs
            << QStringList{u"2"_qs, u"5"_qs, u"9"_qs, u"17"_qs, u"31"_qs, u"43"_qs}
            << u"2024/03/09,14:05:07,B,2,5,9,17,31,43"_qs;
        QTest::newRow("empty cells give empty fields")
            << u"2024/12/31,23:59:59"_qs << u"E"_qs
            << QStringList{QString(), u"7"_qs, QString(), QString(), u"43"_qs, QString()}
            << u"2024/12/31,23:59:59,E,,7,,,43,"_qs;
        QTest::newRow("copied verbatim, nothing added")
            << u" odd stamp "_qs << u"A"_qs
            << QStringList{u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs, u"5"_qs, u"6"_qs}
            << u" odd stamp ,A,1,2,3,4,5,6"_qs;
    }
    void resultLine() {
        QFETCH(QString, stamp);
        QFETCH(QString, letter);
        QFETCH(QStringList, cells);
        QFETCH(QString, line);
        std::array<QString, 6> row;
        std::copy(cells.begin(), cells.end(), row.begin());
        QCOMPARE(::resultLine(stamp, letter, row), line);
    }

    void blocksBAndDOnly() {
        Fixture f(true);  // through the window's button
        drawSheet(*f.m, {kB, kD});
        f.m->ResultLines.fill(u"left from an earlier save"_qs);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QTest::mouseClick(f.window->CommandSave(), Qt::LeftButton);

        QCOMPARE(readAll(f.path(kLog)), kBLine + kDLine);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + kBLine + kDLine);
        QCOMPARE(entries(f.dir.path()), (QStringList{kSheetFile, kLog}));
        const auto& lines = f.m->ResultLines;
        QCOMPARE(lines[1] + u"\r\n"_qs, QString::fromLatin1(kBLine));
        QCOMPARE(lines[3] + u"\r\n"_qs, QString::fromLatin1(kDLine));
        QVERIFY(lines[0].isEmpty() && lines[2].isEmpty() && lines[4].isEmpty());
    }

    void savingTwice() {
        Fixture f;
        drawSheet(*f.m, {kB, kD});
        SaveSheet(*f.m);
        const QByteArray sheetAfterFirst = readAll(f.path(kSheetFile));
        SaveSheet(*f.m);
        QCOMPARE(readAll(f.path(kLog)), kBLine + kDLine + kBLine + kDLine);
        QCOMPARE(readAll(f.path(kSheetFile)), sheetAfterFirst);
        QCOMPARE(sheetAfterFirst, kStampLine + kBLine + kDLine);
    }

    void drawOrderThenSorted() {
        Fixture f;
        drawSheet(*f.m, {kB});
        SaveSheet(*f.m);
        sortSheet(*f.m);
        SaveSheet(*f.m);
        const QByteArray sorted = "2024/03/09,14:05:07,B,2,5,9,17,31,43\r\n";
        QCOMPARE(readAll(f.path(kLog)), kBLine + sorted);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + sorted);
    }

    void afterClearingTheSheet() {
        Fixture f;
        drawSheet(*f.m, {kB, kD});
        SaveSheet(*f.m);
        const ino_t written = inode(f.path(kSheetFile));
        f.m->ClearSheet();
        SaveSheet(*f.m);
        QCOMPARE(readAll(f.path(kLog)), kBLine + kDLine);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + kBLine + kDLine);
        // A rewrite would have put a new file in its place, even with the same bytes.
        QCOMPARE(inode(f.path(kSheetFile)), written);
        QCOMPARE(entries(f.dir.path()), (QStringList{kSheetFile, kLog}));
        for (const QString& line : f.m->ResultLines) {
            QVERIFY(line.isEmpty());
        }
    }

    void nothingDrawnCreatesAnEmptyLog() {
        Fixture f;
        SaveSheet(*f.m);
        QCOMPARE(entries(f.dir.path()), QStringList{kLog});
        QCOMPARE(QFileInfo(f.path(kLog)).size(), 0);
    }

    void sameMinuteSharesTheFile() {
        Fixture f;
        drawSheet(*f.m, allFive());
        SaveSheet(*f.m);
        f.m->ClearSheet();
        drawSheet(*f.m, {kD});
        SaveSheet(*f.m);
        QCOMPARE(readAll(f.path(kLog)), allFiveLines() + kDLine);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + kDLine);
    }

    void nextSheetGetsItsOwnFile() {
        Fixture f;
        drawSheet(*f.m, {kB});
        SaveSheet(*f.m);
        f.m->ClearSheet();
        drawSheet(*f.m, {kD}, u"240309_1406.csv"_qs, u"2024/03/09,14:06"_qs);
        SaveSheet(*f.m);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + kBLine);
        QCOMPARE(readAll(f.path(u"240309_1406.csv"_qs)), "2024/03/09,14:06\r\n" + kDLine);
    }

    // Each file fails on its own: the other is still written, the one that fails keeps its
    // previous bytes, and the failure is told on standard error.
    void faults_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<bool>("logWritten");
        QTest::addColumn<bool>("sheetWritten");
        QTest::newRow("log path is a folder") << Fault::LogIsFolder << false << true;
        QTest::newRow("sheet path is a folder") << Fault::SheetIsFolder << true << false;
        QTest::newRow("program folder missing") << Fault::MissingFolder << false << false;
    }
    void faults() {
        QFETCH(Fault, fault);
        QFETCH(bool, logWritten);
        QFETCH(bool, sheetWritten);
        Fixture f;
        TavoModel& w = *f.m;
        const QString logPath = f.path(kLog);
        const QString sheetPath = f.path(kSheetFile);

        // The previous save: block B alone.
        drawSheet(w, {kB});
        SaveSheet(w);
        const QByteArray logBefore = readAll(logPath);
        const QByteArray sheetBefore = readAll(sheetPath);
        QCOMPARE(sheetBefore, kStampLine + kBLine);

        // This save: all five blocks.
        drawSheet(w, allFive());
        const QByteArray newLines = allFiveLines();
        const QByteArray newSheet = kStampLine + newLines;

        switch (fault) {
            case Fault::LogIsFolder:
                QVERIFY(QFile::remove(logPath));
                QVERIFY(QDir(f.dir.path()).mkdir(kLog));
                break;
            case Fault::SheetIsFolder:
                QVERIFY(QFile::remove(sheetPath));
                QVERIFY(QDir(f.dir.path()).mkdir(kSheetFile));
                break;
            case Fault::MissingFolder:
                w.AppFolder = f.path(u"missing/"_qs);
                break;
        }
        const QStringList entriesBefore = entries(f.dir.path());
        if (!logWritten) {
            expectReport(w.AppFolder + kLog);
        }
        if (!sheetWritten) {
            expectReport(w.AppFolder + kSheetFile);
        }

        SaveSheet(w);

        QStringList entriesAfter = entriesBefore;
        if (logWritten && !entriesAfter.contains(kLog)) {
            entriesAfter << kLog;
            entriesAfter.sort();
        }
        QCOMPARE(entries(f.dir.path()), entriesAfter);
        if (fault == Fault::LogIsFolder) {
            QVERIFY(QFileInfo(logPath).isDir());
        } else {
            QCOMPARE(readAll(logPath), logWritten ? logBefore + newLines : logBefore);
        }
        if (fault == Fault::SheetIsFolder) {
            QVERIFY(QFileInfo(sheetPath).isDir());
        } else {
            QCOMPARE(readAll(sheetPath), sheetWritten ? newSheet : sheetBefore);
        }
        QVERIFY(!QFileInfo::exists(f.path(u"missing"_qs)));
    }
};

QTEST_MAIN(TestSave)
#include "test_save.moc"
