// SPDX-License-Identifier: MIT
// Where the results go, beside the program or in the user's documents, and the notes that go
// with it; and that a note never holds the window.
#include <pwd.h>
#include <unistd.h>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include "app/mainwindow.h"
#include "app/systemplatform.h"
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

// A system whose documents folder is chosen from the homes a test makes.
class HomesPlatform : public FakePlatform {
public:
    QString home, accountHome;
    QList<UnusableFolder> passedOver;  // by the last choice
    QString documentsFolder() override {
        return chooseDocumentsFolder(home, home + u"/Documents"_qs, accountHome, &passedOver);
    }
    QList<UnusableFolder> documentsPassedOver() override { return passedOver; }
};

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
        std::unique_ptr<PathFault> bind;
        if (kind == u"read-only") {
            bind = std::make_unique<PathFault>(PathFault::ReadOnlyBind, program.path());
            SKIP_UNLESS_SET(*bind);
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
            QVERIFY(!SaveSheet(w.model(), platform).ok());
            QCOMPARE(platform.messageKinds, QList<NoteKind>{NoteKind::Warning});
            QCOMPARE(platform.messages[0].count(u"理由: "_qs), 1);
            QVERIFY2(platform.messages[0].contains(fileErrorText(ENOTDIR)),
                     qPrintable(platform.messages[0]));
            QCOMPARE(entries(home.path()), homeBefore);
            return;
        }
        QCOMPARE(entries(home.path()), QStringList());
        SaveSheet(w.model(), platform);
        QCOMPARE(entries(results), (QStringList{u"240309_1405.csv"_qs, u"TavoLog.csv"_qs}));
        if (installed) {
            QCOMPARE(entries(program.path()), QStringList());
            QCOMPARE(platform.messages.size(), 1);
            QVERIFY2(platform.messages[0].contains(results), qPrintable(platform.messages[0]));
        } else {
            QVERIFY(platform.messages.isEmpty());
        }
        SaveSheet(w.model(), platform);
        QCOMPARE(platform.messages.size(), installed ? 1 : 0);
    }

    // With HOME unset or unusable the results go to the account's home; nothing is made.
    void documentsFolderFallsBackToTheAccountsHome_data() {
        QTest::addColumn<QString>("home");     // under the temporary folder, or as given
        QTest::addColumn<QString>("account");  // the same
        QTest::addColumn<QString>("chosen");   // the home whose Documents is chosen
        QTest::addColumn<QString>("reason");   // why HOME's was passed over; empty: it was not
        QTest::newRow("HOME usable") << u"home"_qs << u"account"_qs << u"home"_qs << QString();
        QTest::newRow("HOME unset") << QString() << u"account"_qs << u"account"_qs << QString();
        QTest::newRow("HOME relative") << u"=home"_qs << u"account"_qs << u"account"_qs
                                       << u"ホームフォルダー home が絶対パスではありません"_qs;
        QTest::newRow("HOME missing")
            << u"gone"_qs << u"account"_qs << u"account"_qs << fileErrorText(ENOENT);
        QTest::newRow("HOME a file")
            << u"file"_qs << u"account"_qs << u"account"_qs << fileErrorText(ENOTDIR);
        QTest::newRow("HOME read-only")
            << u"read-only"_qs << u"account"_qs << u"account"_qs << fileErrorText(EROFS);
        QTest::newRow("Documents a file in HOME")
            << u"home-with-file"_qs << u"account"_qs << u"account"_qs << fileErrorText(ENOTDIR);
        QTest::newRow("nothing usable")
            << u"gone"_qs << u"account-gone"_qs << u"account-gone"_qs << fileErrorText(ENOENT);
        QTest::newRow("no home at all") << QString() << QString() << QString() << QString();
    }
    void documentsFolderFallsBackToTheAccountsHome() {
        QFETCH(QString, home);
        QFETCH(QString, account);
        QFETCH(QString, chosen);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        for (const QString& folder :
             {u"home"_qs, u"account"_qs, u"read-only"_qs, u"home-with-file"_qs}) {
            QVERIFY(QDir(dir.path()).mkpath(folder));
        }
        QFile(dir.filePath(u"file"_qs)).open(QIODevice::WriteOnly);
        QFile(dir.filePath(u"home-with-file/Documents"_qs)).open(QIODevice::WriteOnly);
        std::unique_ptr<PathFault> bind;
        if (home == u"read-only") {
            bind = std::make_unique<PathFault>(PathFault::ReadOnlyBind, dir.filePath(home));
            SKIP_UNLESS_SET(*bind);
        }
        auto at = [&](const QString& name) {
            return name.isEmpty() ? name : name.startsWith(u'=') ? name.mid(1) : dir.filePath(name);
        };
        const QStringList before = entries(dir.path());
        QList<UnusableFolder> passedOver;
        const QString documents =
            chooseDocumentsFolder(at(home), at(home) + u"/Documents"_qs, at(account), &passedOver);
        QCOMPARE(documents, chosen.isEmpty() ? QString() : at(chosen) + u"/Documents"_qs);
        QCOMPARE(passedOver.size(), reason.isEmpty() ? 0 : 1);
        if (!reason.isEmpty()) {
            QCOMPARE(passedOver[0].folder, at(home) + u"/Documents/Tavo/"_qs);
            QCOMPARE(passedOver[0].reason, reason);
        }
        QCOMPARE(entries(dir.path()), before);
    }

    // The system's own: with HOME unset or naming no folder, the account's home as the password
    // database records it.
    void documentsFolderOfTheAccount() {
        const QByteArray saved = qgetenv("HOME");
        const bool wasSet = qEnvironmentVariableIsSet("HOME");
        const passwd* account = ::getpwuid(::getuid());
        if (account == nullptr || account->pw_dir == nullptr ||
            !QFileInfo(QFile::decodeName(account->pw_dir)).isWritable()) {
            QSKIP("this account has no home it can write");
        }
        const QString expected = QFile::decodeName(account->pw_dir) + u"/Documents"_qs;
        SystemPlatform system;
        qunsetenv("HOME");
        const QString unset = system.documentsFolder();
        const QList<UnusableFolder> unsetPassedOver = system.documentsPassedOver();
        qputenv("HOME", "/nonexistent-home-of-tavo");
        const QString missing = system.documentsFolder();
        const QList<UnusableFolder> missingPassedOver = system.documentsPassedOver();
        if (wasSet) {
            qputenv("HOME", saved);
        } else {
            qunsetenv("HOME");
        }
        QCOMPARE(unset, expected);
        QVERIFY(unsetPassedOver.isEmpty());
        QCOMPARE(missing, expected);
        QCOMPARE(missingPassedOver.size(), 1);
        QCOMPARE(missingPassedOver[0].folder, u"/nonexistent-home-of-tavo/Documents/Tavo/"_qs);
    }

    // Only where no home is usable is the save refused, and the note names what was tried.
    void noHomeUsable() {
        QTemporaryDir program, homes;
        HomesPlatform platform;
        platform.folder = program.path();
        platform.installBin = program.path();
        platform.home = homes.filePath(u"gone"_qs);
        platform.accountHome = homes.filePath(u"account-gone"_qs);
        MainWindow w(platform);
        QCOMPARE(w.model().AppFolder.path, platform.accountHome + u"/Documents/Tavo/"_qs);
        drawBlockA(w);
        QVERIFY(!SaveSheet(w.model(), platform).ok());
        QCOMPARE(platform.messageKinds, QList<NoteKind>{NoteKind::Warning});
        const QString& note = platform.messages[0];
        QVERIFY2(note.contains(platform.accountHome + u"/Documents/Tavo/"_qs) &&
                     note.contains(platform.home + u"/Documents/Tavo/"_qs) &&
                     note.count(fileErrorText(ENOENT)) == 2,
                 qPrintable(note));
        QCOMPARE(entries(homes.path()), QStringList());
        QCOMPARE(entries(program.path()), QStringList());
    }

    // At most one note of a kind on the screen: the same again leaves it as it is, another
    // takes its place, and the ones replaced are gone, not only hidden.
    void notesNeverPileUp() {
        FakePlatform fake;
        MainWindow w(fake);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        SystemPlatform system;
        auto open = [&w] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QStringList texts;
            for (const QMessageBox* box : w.findChildren<QMessageBox*>()) {
                texts << (box->isVisible() ? box->text() : u"(hidden) "_qs + box->text());
            }
            texts.sort();
            return texts;
        };
        for (int i = 0; i < 20; ++i) {
            system.showMessage(&w, NoteKind::Information, u"同じお知らせ"_qs);
        }
        QCOMPARE(open(), QStringList{u"同じお知らせ"_qs});
        system.showMessage(&w, NoteKind::Information, u"次のお知らせ"_qs);
        system.showMessage(&w, NoteKind::Warning, u"警告"_qs);
        QCOMPARE(open(), (QStringList{u"次のお知らせ"_qs, u"警告"_qs}));
        system.showMessage(&w, NoteKind::Warning, u"次の警告"_qs);
        QCOMPARE(open(), (QStringList{u"次のお知らせ"_qs, u"次の警告"_qs}));
    }

    // A note goes beside its window where the screen has room, else where it covers the least
    // of the controls.
    void notePlace_data() {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QPoint>("at");
        QTest::newRow("room on the right") << QRect(100, 100, 450, 420) << QPoint(550, 100);
        QTest::newRow("at the screen's right edge")
            << QRect(574, 100, 450, 420) << QPoint(274, 100);
        QTest::newRow("no room beside, room below") << QRect(287, 0, 450, 420) << QPoint(287, 420);
        QTest::newRow("no room beside, room above")
            << QRect(287, 348, 450, 420) << QPoint(287, 198);
        QTest::newRow("no room beside: clear of the controls, over the window")
            << QRect(0, 0, 1024, 768) << QPoint(724, 0);
    }
    void notePlace() {
        QFETCH(QRect, window);
        QFETCH(QPoint, at);
        const QRect screen(0, 0, 1024, 768);
        // The buttons down the left, the switches down the right.
        const QList<QRect> controls{QRect(window.topLeft() + QPoint(8, 40), QSize(105, 340)),
                                    QRect(window.topLeft() + QPoint(400, 40), QSize(32, 340))};
        QCOMPARE(notePosition(QSize(300, 150), window, controls, screen), at);
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
