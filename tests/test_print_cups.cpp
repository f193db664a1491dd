// SPDX-License-Identifier: MIT
// Printing through a real print server: a cupsd of the test's own, on a socket in a temporary
// folder, with one queue as the default whose device is a file the test reads. The queue uses
// cups-filters' generic PDF driver, so the file is the page as PDF. (cups-pdf's own backend
// writes where the machine-wide /etc/cups/cups-pdf.conf says, outside the test's folder.)
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "app/mainwindow.h"
#include "draw/blockdraw.h"
#include "support/fakeplatform.h"
#include "support/filefaults.h"
#include "support/pdfprobe.h"

namespace {

const QString kQueue = QStringLiteral("TavoTest");
const QString kDriver = QStringLiteral("lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd");

void setSheet(MainWindow& w) {
    w.model().setSheetStamp(QStringLiteral("2005/03/12,20:15"));
    w.sheet().LabelFN.at(0) = QStringLiteral("2005/03/12,20:15:07");
    const QStringList numbers = QString::fromLatin1("3,12,15,20,33,41").split(QLatin1Char(','));
    for (int p = 0; p < Sheet::kPositions; ++p) {
        w.sheet().LabelData.at(static_cast<std::size_t>(p)) = numbers.at(p);
    }
    w.sheet().LabelFileName0 = QStringLiteral("050312_2015.csv");
}

// Everything a print must leave as it was.
QStringList stateOf(MainWindow& w) {
    const Sheet& s = w.sheet();
    QStringList out;
    out << QStringList(s.LabelData.begin(), s.LabelData.end())
        << QStringList(s.LabelFN.begin(), s.LabelFN.end()) << s.LabelFileName0
        << w.LabelFileName()->text() << w.model().AppFolder.path
        << QStringList(w.model().ResultLines.begin(), w.model().ResultLines.end())
        << QString::number(w.model().ActiveBlock) << QString::number(w.model().SheetStamped);
    for (int i = 0; i < 3; ++i) {
        out << QString::number(w.OptionPrn(i)->isChecked());
    }
    return out;
}

QString pageText(const QString& pdf) {
    QStringList words;
    for (const pdfprobe::Word& word : pdfprobe::words(pdf)) {
        words << word.text;
    }
    return words.join(QLatin1Char(' '));
}

}  // namespace

class TestPrintCups : public QObject {
    Q_OBJECT
public:
    // Also when a test function stopped half-way.
    ~TestPrintCups() override { stopServer(); }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void queueGetsOneJob_data();
    void queueGetsOneJob();
    void refusedPagesGoToAFile_data();
    void refusedPagesGoToAFile();

private:
    void stopServer();
    // Runs a CUPS client command against our server; its output, or a test failure.
    QString run(const QString& program, const QStringList& arguments);
    QStringList jobs(const QString& which);

    QTemporaryDir m_server;
    QProcess m_cupsd;
    QString m_skip;
    QString m_output;  // the queue's output file for this test
    int m_test = 0;
};

