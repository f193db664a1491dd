// SPDX-License-Identifier: MIT
// Saving: the result lines, and the log and sheet files as the real window writes them into a
// real folder, also when the folder or the disk refuses.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "app/mainwindow.h"
#include "app/systemplatform.h"
#include "model/tavomodel.h"
#include "results/save.h"
#include "results/sort.h"
#include "results/textfile.h"
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

// What stands in a file's way; the table puts each in the log's place, the sheet file's, or the
// folder's.
enum class Fault {
    Folder,
    Missing,
    ReadOnly,
    Immutable,
    FillsDisk,
    Fifo,
    Device,
    Link,
    DanglingLink,
};
enum class Where { Log, Sheet, Both };

// Runs a save with a watchdog: a save that has not returned after 5 s is stuck in the kernel
// on the FIFO, and the watchdog opens the FIFO for reading to set it free. True when it hung.
bool saveHangsOn(MainWindow& w, Platform& platform, const QString& fifo) {
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
    SaveSheet(w.model(), platform);
    {
        std::lock_guard<std::mutex> lock(mutex);
        returned = true;
    }
    done.notify_all();
    watchdog.join();
    return hung;
}

// The child this test starts from a copy of itself: a window on the real system's program
// folder, one block drawn, saved twice (made, then replaced). Succeeds when both saves did,
// silently.
constexpr char kSaveHere[] = "TAVO_TEST_SAVE_HERE";
// The program folder as the system gives it, which this run is about; the rest is faked.
struct BesideItself : FakePlatform {
    QByteArray programFolder() override { return SystemPlatform().programFolder(); }
};

int saveBesideItself(int& argc, char** argv, const char* documents) {
    QApplication app(argc, argv);
    BesideItself platform;
    platform.documents = QString::fromLocal8Bit(documents);
    MainWindow w(platform);
    drawSheet(w, {kB});
    const bool made = SaveSheet(w.model(), platform).ok();
    if (!made || !SaveSheet(w.model(), platform).ok() || !platform.messages.isEmpty()) {
        return 1;
    }
    // Without a printer the page goes to a PDF file there too, and one note says so.
    w.CommandPrn_Click();
    return platform.messages.size() == 1 ? 0 : 2;
}

