// SPDX-License-Identifier: MIT
// Where the results go, beside the program or in the user's documents, and the notes that go
// with it; and that a note never holds the window.
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include "app/mainwindow.h"
#include "results/resultsfolder.h"
#include "results/save.h"
#include "results/textfile.h"
#include "support/fakeplatform.h"
#include "support/filefaults.h"

namespace {

void drawBlockA(MainWindow& w) {
    w.sheet().LabelFN.at(0) = QStringLiteral("2024/03/09,14:05:07");
    for (int p = 0; p < Sheet::kPositions; ++p) {
        w.sheet().LabelData.at(static_cast<std::size_t>(p)) = QString::number(p + 1);
    }
    w.sheet().LabelFileName0 = QStringLiteral("240309_1405.csv");
    w.model().setSheetStamp(QStringLiteral("2024/03/09,14:05"));
}

}  // namespace

class TestResultsFolder : public QObject {
    Q_OBJECT
private slots:
    void choice_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("installBin");
        QTest::addColumn<QString>("documents");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("inDocuments");
        QTest::newRow("unpacked build")
            << u"/home/u/tavo/build"_qs << true << u"/usr/bin"_qs << u"/home/u/Documents"_qs
            << u"/home/u/tavo/build/"_qs << false;
        QTest::newRow("at the root")
            << u"/"_qs << true << u"/usr/bin"_qs << u"/home/u/Documents"_qs << u"/"_qs << false;
        QTest::newRow("installed, not the user's")
            << u"/usr/bin"_qs << false << u"/usr/bin"_qs << u"/home/u/Documents"_qs
            << u"/home/u/Documents/Tavo/"_qs << true;
        QTest::newRow("read-only elsewhere")
            << u"/opt/tavo"_qs << false << u"/usr/bin"_qs << u"/home/u/Dokumente/"_qs
            << u"/home/u/Dokumente/Tavo/"_qs << true;
        QTest::newRow("installed, run by root")
            << u"/usr/bin"_qs << true << u"/usr/bin/"_qs << u"/root/Documents"_qs
            << u"/root/Documents/Tavo/"_qs << true;
        QTest::newRow("no documents folder")
            << u"/usr/bin"_qs << false << u"/usr/bin"_qs << QString() << u"/usr/bin/"_qs << false;
    }
    void choice() {
        QFETCH(QString, program);
        QFETCH(bool, writable);
        QFETCH(QString, installBin);
        QFETCH(QString, documents);
        QFETCH(QString, folder);
        QFETCH(bool, inDocuments);
        const ResultsFolder c = chooseResultsFolder(program, writable, installBin, documents);
        QCOMPARE(c.path, folder);
        QCOMPARE(c.inDocuments, inDocuments);
    }

    // The same folder by another name (a link, as /bin to /usr/bin) is still the binary folder.
    void installFolderThroughALink() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"usr-bin"_qs));
        QVERIFY(QFile::link(dir.filePath(u"usr-bin"_qs), dir.filePath(u"bin"_qs)));
        const ResultsFolder c = chooseResultsFolder(
            dir.filePath(u"bin"_qs), true, dir.filePath(u"usr-bin"_qs), dir.filePath(u"docs"_qs));
        QVERIFY(c.inDocuments);
    }

    // The window with a real folder: beside a writable program folder, silently; an installed
    // one's results go to <documents>/Tavo, made by the first save, named by it only.
    void savedWhereTheUserFindsThem_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("writable program folder") << u"writable"_qs;
        QTest::newRow("read-only program folder") << u"read-only"_qs;
        QTest::newRow("program folder is the install folder") << u"install"_qs;
        QTest::newRow("documents folder cannot be made") << u"no documents"_qs;
    }
    void savedWhereTheUserFindsThem() {
        QFETCH(QString, kind);
        QTemporaryDir program, home;
        FakePlatform platform;
        platform.folder = program.path();
        platform.documents = home.filePath(u"Documents"_qs);
        std::unique_ptr<ReadOnlyBind> bind;
        if (kind == u"read-only") {
            bind = std::make_unique<ReadOnlyBind>(program.path());
            if (!bind->ok()) {
                QSKIP(qPrintable(u"cannot make a read-only folder here: "_qs + bind->error()));
            }
        } else if (kind == u"install") {
            platform.installBin = program.path();
        } else if (kind == u"no documents") {
            // A file where the documents folder's parent should be.
            platform.installBin = program.path();
            QFile(home.filePath(u"file"_qs)).open(QIODevice::WriteOnly);
            platform.documents = home.filePath(u"file/Documents"_qs);
        }
        MainWindow w(platform);
        const bool installed = kind != u"writable";
        const QString results =
            installed ? platform.documents + u"/Tavo/"_qs : program.path() + QLatin1Char('/');
        QCOMPARE(w.model().AppFolder.path, results);
        // Nothing is made at start-up.
        const QStringList homeBefore = entries(home.path());
        QCOMPARE(entries(program.path()), QStringList());

        drawBlockA(w);
        if (kind == u"no documents") {
            // One failure, with its real reason; the files would only repeat it.
            QVERIFY(!SaveSheet(w.model(), w.platform()).ok());
            QCOMPARE(platform.messageKinds, QList<NoteKind>{NoteKind::Warning});
            QCOMPARE(platform.messages[0].count(u"理由: "_qs), 1);
            QVERIFY2(platform.messages[0].contains(fileErrorText(ENOTDIR)),
                     qPrintable(platform.messages[0]));
            QCOMPARE(entries(home.path()), homeBefore);
            return;
        }
        QCOMPARE(entries(home.path()), QStringList());
        SaveSheet(w.model(), w.platform());
        QCOMPARE(entries(results), (QStringList{u"240309_1405.csv"_qs, u"TavoLog.csv"_qs}));
        if (installed) {
            QCOMPARE(entries(program.path()), QStringList());
            QCOMPARE(platform.messages.size(), 1);
            QVERIFY2(platform.messages[0].contains(results), qPrintable(platform.messages[0]));
        } else {
            QVERIFY(platform.messages.isEmpty());
        }
        SaveSheet(w.model(), w.platform());
        QCOMPARE(platform.messages.size(), installed ? 1 : 0);
    }

    // A note is not modal, not even to the window: closing the window from the title bar while
    // one is open closes both, and the program ends.
    void noteNeverHoldsTheWindow() {
        FakePlatform fake;
        MainWindow w(fake);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        SystemPlatform system;
        system.showMessage(&w, NoteKind::Warning, u"note"_qs);
        QCOMPARE(w.findChild<QMessageBox*>()->icon(), QMessageBox::Warning);
        auto* box = w.findChild<QMessageBox*>();
        QVERIFY(box);
        QVERIFY(box->isVisible());
        QCOMPARE(box->windowModality(), Qt::NonModal);
        QVERIFY(!QApplication::activeModalWidget());

        // The program's own event loop ends when its last window has gone; a box left standing,
        // or a close the box refused, would keep it running until the watchdog.
        bool closed = false;
        QTimer::singleShot(0, &w, [&] { closed = w.windowHandle()->close(); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(closed);
        QVERIFY(!w.isVisible());
        QVERIFY(w.findChild<QMessageBox*>() == nullptr || !box->isVisible());
    }
};

QTEST_MAIN(TestResultsFolder)
#include "test_resultsfolder.moc"