void TestPrintCups::initTestCase() {
    const QString cupsd =
        QStandardPaths::findExecutable(QStringLiteral("cupsd"), {QStringLiteral("/usr/sbin")});
    if (cupsd.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("lpadmin")).isEmpty() ||
        !QFileInfo::exists(
            QStringLiteral("/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd"))) {
        m_skip = QStringLiteral(
            "cupsd, lpadmin or the generic PDF driver is not installed (cups-daemon, cups-client, "
            "cups-filters)");
        return;
    }
    QVERIFY(m_server.isValid());
    const QDir root(m_server.path());
    for (const char* sub : {"spool", "cache", "state", "log", "tmp", "out"}) {
        QVERIFY(root.mkpath(QLatin1String(sub)));
    }
    // The server's helpers run as lp: they need to reach the folder and write the output.
    QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ExeGroup | QFile::ReadGroup | QFile::ExeOther |
                                           QFile::ReadOther);
    for (const char* sub : {"tmp", "out"}) {
        QVERIFY(::chmod(QFile::encodeName(root.filePath(QLatin1String(sub))).constData(), 01777) ==
                0);
    }
    const QString socket = root.filePath(QStringLiteral("cups.sock"));
    const std::pair<const char*, QString> configuration[] = {
        {"cupsd.conf", QStringLiteral("Listen %1\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                                      "DefaultAuthType None\n<Location />\n  Order allow,deny\n"
                                      "  Allow all\n</Location>\n<Policy default>\n  <Limit All>\n"
                                      "    Order deny,allow\n  </Limit>\n</Policy>\n")
                           .arg(socket)},
        {"cups-files.conf",
         QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nTempDir %1/tmp\n"
                        "CacheDir %1/cache\nStateDir %1/state\nErrorLog %1/log/error_log\n"
                        "AccessLog %1/log/access_log\nPageLog %1/log/page_log\n"
                        "FileDevice Yes\nUser lp\nGroup lp\nSystemGroup root\n")
             .arg(root.path())}};
    for (const auto& [name, text] : configuration) {
        QFile file(root.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0);
    }

    // Both our client code and Qt's print support ask the server named here.
    qputenv("CUPS_SERVER", QFile::encodeName(socket));
    m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd.start(cupsd, {QStringLiteral("-f"), QStringLiteral("-c"),
                          root.filePath(QStringLiteral("cupsd.conf")), QStringLiteral("-s"),
                          root.filePath(QStringLiteral("cups-files.conf"))});
    if (!m_cupsd.waitForStarted(5000)) {
        m_skip = QStringLiteral("cupsd does not start: ") + m_cupsd.errorString();
        return;
    }
    QProcess status;
    for (int i = 0; i < 100; ++i) {
        if (m_cupsd.state() != QProcess::Running) {
            break;
        }
        status.start(QStringLiteral("lpstat"), {QStringLiteral("-r")});
        status.waitForFinished(5000);
        if (status.readAll().contains("is running")) {
            return;
        }
        QTest::qWait(100);
    }
    m_skip = QStringLiteral("cupsd did not come up: ") +
             QString::fromLocal8Bit(m_cupsd.readAll() +
                                    readAll(root.filePath(QStringLiteral("log/error_log"))));
}

void TestPrintCups::cleanupTestCase() {
    stopServer();
}

void TestPrintCups::stopServer() {
    if (m_cupsd.state() != QProcess::NotRunning) {
        // Our own server, by its own process id.
        ::kill(static_cast<pid_t>(m_cupsd.processId()), SIGTERM);
        if (!m_cupsd.waitForFinished(5000)) {
            m_cupsd.kill();
            m_cupsd.waitForFinished(5000);
        }
    }
}

void TestPrintCups::init() {
    if (!m_skip.isEmpty()) {
        QSKIP(qPrintable(m_skip));
    }
    // A fresh default queue for each test, writing its jobs to a file of its own.
    m_output = QDir(m_server.path()).filePath(QStringLiteral("out/job%1.pdf").arg(++m_test));
    run(QStringLiteral("lpadmin"),
        {QStringLiteral("-p"), kQueue, QStringLiteral("-E"), QStringLiteral("-v"),
         QStringLiteral("file:") + m_output, QStringLiteral("-m"), kDriver});
    run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), kQueue});
    run(QStringLiteral("cupsaccept"), {kQueue});
    run(QStringLiteral("cupsenable"), {kQueue});
    run(QStringLiteral("cancel"), {QStringLiteral("-a"), QStringLiteral("-x"), kQueue});
}

QString TestPrintCups::run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool done = process.waitForFinished(20000);
    const QString output = QString::fromLocal8Bit(process.readAll());
    if (!done || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        QTest::qFail(qPrintable(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) +
                                QStringLiteral(": ") + output),
                     __FILE__, __LINE__);
    }
    return output;
}

