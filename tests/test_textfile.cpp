// SPDX-License-Identifier: MIT
// The text-file writer on real files: its bytes, append and replace, and what it leaves behind
// when the file system refuses.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

#include "results/textfile.h"
#include "support/filefaults.h"

namespace {

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The writer on a path.
TextFile openAt(const QString& path, TextFile::Mode mode) {
    const QFileInfo file(path);
    return TextFile(QFile::encodeName(file.path()), file.fileName(), mode);
}

// One-call forms: open, write every line, close. True when the lines are in the file.
bool writeLines(const QString& path, TextFile::Mode mode, const QStringList& lines) {
    TextFile file = openAt(path, mode);
    for (const QString& line : lines) {
        file.writeLine(line);
    }
    return file.close();
}
bool appendLines(const QString& path, const QStringList& lines) {
    return writeLines(path, TextFile::Mode::AppendOrCreate, lines);
}
bool replaceLines(const QString& path, const QStringList& lines) {
    return writeLines(path, TextFile::Mode::CreateOrReplace, lines);
}

// The bytes ASCII lines take in a file.
QByteArray bytesOf(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        out += line.toLatin1() + "\r\n";
    }
    return out;
}

// Sets a file's modification time to seconds ago.
void age(const QString& path, int seconds) {
    const timespec past[2] = {{time(nullptr) - seconds, 0}, {time(nullptr) - seconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), past, 0), 0);
}

}  // namespace

class TestTextFile : public QObject {
    Q_OBJECT
private slots:
    void init() { QTest::failOnWarning(QRegularExpression(u".*"_qs)); }
    void cleanup() { TextFile::setNamedCopiesOnly(false); }

