// SPDX-License-Identifier: MIT
// The text-file writer on real files: its bytes, append and replace, and what it leaves behind
// when the file system refuses.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/textfile.h"
#include "support/filefaults.h"

namespace {

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// One-call forms: open, write every line, close. True when the lines are in the file.
bool writeLines(const QString& path, TextFile::Mode mode, const QStringList& lines) {
    TextFile file(path, mode);
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

enum class Fault { DirectoryAtPath, MissingFolder, ReadOnlyFile, ReadOnlyFolder, ImmutableFile };

}  // namespace

Q_DECLARE_METATYPE(Fault)

class TestTextFile : public QObject {
    Q_OBJECT
private slots:
    void init() { QTest::failOnWarning(QRegularExpression(u".*"_qs)); }

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
        QCOMPARE(TextFile::encode(lines), bytes);
    }

    void appendCreatesThenAdds() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.csv"_qs);
        QVERIFY(appendLines(path, {u"one"_qs}));
        QVERIFY(appendLines(path, {u"two"_qs, u"three"_qs}));
        QCOMPARE(readAll(path), QByteArray("one\r\ntwo\r\nthree\r\n"));
    }

    void appendNeverTruncates() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.csv"_qs);
        writeRaw(path, "kept, no line end");
        QVERIFY(appendLines(path, {u"x"_qs}));
        QCOMPARE(readAll(path), QByteArray("kept, no line endx\r\n"));
    }

    void appendOfNothingCreatesEmptyFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.csv"_qs);
        QVERIFY(appendLines(path, {}));
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(QFileInfo(path).size(), 0);
        writeRaw(path, "a\r\n");
        QVERIFY(appendLines(path, {}));
        QCOMPARE(readAll(path), QByteArray("a\r\n"));
    }

    void replaceLeavesOnlyTheNewContent() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"sheet.csv"_qs);
        QVERIFY(replaceLines(path, {u"a much longer first content"_qs, u"second"_qs}));
        QVERIFY(replaceLines(path, {u"short"_qs}));
        QCOMPARE(readAll(path), QByteArray("short\r\n"));
        QCOMPARE(entries(dir.path()), QStringList{u"sheet.csv"_qs});
    }

    void droppedWithoutCloseChangesNothing() {
        QTemporaryDir dir;
        const QString sheet = dir.filePath(u"sheet.csv"_qs);
        const QString log = dir.filePath(u"log.csv"_qs);
        writeRaw(sheet, "previous\r\n");
        writeRaw(log, "previous\r\n");
        {
            TextFile replacing(sheet, TextFile::Mode::CreateOrReplace);
            QVERIFY(replacing.isOpen());
            replacing.writeLine(u"new"_qs);
            TextFile appending(log, TextFile::Mode::AppendOrCreate);
            QVERIFY(appending.isOpen());
            appending.writeLine(u"new"_qs);
        }
        QCOMPARE(readAll(sheet), QByteArray("previous\r\n"));
        QCOMPARE(readAll(log), QByteArray("previous\r\n"));
        QCOMPARE(entries(dir.path()), (QStringList{u"log.csv"_qs, u"sheet.csv"_qs}));
    }

    // Whatever refuses the write, a failed append or replace leaves the earlier bytes and says
    // so on standard error.
    void refused_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<bool>("append");
        for (const bool append : {true, false}) {
            const char* mode = append ? "append" : "replace";
            QTest::addRow("%s: a folder where the file should be", mode)
                << Fault::DirectoryAtPath << append;
            QTest::addRow("%s: missing folder", mode) << Fault::MissingFolder << append;
            QTest::addRow("%s: read-only bind of the file", mode) << Fault::ReadOnlyFile << append;
            QTest::addRow("%s: read-only bind of the folder", mode)
                << Fault::ReadOnlyFolder << append;
            QTest::addRow("%s: immutable file", mode) << Fault::ImmutableFile << append;
        }
    }
    void refused() {
        QFETCH(Fault, fault);
        QFETCH(bool, append);
        QTemporaryDir dir;
        QString folder = dir.path();
        const QByteArray previous("previous line\r\n");
        std::unique_ptr<ReadOnlyBind> bind;
        std::unique_ptr<Immutable> immutable;
        switch (fault) {
            case Fault::DirectoryAtPath:
                QVERIFY(QDir(folder).mkdir(u"f.csv"_qs));
                break;
            case Fault::MissingFolder:
                folder = dir.filePath(u"missing"_qs);
                break;
            case Fault::ReadOnlyFile:
                writeRaw(dir.filePath(u"f.csv"_qs), previous);
                bind = std::make_unique<ReadOnlyBind>(dir.filePath(u"f.csv"_qs));
                break;
            case Fault::ReadOnlyFolder:
                writeRaw(dir.filePath(u"f.csv"_qs), previous);
                bind = std::make_unique<ReadOnlyBind>(folder);
                break;
            case Fault::ImmutableFile:
                writeRaw(dir.filePath(u"f.csv"_qs), previous);
                immutable = std::make_unique<Immutable>(dir.filePath(u"f.csv"_qs));
                break;
        }
        if (bind && !bind->ok()) {
            QSKIP(qPrintable(u"cannot make a read-only bind mount here ("_qs + bind->error() +
                             u")"_qs));
        }
        if (immutable && !immutable->ok()) {
            QSKIP(qPrintable(u"cannot set the immutable attribute here ("_qs + immutable->error() +
                             u")"_qs));
        }
        const QString path = folder + u"/f.csv"_qs;
        const QStringList before = entries(dir.path());
        expectReport(path);
        const bool written =
            append ? appendLines(path, {u"new"_qs}) : replaceLines(path, {u"new"_qs});
        QVERIFY(!written);
        bind.reset();
        immutable.reset();

        QCOMPARE(entries(dir.path()), before);
        if (fault == Fault::DirectoryAtPath) {
            QVERIFY(QFileInfo(path).isDir());
        } else if (fault != Fault::MissingFolder) {
            QCOMPARE(readAll(path), previous);
        }
    }

    // A disk that fills part-way: the first write() gets part of the bytes in, the rest fail.
    void diskFillsPartWay_data() {
        QTest::addColumn<bool>("append");
        QTest::addColumn<bool>("existed");
        QTest::newRow("append to a log") << true << true;
        QTest::newRow("append to a new log") << true << false;
        QTest::newRow("replace a file") << false << true;
        QTest::newRow("create a file") << false << false;
    }
    void diskFillsPartWay() {
        QFETCH(bool, append);
        QFETCH(bool, existed);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"f.csv"_qs);
        const QByteArray previous("2024/03/09,14:05:07,A,1,2,3,4,5,6\r\n");
        if (existed) {
            writeRaw(path, previous);
        }
        const QStringList lines{u"2024/03/09,14:06:00,B,7,8,9,10,11,12"_qs,
                                u"2024/03/09,14:07:00,C,13,14,15,16,17,18"_qs};
        expectReport(path);
        bool written = true;
        {
            // Room for the earlier bytes and half of the new ones.
            FileSizeLimit limit(previous.size() + TextFile::encode(lines).size() / 2);
            if (!limit.ok()) {
                QSKIP(qPrintable(limit.error()));
            }
            written = append ? appendLines(path, lines) : replaceLines(path, lines);
        }
        QVERIFY(!written);
        if (existed) {
            QCOMPARE(readAll(path), previous);
        } else if (append) {
            // Opening created the log; none of the lines stayed in it.
            QCOMPARE(readAll(path), QByteArray());
        } else {
            QVERIFY(!QFileInfo::exists(path));
        }
        QCOMPARE(entries(dir.path()), existed || append ? QStringList{u"f.csv"_qs} : QStringList());
    }
};

QTEST_MAIN(TestTextFile)
#include "test_textfile.moc"