QStringList TestPrintCups::jobs(const QString& which) {
    return run(QStringLiteral("lpstat"),
               {QStringLiteral("-W"), which, QStringLiteral("-o"), kQueue})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A queue that accepts jobs gets the page as one job; a stopped one that still accepts keeps it
// until it is started again.
void TestPrintCups::queueGetsOneJob_data() {
    QTest::addColumn<QString>("command");  // run on the queue before the print
    QTest::newRow("accepting") << QStringLiteral("cupsaccept");
    QTest::newRow("stopped, still accepting") << QStringLiteral("cupsdisable");
}

void TestPrintCups::queueGetsOneJob() {
    QFETCH(QString, command);
    run(command, {kQueue});
    const bool stopped = command == QLatin1String("cupsdisable");
    QTemporaryDir folder;
    FakePlatform platform;
    platform.folder = folder.path();
    platform.serverPrinter = [&platform] { return printqueue::defaultPrinter(platform); };
    MainWindow w(platform);
    setSheet(w);
    const QStringList before = stateOf(w);
    w.CommandPrn()->click();

    QCOMPARE(platform.messages, QStringList());
    QCOMPARE(stateOf(w), before);
    QCOMPARE(entries(folder.path()), QStringList());
    if (stopped) {
        QCOMPARE(jobs(QStringLiteral("not-completed")).size(), 1);
        run(QStringLiteral("cupsenable"), {kQueue});
    }
    QTRY_COMPARE_WITH_TIMEOUT(jobs(QStringLiteral("completed")).size(), 1, 20000);
    QCOMPARE(jobs(QStringLiteral("not-completed")), QStringList());
    QCOMPARE(pdfprobe::pageCount(m_output), 1);
    QVERIFY2(pageText(m_output).contains(QStringLiteral("2005/03/12,20:15:07 A: [3 ] [12]")),
             qPrintable(pageText(m_output)));
}

// A queue that rejects jobs, or that was removed after the program started: the page goes to
// a PDF file in the results folder and the note gives the server's reason and the file.
void TestPrintCups::refusedPagesGoToAFile_data() {
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QString>("reason");
    QTest::newRow("rejecting jobs")
        << false << QStringLiteral("「TavoTest」が印刷を受け付けていません（詳細:「Paper jam」）");
    QTest::newRow("removed after start-up")
        << true << QStringLiteral("「TavoTest」が見つかりません");
}

void TestPrintCups::refusedPagesGoToAFile() {
    QFETCH(bool, removed);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    FakePlatform platform;
    platform.folder = folder.path();
    platform.clock = [] { return QDateTime(QDate(2005, 3, 12), QTime(20, 15, 7)); };
    bool removeNow = false;
    platform.serverPrinter = [&] {
        printqueue::DefaultPrinter printer = printqueue::defaultPrinter(platform);
        if (removeNow) {
            // Gone between the program finding its printer and the page going out.
            run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), kQueue});
        }
        return printer;
    };
    MainWindow w(platform);
    if (removed) {
        removeNow = true;
    } else {
        run(QStringLiteral("cupsreject"),
            {QStringLiteral("-r"), QStringLiteral("Paper jam"), kQueue});
    }
    setSheet(w);
    const QStringList before = stateOf(w);
    w.CommandPrn()->click();

    QCOMPARE(stateOf(w), before);
    const QString pdf = w.model().AppFolder.path + QStringLiteral("Tavo_050312_201507.pdf");
    QCOMPARE(entries(folder.path()), QStringList{QFileInfo(pdf).fileName()});
    QCOMPARE(pdfprobe::pageCount(pdf), 1);
    QVERIFY(pageText(pdf).contains(QStringLiteral("2005/03/12,20:15:07 A: [3 ] [12]")));
    QCOMPARE(platform.messages.size(), 1);
    const QString& message = platform.messages[0];
    QVERIFY2(message.contains(reason) && message.endsWith(pdf), qPrintable(message));
    QCOMPARE(platform.messageKinds, QList<NoteKind>{NoteKind::Information});
    if (!removed) {
        QCOMPARE(jobs(QStringLiteral("all")), QStringList());
    }
    QVERIFY(!QFileInfo::exists(m_output));
}

QTEST_MAIN(TestPrintCups)
#include "test_print_cups.moc"