    void encode_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("nothing") << QStringList() << QByteArray();
        QTest::newRow("one line") << QStringList{u"2024/03/09,14:05"_qs}
                                  << QByteArray("2024/03/09,14:05\r\n");
        QTest::newRow("every line ends, the last too")
            << QStringList{u"a"_qs, u"b,c"_qs} << QByteArray("a\r\nb,c\r\n");
        QTest::newRow("empty line") << QStringList{QString()} << QByteArray("\r\n");
        QTest::newRow("beyond ASCII") << QStringList{u"A\u00e9\u958b"_qs} << QByteArray("A??\r\n");
    }
    void encode() {
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"f.csv"_qs);
        QVERIFY(replaceLines(path, lines));
        QCOMPARE(readAll(path), bytes);
    }

    void appendCreatesThenAdds() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.csv"_qs);
        QVERIFY(appendLines(path, {u"one"_qs}));
        QVERIFY(appendLines(path, {u"two"_qs, u"three"_qs}));
        QCOMPARE(readAll(path), QByteArray("one\r\ntwo\r\nthree\r\n"));
    }

    void appendOfNothingChangesNothing() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.csv"_qs);
        writeRaw(path, "a\r\n");
        QVERIFY(appendLines(path, {}));
        QCOMPARE(readAll(path), QByteArray("a\r\n"));
    }

    void droppedWithoutCloseChangesNothing() {
        QTemporaryDir dir;
        const QString sheet = dir.filePath(u"sheet.csv"_qs);
        const QString log = dir.filePath(u"log.csv"_qs);
        writeRaw(sheet, "previous\r\n");
        writeRaw(log, "previous\r\n");
        {
            TextFile replacing = openAt(sheet, TextFile::Mode::CreateOrReplace);
            QVERIFY(replacing.isOpen());
            replacing.writeLine(u"new"_qs);
            TextFile appending = openAt(log, TextFile::Mode::AppendOrCreate);
            QVERIFY(appending.isOpen());
            appending.writeLine(u"new"_qs);
        }
        QCOMPARE(readAll(sheet), QByteArray("previous\r\n"));
        QCOMPARE(readAll(log), QByteArray("previous\r\n"));
        QCOMPARE(entries(dir.path()), (QStringList{u"log.csv"_qs, u"sheet.csv"_qs}));
    }

    // A disk that fills part-way: the first write() gets part of the bytes in, the rest fail.
    // (Files that were there keep their bytes: in the save's faults.)
    void diskFillsPartWay_data() {
        QTest::addColumn<bool>("append");
        QTest::newRow("append to a new log") << true;
        QTest::newRow("create a file") << false;
    }
    void diskFillsPartWay() {
        QFETCH(bool, append);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"f.csv"_qs);
        const QStringList lines{u"2024/03/09,14:06:00,B,7,8,9,10,11,12"_qs,
                                u"2024/03/09,14:07:00,C,13,14,15,16,17,18"_qs};
        expectReport(path);
        bool written = true;
        {
            // Room for half of the new bytes.
            FileSizeLimit limit(bytesOf(lines).size() / 2);
            SKIP_UNLESS_SET(limit);
            written = append ? appendLines(path, lines) : replaceLines(path, lines);
        }
        QVERIFY(!written);
        // A new log stays as its open made it, empty; a new file is not made.
        QCOMPARE(entries(dir.path()), append ? QStringList{u"f.csv"_qs} : QStringList());
        QCOMPARE(readAll(path), QByteArray());
    }

    // Two instances on one log: one appends in the middle of the other's save, whose write then
    // comes up short. The cut-back takes only the failed save's bytes.
    void shortAppendKeepsAnotherWritersLine() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.csv"_qs);
        const QByteArray previous("2024/03/09,14:05:07,A,1,2,3,4,5,6\r\n");
        writeRaw(path, previous);
        const QStringList ours{u"2024/03/09,14:06:00,B,7,8,9,10,11,12"_qs,
                               u"2024/03/09,14:07:00,C,13,14,15,16,17,18"_qs};
        const QString theirs = u"2024/03/09,14:06:30,D,19,20,21,22,23,24"_qs;

        TextFile first = openAt(path, TextFile::Mode::AppendOrCreate);
        QVERIFY(first.isOpen());
        for (const QString& line : ours) {
            first.writeLine(line);
        }
        QVERIFY(appendLines(path, {theirs}));
        const QByteArray both = previous + bytesOf({theirs});
        QCOMPARE(readAll(path), both);
        expectReport(path);
        {
            FileSizeLimit limit(both.size() + bytesOf(ours).size() / 2);
            SKIP_UNLESS_SET(limit);
            QVERIFY(!first.close());
        }
        QCOMPARE(first.errors(), QStringList{fileErrorText(EFBIG)});
        QCOMPARE(readAll(path), both);
    }

    // An append waits for another instance's lock (held for good, in the save's tests).
    void appendWaitsForTheLock() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.csv"_qs);
        writeRaw(path, "a\r\n");
        const int other = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(other >= 0);
        QCOMPARE(::flock(other, LOCK_EX), 0);
        std::atomic<bool> released{false};
        std::thread holder([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            released = true;
            ::flock(other, LOCK_UN);
        });
        QVERIFY(appendLines(path, {u"b"_qs}));
        QVERIFY(released);
        holder.join();
        ::close(other);
        QCOMPARE(readAll(path), QByteArray("a\r\nb\r\n"));
    }

    // A replace or a create touches no other file, whatever its name or age: the user's own
    // hidden files, copies an older version left, and names a copy of ours would take.
    void replaceTouchesNoOtherFile_data() {
        QTest::addColumn<bool>("named");
        QTest::newRow("unnamed copies") << false;
        QTest::newRow("named copies") << true;
    }
    void replaceTouchesNoOtherFile() {
        QFETCH(bool, named);
        TextFile::setNamedCopiesOnly(named);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"240309_1405.csv"_qs);
        const QStringList others{u".Tavo-notes.backup"_qs,     u".Tavo-my.config"_qs,
                                 u".Tavo-photo.jpg.bak123"_qs, u".Tavo-240309_1405.csv.rGeIqd"_qs,
                                 u".240309_1405.cs"_qs,        u".240309_1405.~1"_qs,
                                 u"240309_1405.csv~"_qs};
        for (const QString& name : others) {
            writeRaw(dir.filePath(name), "the user's");
            age(dir.filePath(name), 3600);
        }
        QVERIFY(replaceLines(path, {u"a much longer old content"_qs, u"second"_qs}));
        QVERIFY(writeLines(dir.filePath(u"240309_1406.csv"_qs), TextFile::Mode::CreateNew,
                           {u"other"_qs}));
        QVERIFY(replaceLines(path, {u"new"_qs}));
        // The longest name a folder takes takes its copies too.
        const QString longest = dir.filePath(QString(255, u'n'));
        QVERIFY(replaceLines(longest, {u"old"_qs}));
        QVERIFY(replaceLines(longest, {u"new"_qs}));
        QCOMPARE(readAll(longest), QByteArray("new\r\n"));
        QStringList expected =
            others + QStringList{u"240309_1405.csv"_qs, u"240309_1406.csv"_qs, QString(255, u'n')};
        expected.sort();
        QCOMPARE(entries(dir.path()), expected);
        for (const QString& name : others) {
            QCOMPARE(readAll(dir.filePath(name)), QByteArray("the user's"));
        }
        QCOMPARE(readAll(path), QByteArray("new\r\n"));
    }

    // A FIFO with a reader waiting is still no place for the lines, and the open returns.
    void fifoWithAReaderIsRefused() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"f.csv"_qs);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        expectReport(path);
        QVERIFY(!appendLines(path, {u"x"_qs}));
        char byte = 0;
        QCOMPARE(::read(reader, &byte, 1), ssize_t{0});
        ::close(reader);
    }
};

QTEST_MAIN(TestTextFile)
#include "test_textfile.moc"
