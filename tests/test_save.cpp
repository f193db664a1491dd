// SPDX-License-Identifier: MIT
// Saving: the result lines, and the log and sheet files as the real window writes them into a
// real folder, also when the folder or the disk refuses.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <condition_variable>
#include <mutex>
#include <thread>

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
void drawSheet(MainWindow& w, const QList<Block>& blocks, const QString& fileName = kSheetFile,
               const QString& sheetStamp = kSheetStamp) {
    for (const Block& block : blocks) {
        w.model().sheet().LabelFN.at(static_cast<std::size_t>(block.b)) = block.stamp;
        for (int p = 0; p < Sheet::kPositions; ++p) {
            w.model().sheet().LabelData.at(static_cast<std::size_t>(Sheet::cell(block.b, p))) =
                block.numbers.value(p);
        }
    }
    w.model().sheet().LabelFileName0 = fileName;
    w.model().setSheetStamp(sheetStamp);
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

// A window whose program folder is a fresh temporary folder.
struct Fixture {
    QTemporaryDir dir;
    FakePlatform platform;
    std::unique_ptr<MainWindow> window;
    Fixture() {
        platform.folder = dir.path();
        window = std::make_unique<MainWindow>(platform);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
};

enum class Fault {
    LogIsFolder,
    SheetIsFolder,
    MissingFolder,
    LogReadOnly,
    SheetReadOnly,
    FolderReadOnly,
    LogImmutable,
    SheetImmutable,
    LogFillsDisk,
    SheetFillsDisk,
    LogIsFifo,
    SheetIsFifo,
};

// Runs a save with a watchdog: a save that has not returned after 5 s is stuck in the kernel
// on the FIFO, and the watchdog opens the FIFO for reading to set it free. True when it hung.
bool saveHangsOn(MainWindow& w, const QString& fifo) {
    std::mutex mutex;
    std::condition_variable done;
    bool returned = false;
    bool hung = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!done.wait_for(lock, std::chrono::seconds(5), [&] { return returned; })) {
            hung = true;
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
            done.wait_for(lock, std::chrono::seconds(5), [&] { return returned; });
            ::close(fd);
        }
    });
    SaveSheet(w.model(), w.platform());
    {
        std::lock_guard<std::mutex> lock(mutex);
        returned = true;
    }
    done.notify_all();
    watchdog.join();
    return hung;
}

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
        Fixture f;
        drawSheet(*f.window, {kB, kD});
        f.window->model().ResultLines.fill(u"left from an earlier save"_qs);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QTest::mouseClick(f.window->CommandSave(), Qt::LeftButton);

        QCOMPARE(readAll(f.path(kLog)), kBLine + kDLine);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + kBLine + kDLine);
        QCOMPARE(entries(f.dir.path()), (QStringList{kSheetFile, kLog}));
        const auto& lines = f.window->model().ResultLines;
        QCOMPARE(lines[1] + u"\r\n"_qs, QString::fromLatin1(kBLine));
        QCOMPARE(lines[3] + u"\r\n"_qs, QString::fromLatin1(kDLine));
        QVERIFY(lines[0].isEmpty() && lines[2].isEmpty() && lines[4].isEmpty());
        QVERIFY(f.platform.messages.isEmpty());
    }

    void savingTwice() {
        Fixture f;
        drawSheet(*f.window, {kB, kD});
        SaveSheet(f.window->model(), f.window->platform());
        const QByteArray sheetAfterFirst = readAll(f.path(kSheetFile));
        SaveSheet(f.window->model(), f.window->platform());
        QCOMPARE(readAll(f.path(kLog)), kBLine + kDLine + kBLine + kDLine);
        QCOMPARE(readAll(f.path(kSheetFile)), sheetAfterFirst);
        QCOMPARE(sheetAfterFirst, kStampLine + kBLine + kDLine);
        QVERIFY(f.platform.messages.isEmpty());
    }

    void drawOrderThenSorted() {
        Fixture f;
        drawSheet(*f.window, {kB});
        SaveSheet(f.window->model(), f.window->platform());
        sortSheet(f.window->model());
        SaveSheet(f.window->model(), f.window->platform());
        const QByteArray sorted = "2024/03/09,14:05:07,B,2,5,9,17,31,43\r\n";
        QCOMPARE(readAll(f.path(kLog)), kBLine + sorted);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + sorted);
    }

    void afterClearingTheSheet() {
        Fixture f;
        drawSheet(*f.window, {kB, kD});
        SaveSheet(f.window->model(), f.window->platform());
        const ino_t written = inode(f.path(kSheetFile));
        f.window->ClearSheet();
        SaveSheet(f.window->model(), f.window->platform());
        QCOMPARE(readAll(f.path(kLog)), kBLine + kDLine);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + kBLine + kDLine);
        // A rewrite would have put a new file in its place, even with the same bytes.
        QCOMPARE(inode(f.path(kSheetFile)), written);
        QCOMPARE(entries(f.dir.path()), (QStringList{kSheetFile, kLog}));
        for (const QString& line : f.window->model().ResultLines) {
            QVERIFY(line.isEmpty());
        }
    }

    void nothingDrawnCreatesAnEmptyLog() {
        Fixture f;
        SaveSheet(f.window->model(), f.window->platform());
        QCOMPARE(entries(f.dir.path()), QStringList{kLog});
        QCOMPARE(QFileInfo(f.path(kLog)).size(), 0);
        QVERIFY(f.platform.messages.isEmpty());
    }

    void sameMinuteSharesTheFile() {
        Fixture f;
        drawSheet(*f.window, allFive());
        SaveSheet(f.window->model(), f.window->platform());
        f.window->ClearSheet();
        drawSheet(*f.window, {kD});
        SaveSheet(f.window->model(), f.window->platform());
        QCOMPARE(readAll(f.path(kLog)), allFiveLines() + kDLine);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + kDLine);
    }

    void nextSheetGetsItsOwnFile() {
        Fixture f;
        drawSheet(*f.window, {kB});
        SaveSheet(f.window->model(), f.window->platform());
        f.window->ClearSheet();
        drawSheet(*f.window, {kD}, u"240309_1406.csv"_qs, u"2024/03/09,14:06"_qs);
        SaveSheet(f.window->model(), f.window->platform());
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + kBLine);
        QCOMPARE(readAll(f.path(u"240309_1406.csv"_qs)), "2024/03/09,14:06\r\n" + kDLine);
    }

    void refusedWhileADrawRuns() {
        Fixture f;
        drawSheet(*f.window, {kB});
        f.window->model().ActiveBlock = 2;
        f.window->CommandSave_Click();
        f.window->model().ActiveBlock = 0;
        QCOMPARE(entries(f.dir.path()), QStringList());
    }

    // Each file fails on its own: the other is still written, a sheet file that cannot be
    // replaced keeps its previous bytes, a log that cannot take the save keeps none of it, and
    // the failure is told on standard error.
    void faults_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<bool>("logWritten");
        QTest::addColumn<bool>("sheetWritten");
        QTest::newRow("log path is a folder") << Fault::LogIsFolder << false << true;
        QTest::newRow("sheet path is a folder") << Fault::SheetIsFolder << true << false;
        QTest::newRow("program folder missing") << Fault::MissingFolder << false << false;
        QTest::newRow("log read-only") << Fault::LogReadOnly << false << true;
        QTest::newRow("sheet file read-only") << Fault::SheetReadOnly << true << false;
        QTest::newRow("folder read-only") << Fault::FolderReadOnly << false << false;
        QTest::newRow("log immutable") << Fault::LogImmutable << false << true;
        QTest::newRow("sheet file immutable") << Fault::SheetImmutable << true << false;
        QTest::newRow("disk fills in the log") << Fault::LogFillsDisk << false << true;
        QTest::newRow("disk fills in the sheet file") << Fault::SheetFillsDisk << true << false;
        QTest::newRow("log is a FIFO") << Fault::LogIsFifo << false << true;
        QTest::newRow("sheet file is a FIFO") << Fault::SheetIsFifo << true << false;
    }
    void faults() {
        QFETCH(Fault, fault);
        QFETCH(bool, logWritten);
        QFETCH(bool, sheetWritten);
        Fixture f;
        MainWindow& w = *f.window;
        const QString logPath = f.path(kLog);
        const QString sheetPath = f.path(kSheetFile);

        // The previous save: block B alone.
        drawSheet(w, {kB});
        SaveSheet(w.model(), w.platform());
        if (fault == Fault::LogFillsDisk) {
            // A log longer than the coming sheet file, so only the log reaches the limit.
            for (int i = 0; i < 9; ++i) {
                SaveSheet(w.model(), w.platform());
            }
        }
        if (fault == Fault::SheetFillsDisk) {
            QVERIFY(QFile::remove(logPath));
        }
        const QByteArray logBefore = readAll(logPath);
        const QByteArray sheetBefore = readAll(sheetPath);
        QCOMPARE(sheetBefore, kStampLine + kBLine);

        // This save: all five blocks.
        drawSheet(w, allFive());
        const QByteArray newLines = allFiveLines();
        const QByteArray newSheet = kStampLine + newLines;

        std::unique_ptr<ReadOnlyBind> bind;
        std::unique_ptr<Immutable> immutable;
        std::unique_ptr<FileSizeLimit> limit;
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
                w.model().AppFolder = f.path(u"missing/"_qs);
                break;
            case Fault::LogReadOnly:
                bind = std::make_unique<ReadOnlyBind>(logPath);
                break;
            case Fault::SheetReadOnly:
                bind = std::make_unique<ReadOnlyBind>(sheetPath);
                break;
            case Fault::FolderReadOnly:
                bind = std::make_unique<ReadOnlyBind>(f.dir.path());
                break;
            case Fault::LogImmutable:
                immutable = std::make_unique<Immutable>(logPath);
                break;
            case Fault::SheetImmutable:
                immutable = std::make_unique<Immutable>(sheetPath);
                break;
            case Fault::LogFillsDisk:
                QVERIFY(logBefore.size() > newSheet.size());
                limit = std::make_unique<FileSizeLimit>(logBefore.size() + newLines.size() / 2);
                break;
            case Fault::SheetFillsDisk:
                QVERIFY(newLines.size() < newSheet.size() - 10);
                limit = std::make_unique<FileSizeLimit>(newSheet.size() - 10);
                break;
            case Fault::LogIsFifo:
            case Fault::SheetIsFifo: {
                const QString& fifo = fault == Fault::LogIsFifo ? logPath : sheetPath;
                QVERIFY(QFile::remove(fifo));
                QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
                break;
            }
        }
        if (bind && !bind->ok()) {
            QSKIP(qPrintable(u"cannot make a read-only bind mount here ("_qs + bind->error() +
                             u")"_qs));
        }
        if (immutable && !immutable->ok()) {
            QSKIP(qPrintable(u"cannot set the immutable attribute here ("_qs + immutable->error() +
                             u")"_qs));
        }
        if (limit && !limit->ok()) {
            QSKIP(qPrintable(u"cannot limit the file size here ("_qs + limit->error() + u")"_qs));
        }
        const QStringList entriesBefore = entries(f.dir.path());
        if (!logWritten) {
            expectReport(w.model().AppFolder + kLog);
        }
        if (!sheetWritten) {
            expectReport(w.model().AppFolder + kSheetFile);
        }

        f.platform.messages.clear();
        if (fault == Fault::LogIsFifo || fault == Fault::SheetIsFifo) {
            QVERIFY(!saveHangsOn(w, fault == Fault::LogIsFifo ? logPath : sheetPath));
        } else {
            SaveSheet(w.model(), w.platform());
        }
        bind.reset();
        immutable.reset();
        limit.reset();

        // One note, naming each file that failed and only those, with the sheet still there to
        // be saved again.
        QCOMPARE(f.platform.messages.size(), 1);
        const QString& message = f.platform.messages[0];
        QCOMPARE(message.contains(w.model().AppFolder + kLog), !logWritten);
        QCOMPARE(message.contains(w.model().AppFolder + kSheetFile), !sheetWritten);
        QVERIFY2(message.contains(u"理由: "_qs), qPrintable(message));
        QVERIFY(message.contains(u"結果はまだ画面に残っています"_qs));
        QCOMPARE(f.window->model().sheet().LabelFN.at(4), u"2024/03/09,14:14:00"_qs);

        QStringList entriesAfter = entriesBefore;
        if (logWritten && !entriesAfter.contains(kLog)) {
            entriesAfter << kLog;
            entriesAfter.sort();
        }
        QCOMPARE(entries(f.dir.path()), entriesAfter);
        if (fault == Fault::LogIsFolder) {
            QVERIFY(QFileInfo(logPath).isDir());
        } else if (fault == Fault::LogIsFifo) {
            QVERIFY(QFileInfo(logPath).isFile() == false && QFileInfo::exists(logPath));
        } else {
            QCOMPARE(readAll(logPath), logWritten ? logBefore + newLines : logBefore);
        }
        if (fault == Fault::SheetIsFolder) {
            QVERIFY(QFileInfo(sheetPath).isDir());
        } else if (fault == Fault::SheetIsFifo) {
            QVERIFY(QFileInfo(sheetPath).isFile() == false && QFileInfo::exists(sheetPath));
        } else {
            QCOMPARE(readAll(sheetPath), sheetWritten ? newSheet : sheetBefore);
        }
        QVERIFY(!QFileInfo::exists(f.path(u"missing"_qs)));
    }

    // A FIFO in the log's place: the click returns with its note and the clock goes on.
    void fifoLogLeavesTheWindowWorking() {
        Fixture f;
        int ticks = 0;
        f.platform.clock = [&ticks] {
            ++ticks;
            return QDateTime(QDate(2024, 3, 9), QTime(14, 5, 7));
        };
        drawSheet(*f.window, {kB});
        QCOMPARE(::mkfifo(QFile::encodeName(f.path(kLog)).constData(), 0644), 0);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        expectReport(f.path(kLog));
        QTest::mouseClick(f.window->CommandSave(), Qt::LeftButton);
        QCOMPARE(f.platform.messages.size(), 1);
        QVERIFY(f.platform.messages[0].contains(f.path(kLog)));
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + kBLine);
        const int before = ticks;
        QTRY_VERIFY_WITH_TIMEOUT(ticks > before, 3000);
    }
};

QTEST_MAIN(TestSave)
#include "test_save.moc"