// Fills a folder fast, each file made and closed at once; the names end in six letters or
// digits, as an older version named its copies.
bool fill(const QString& folder, const QByteArray& prefix, int count) {
    for (int i = 0; i < count; ++i) {
        const QByteArray name =
            QFile::encodeName(folder) + '/' + prefix + QByteArray::number(i + 1000000, 36).right(6);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::close(fd) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Where)

class TestSave : public QObject {
    Q_OBJECT
private slots:
    // A save that works says nothing.
    void init() { QTest::failOnWarning(QRegularExpression(u".*"_qs)); }
    void cleanup() { TextFile::setNamedCopiesOnly(false); }

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

    void drawOrderThenSorted() {
        Fixture f;
        drawSheet(*f.window, {kB});
        SaveSheet(f.window->model(), f.platform);
        sortSheet(f.window->model());
        SaveSheet(f.window->model(), f.platform);
        const QByteArray sorted = "2024/03/09,14:05:07,B,2,5,9,17,31,43\r\n";
        QCOMPARE(readAll(f.path(kLog)), kBLine + sorted);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + sorted);
    }

    void afterClearingTheSheet() {
        Fixture f;
        drawSheet(*f.window, {kB, kD});
        SaveSheet(f.window->model(), f.platform);
        const ino_t written = inode(f.path(kSheetFile));
        f.window->ClearSheet();
        SaveSheet(f.window->model(), f.platform);
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
        SaveSheet(f.window->model(), f.platform);
        QCOMPARE(entries(f.dir.path()), QStringList{kLog});
        QCOMPARE(QFileInfo(f.path(kLog)).size(), 0);
        QVERIFY(f.platform.messages.isEmpty());
    }

    // Two sheets of one minute: the second never replaces the first one's file, takes the next
    // name, says so once, at the save that chose it, and keeps replacing that one.
    void sameMinuteSheetsKeepTheirFiles() {
        Fixture f;
        drawSheet(*f.window, allFive());
        SaveSheet(f.window->model(), f.platform);
        f.window->ClearSheet();
        drawSheet(*f.window, {kD});
        QByteArray log = allFiveLines();
        for (int i = 0; i < 20; ++i) {
            SaveSheet(f.window->model(), f.platform);
            log += kDLine;
        }
        QCOMPARE(readAll(f.path(kLog)), log);
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + allFiveLines());
        QCOMPARE(readAll(f.path(u"240309_1405_2.csv"_qs)), kStampLine + kDLine);
        QCOMPARE(entries(f.dir.path()), (QStringList{kSheetFile, u"240309_1405_2.csv"_qs, kLog}));
        QCOMPARE(f.platform.messageKinds, QList<NoteKind>{NoteKind::Information});
        QVERIFY(f.platform.messages[0].contains(u"240309_1405_2.csv"_qs));
        // Its own file gone and the name taken meanwhile (by another copy of Tavo): that stays,
        // and the new name is told.
        // (Made while the old one is there, so it cannot take the old one's inode number.)
        QFile other(f.path(u"other.csv"_qs));
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write(kBLine) == kBLine.size());
        other.close();
        QVERIFY(QFile::remove(f.path(u"240309_1405_2.csv"_qs)));
        QVERIFY(QFile::rename(f.path(u"other.csv"_qs), f.path(u"240309_1405_2.csv"_qs)));
        SaveSheet(f.window->model(), f.platform);
        QCOMPARE(readAll(f.path(u"240309_1405_2.csv"_qs)), kBLine);
        QCOMPARE(readAll(f.path(u"240309_1405_3.csv"_qs)), kStampLine + kDLine);
        QCOMPARE(f.platform.messages.size(), 2);
        QVERIFY(f.platform.messages[1].contains(u"240309_1405_3.csv"_qs));
    }

    // A log whose last line lost its end gets one before this save's lines, and the user is told.
    void logWithoutLineEndStaysWellFormed() {
        Fixture f;
        QFile log(f.path(kLog));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write(kBLine.chopped(2));
        log.close();
        drawSheet(*f.window, {kD});
        SaveSheet(f.window->model(), f.platform);
        QCOMPARE(readAll(f.path(kLog)), kBLine + kDLine);
        QCOMPARE(f.platform.messageKinds, QList<NoteKind>{NoteKind::Information});
    }

    void nextSheetGetsItsOwnFile() {
        Fixture f;
        drawSheet(*f.window, {kB});
        SaveSheet(f.window->model(), f.platform);
        f.window->ClearSheet();
        drawSheet(*f.window, {kD}, u"240309_1406.csv"_qs, u"2024/03/09,14:06"_qs);
        SaveSheet(f.window->model(), f.platform);
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
    // replaced keeps its previous bytes, a log that cannot take the save keeps none of it, a
    // link's target is never written, and the failure is told on standard error and in one
    // warning whose advice fits what the files now hold.
    void faults_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Where>("where");
        const QList<std::pair<Fault, const char*>> kinds{
            {Fault::Folder, "a folder"},     {Fault::ReadOnly, "read-only"},
            {Fault::Immutable, "immutable"}, {Fault::FillsDisk, "fills the disk"},
            {Fault::Fifo, "a FIFO"},         {Fault::Device, "a device"},
            {Fault::Link, "a link"},         {Fault::DanglingLink, "a dangling link"}};
        for (const auto& [fault, name] : kinds) {
            QTest::addRow("log: %s", name) << fault << Where::Log;
            QTest::addRow("sheet file: %s", name) << fault << Where::Sheet;
        }
        QTest::newRow("folder: missing") << Fault::Missing << Where::Both;
        QTest::newRow("folder: read-only") << Fault::ReadOnly << Where::Both;
    }
    void faults() {
        QFETCH(Fault, fault);
        QFETCH(Where, where);
        const bool logWritten = where == Where::Sheet;
        const bool sheetWritten = where == Where::Log;
        Fixture f;
        MainWindow& w = *f.window;
        const QString logPath = f.path(kLog);
        const QString sheetPath = f.path(kSheetFile);
        const QString& target = where == Where::Log ? logPath : sheetPath;
        QTemporaryDir elsewhere;
        const QString linked = elsewhere.filePath(u"someone's.csv"_qs);
        const QByteArray linkedBytes("someone else's\r\n");

        // The previous save: block B alone.
        drawSheet(w, {kB});
        SaveSheet(w.model(), f.platform);
        if (fault == Fault::FillsDisk && where == Where::Log) {
            // A log longer than the coming sheet file, so only the log reaches the limit.
            for (int i = 0; i < 9; ++i) {
                SaveSheet(w.model(), f.platform);
            }
        }
        if (fault == Fault::FillsDisk && where == Where::Sheet) {
            QVERIFY(QFile::remove(logPath));
        }
        const QByteArray logBefore = readAll(logPath);
        const QByteArray sheetBefore = readAll(sheetPath);
        QCOMPARE(sheetBefore, kStampLine + kBLine);

        // This save: all five blocks.
        drawSheet(w, allFive());
        const QByteArray newLines = allFiveLines();
        const QByteArray newSheet = kStampLine + newLines;

        std::unique_ptr<PathFault> pathFault;
        std::unique_ptr<FileSizeLimit> limit;
        const QByteArray native = QFile::encodeName(target);
        const bool replaced = fault == Fault::Folder || fault == Fault::Fifo ||
                              fault == Fault::Device || fault == Fault::Link ||
                              fault == Fault::DanglingLink;
        if (replaced) {
            QVERIFY(QFile::remove(target));
        }
        switch (fault) {
            case Fault::Folder:
                QVERIFY(QDir().mkdir(target));
                break;
            case Fault::Missing:
                w.model().AppFolder.path = f.path(u"missing/"_qs);
                break;
            case Fault::ReadOnly:
                pathFault = std::make_unique<PathFault>(
                    PathFault::ReadOnlyBind, where == Where::Both ? f.dir.path() : target);
                break;
            case Fault::Immutable:
                pathFault = std::make_unique<PathFault>(PathFault::Immutable, target);
                break;
            case Fault::FillsDisk:
                // No signal ignored here: the program must survive the limit by itself.
                if (where == Where::Log) {
                    QVERIFY(logBefore.size() > newSheet.size());
                    limit = std::make_unique<FileSizeLimit>(logBefore.size() + newLines.size() / 2,
                                                            false);
                } else {
                    QVERIFY(newLines.size() < newSheet.size() - 10);
                    limit = std::make_unique<FileSizeLimit>(newSheet.size() - 10, false);
                }
                break;
            case Fault::Fifo:
                QCOMPARE(::mkfifo(native.constData(), 0644), 0);
                break;
            case Fault::Device:
                // Another null device: written to, it would take the lines and lose them.
                if (::mknod(native.constData(), S_IFCHR | 0644, makedev(1, 3)) != 0) {
                    QSKIP("cannot make a device node here");
                }
                break;
            case Fault::Link: {
                QFile file(linked);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(linkedBytes);
            }
                QVERIFY(QFile::link(linked, target));
                break;
            case Fault::DanglingLink:
                QVERIFY(QFile::link(linked, target));
                break;
        }
        if (pathFault) {
            SKIP_UNLESS_SET(*pathFault);
        }
        if (limit) {
            SKIP_UNLESS_SET(*limit);
        }
        const QStringList entriesBefore = entries(f.dir.path());
        // A folder that is not there is the one failure: the files would only repeat it.
        const bool folderFails = fault == Fault::Missing;
        if (folderFails) {
            expectReport(w.model().AppFolder.path);
        }
        if (!logWritten && !folderFails) {
            expectReport(w.model().AppFolder.path + kLog);
        }
        if (!sheetWritten && !folderFails) {
            expectReport(w.model().AppFolder.path + kSheetFile);
        }

        f.platform.messages.clear();
        f.platform.messageKinds.clear();
        if (fault == Fault::Fifo) {
            QVERIFY(!saveHangsOn(w, f.platform, target));
        } else {
            SaveSheet(w.model(), f.platform);
        }
        pathFault.reset();
        limit.reset();

        // One warning, giving each file that failed and only those, the folder last.
        QCOMPARE(f.platform.messageKinds, QList<NoteKind>{NoteKind::Warning});
        const QString& message = f.platform.messages[0];
        QCOMPARE(message.contains(kLog + u" の理由: "_qs), !logWritten && !folderFails);
        QCOMPARE(message.contains(kSheetFile + u" の理由: "_qs), !sheetWritten && !folderFails);
        QCOMPARE(message.count(u"理由: "_qs),
                 folderFails ? 1 : (logWritten || sheetWritten ? 1 : 2));
        QVERIFY(!folderFails || message.contains(u"理由: "_qs + fileErrorText(ENOENT)));
        QVERIFY2(message.endsWith(u"場所: "_qs + w.model().AppFolder.path), qPrintable(message));
        QCOMPARE(message.count(w.model().AppFolder.path), 1);
        // Saving again is asked for only where it cannot put the lines into the log twice.
        QCOMPARE(message.contains(u"もう一度保存してください"_qs), !logWritten);
        QCOMPARE(message.contains(u"すでに記録されています"_qs), logWritten);
        QCOMPARE(f.window->model().sheet().LabelFN.at(4), u"2024/03/09,14:14:00"_qs);

        QStringList entriesAfter = entriesBefore;
        if (logWritten && !entriesAfter.contains(kLog)) {
            entriesAfter << kLog;
            entriesAfter.sort();
        }
        QCOMPARE(entries(f.dir.path()), entriesAfter);
        if (replaced) {
            struct stat st {};
            QCOMPARE(::lstat(native.constData(), &st), 0);
            QVERIFY(!S_ISREG(st.st_mode));
        }
        if (!replaced || where != Where::Log) {
            QCOMPARE(readAll(logPath), logWritten ? logBefore + newLines : logBefore);
        }
        if (!replaced || where != Where::Sheet) {
            QCOMPARE(readAll(sheetPath), sheetWritten ? newSheet : sheetBefore);
        }
        if (fault == Fault::Link || fault == Fault::DanglingLink) {
            QCOMPARE(entries(elsewhere.path()),
                     fault == Fault::Link ? QStringList{u"someone's.csv"_qs} : QStringList());
            QCOMPARE(readAll(linked), fault == Fault::Link ? linkedBytes : QByteArray());
        }
        QVERIFY(!QFileInfo::exists(f.path(u"missing"_qs)));
    }

    // A FIFO in the log's place, or another program holding the log's lock: the clock goes on
    // during the save, the click returns with its note, and the sheet file is written.
    void logInTheWayLeavesTheWindowWorking_data() {
        QTest::addColumn<bool>("locked");
        QTest::newRow("a FIFO") << false;
        QTest::newRow("locked by another process") << true;
    }
    void logInTheWayLeavesTheWindowWorking() {
        QFETCH(bool, locked);
        Fixture f;
        int ticks = 0;
        f.platform.clock = [&ticks] {
            ++ticks;
            return QDateTime(QDate(2024, 3, 9), QTime(14, 5, 7));
        };
        drawSheet(*f.window, {kB});
        std::unique_ptr<LockHolder> holder;
        if (locked) {
            QFile(f.path(kLog)).open(QIODevice::WriteOnly);
            holder = std::make_unique<LockHolder>(f.path(kLog));
            QVERIFY(holder->ok());
        } else {
            QCOMPARE(::mkfifo(QFile::encodeName(f.path(kLog)).constData(), 0644), 0);
        }
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        expectReport(f.path(kLog));
        const int before = ticks;
        QTest::mouseClick(f.window->CommandSave(), Qt::LeftButton);
        if (locked) {
            // The wait for the lock is long enough for the clock's timer to fire in it.
            QVERIFY(ticks > before);
            QCOMPARE(readAll(f.path(kLog)), QByteArray());
        }
        QCOMPARE(f.platform.messages.size(), 1);
        QVERIFY(f.platform.messages[0].contains(kLog + u" の理由: "_qs));
        QCOMPARE(readAll(f.path(kSheetFile)), kStampLine + kBLine);
        const int after = ticks;
        QTRY_VERIFY_WITH_TIMEOUT(ticks > after, 3000);
        if (locked) {
            // Closed in the middle of the wait, the window ends the program's event loop.
            QTimer::singleShot(0, f.window.get(), [&f] {
                QTest::mouseClick(f.window->CommandSave(), Qt::LeftButton);
            });
            QTimer::singleShot(500, f.window.get(), [&f] { f.window->windowHandle()->close(); });
            QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(1); });
            expectReport(f.path(kLog));
            const FileId sheetBefore = TextFile::idOf(QFile::encodeName(f.dir.path()), kSheetFile);
            QElapsedTimer waited;
            waited.start();
            QCOMPARE(QApplication::exec(), 0);
            // Ended by the close, not by the lock wait running out; nothing more is written.
            QVERIFY(waited.elapsed() < TextFile::kLockWaitMs);
            QVERIFY(TextFile::idOf(QFile::encodeName(f.dir.path()), kSheetFile) == sheetBefore);
            QCOMPARE(f.platform.messages.size(), 1);
        }
    }

    // A save cut short before any system call, as by a power cut: each file holds all of its
    // old bytes or all of its new ones, and nothing else is left that anyone would have to
    // clean, but for one step: with unnamed copies only a kill between the replacement's passing
    // name and the rename over the file leaves that whole replacement; with named copies, any
    // kill once the copy is made leaves the copy. A later save never removes it, nor needs to.
    void killedAtEveryStep_data() {
        QTest::addColumn<bool>("again");
        QTest::addColumn<bool>("named");
        QTest::newRow("first save") << false << false;
        QTest::newRow("saved again") << true << false;
        QTest::newRow("first save, named copies") << false << true;
        QTest::newRow("saved again, named copies") << true << true;
    }
    void killedAtEveryStep() {
        QFETCH(bool, again);
        QFETCH(bool, named);
        Fixture f;
        MainWindow& w = *f.window;
        QTemporaryDir keep;
        const QByteArray sheetPath = QFile::encodeName(f.path(kSheetFile));
        const QByteArray kept = QFile::encodeName(keep.filePath(kSheetFile));
        drawSheet(w, {kB});
        if (again) {
            SaveSheet(w.model(), f.platform);
            QCOMPARE(::link(sheetPath.constData(), kept.constData()), 0);
        }
        const QByteArray logBefore = readAll(f.path(kLog));
        const QByteArray sheetBefore = readAll(f.path(kSheetFile));
        drawSheet(w, allFive());
        TextFile::setNamedCopiesOnly(named);
        QStringList left;
        int stepsLeaving = 0;
        int call = 0;
        KillRun run = KillRun::Killed;
        for (; run == KillRun::Killed; ++call) {
            run = runKilledBeforeCall(call, [&] { SaveSheet(w.model(), f.platform); });
            if (run == KillRun::Failed && call == 0) {
                QSKIP("cannot trace a child process here");
            }
            const QByteArray log = readAll(f.path(kLog));
            const QByteArray sheet = readAll(f.path(kSheetFile));
            QVERIFY2(log == logBefore || log == logBefore + allFiveLines(), log.constData());
            QVERIFY2(sheet == sheetBefore || sheet == kStampLine + allFiveLines(),
                     sheet.constData());
            QStringList others = entries(f.dir.path());
            others.removeAll(kLog);
            others.removeAll(kSheetFile);
            stepsLeaving += others.isEmpty() ? 0 : 1;
            left += others;
            // Back to before the save, the sheet's own file the same file again.
            for (const QString& name : others + QStringList{kLog, kSheetFile}) {
                QFile::remove(f.path(name));
            }
            if (again) {
                QFile restored(f.path(kLog));
                QVERIFY(restored.open(QIODevice::WriteOnly) && restored.write(logBefore) > 0);
                QCOMPARE(::link(kept.constData(), sheetPath.constData()), 0);
            }
        }
        QVERIFY2(run == KillRun::Finished && call > 10, qPrintable(QString::number(call)));
        left.removeDuplicates();
        QCOMPARE(left, again || named ? QStringList{u".240309_1405.cs"_qs} : QStringList());
        QVERIFY(named ? stepsLeaving > 1 : stepsLeaving == (again ? 1 : 0));
        SaveSheet(w.model(), f.platform);
        QCOMPARE(entries(f.dir.path()), (QStringList{kSheetFile, kLog}));
    }

    // A folder of 100,000 files, a quarter of them named as an older version named its copies:
    // a save costs about what it costs in an empty folder, and every one of those files stays.
    void costDoesNotGrowWithTheFolder() {
        QTemporaryDir base;
        PathFault tmpfs(PathFault::Tmpfs, base.path());
        const QString empty = base.filePath(u"empty"_qs);
        const QString full = base.filePath(u"full"_qs);
        QVERIFY(QDir().mkdir(empty) && QDir().mkdir(full));
        QVERIFY(fill(full, ".Tavo-240309_1405.csv.", 25000));
        QVERIFY(fill(full, "IMG_", 100000 - 25000));
        FakePlatform inEmpty, inFull;
        inEmpty.folder = empty;
        inFull.folder = full;
        MainWindow a(inEmpty), b(inFull);
        QList<qint64> ns[2];
        for (int i = 0; i < 32; ++i) {
            // Taken in turn, so a slower moment of the machine falls on both alike.
            for (const auto& [w, platform] : {std::pair<MainWindow*, FakePlatform*>{&a, &inEmpty},
                                              std::pair<MainWindow*, FakePlatform*>{&b, &inFull}}) {
                drawSheet(*w, {kB, kD});
                QElapsedTimer clock;
                clock.start();
                QVERIFY(SaveSheet(w->model(), *platform).ok());
                ns[w == &b] << (i > 0 ? clock.nsecsElapsed() : 0);
            }
        }
        std::sort(ns[0].begin(), ns[0].end());
        std::sort(ns[1].begin(), ns[1].end());
        qInfo("%s; a save's median: %lld us in an empty folder, %lld us beside 100,000 files",
              tmpfs.ok() ? "on a tmpfs" : qPrintable(tmpfs.error()), ns[0][16] / 1000,
              ns[1][16] / 1000);
        QVERIFY(ns[1][16] < 10 * ns[0][16] + 2000000);
        QCOMPARE(entries(full).size(), 100000 + 2);
    }

    // The program in a folder whose name is not valid text in any locale, or whose path is
    // 4,070 bytes long: both files go beside it (a copy of this test started there, on the
    // real system's program folder), and nothing into the documents folder.
    void besideTheProgramWhateverItsPath_data() {
        QTest::addColumn<bool>("longPath");
        QTest::newRow("a name that is not UTF-8") << false;
        QTest::newRow("a path of 4,070 bytes") << true;
    }
    void besideTheProgramWhateverItsPath() {
        QFETCH(bool, longPath);
        QTemporaryDir base;
        const QByteArray top = QFile::encodeName(base.path()) + "/caf\xe9";
        QByteArray folder = top;
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        while (longPath && folder.size() < 4070) {
            // Parts of up to 250 bytes, the last one never empty.
            const qsizetype rest = 4070 - folder.size() - 1;
            folder +=
                '/' +
                QByteArray(rest > 250 && rest < 260 ? 200 : std::min<qsizetype>(rest, 250), 'd');
            QVERIFY2(::mkdir(folder.constData(), 0755) == 0, std::strerror(errno));
        }
        QCOMPARE(folder.size(), longPath ? 4070 : top.size());
        const QByteArray program = folder + "/test_save";
        const QString copy = base.filePath(u"test_save"_qs);
        QVERIFY(QFile::copy(u"/proc/self/exe"_qs, copy));
        QCOMPARE(::rename(QFile::encodeName(copy).constData(), program.constData()), 0);
        const QByteArray documents = QFile::encodeName(base.filePath(u"Documents"_qs));
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv(kSaveHere, documents.constData(), 1);
            char* const args[] = {const_cast<char*>("test_save"), nullptr};
            ::execv(program.constData(), args);
            ::_exit(127);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        // Read under a name that is text and no longer, and removable by the temporary folder.
        const QString readable = base.filePath(u"r"_qs);
        QCOMPARE(::rename(top.constData(), QFile::encodeName(readable).constData()), 0);
        const QString there = readable + QFile::decodeName(folder.mid(top.size())) + u'/';
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0,
                 qPrintable(QString::number(status)));
        QStringList found = entries(there);
        const QStringList pdfs = found.filter(QRegularExpression(u"^Tavo_\\d{6}_\\d{6}\\.pdf$"_qs));
        QCOMPARE(pdfs.size(), 1);
        found.removeOne(pdfs.first());
        QCOMPARE(found, (QStringList{kSheetFile, kLog, u"test_save"_qs}));
        QCOMPARE(readAll(there + kSheetFile), kStampLine + kBLine);
        QCOMPARE(readAll(there + kLog), kBLine + kBLine);
        QVERIFY(!QFileInfo::exists(base.filePath(u"Documents"_qs)));
    }
};

QTEST_MAIN_WRAPPER(
    TestSave, if (const char* documents = std::getenv(kSaveHere)) {
        return saveBesideItself(argc, argv, documents);
    } QTEST_MAIN_SETUP())
#include "test_save.moc"
