// SPDX-License-Identifier: MIT
// Start-up, the clock, the clear command, the refusal of every command during a draw and the
// timed wait.
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "draw/blockdraw.h"
#include "model/timeformat.h"
#include "model/waitms.h"
#include "support/fakeplatform.h"
#include "support/filefaults.h"

namespace {

// Counts the events that reach the application while installed.
class EventCounter : public QObject {
public:
    int events = 0;
    bool eventFilter(QObject*, QEvent*) override {
        ++events;
        return false;
    }
};

// The sheet as draws leave it: unsorted numbers on the reels, the stamps and the file name.
void fillSheet(MainWindow& w) {
    for (int i = 0; i < Sheet::kCells; ++i) {
        w.sheet().LabelData.at(static_cast<std::size_t>(i)) = QString::number(40 - i);
        w.model().setReelPicture(i, faceId(40 - i));
    }
    w.sheet().LabelFN.fill(QStringLiteral("2010/03/09,14:05:07"));
    w.sheet().LabelFileName0 = QStringLiteral("100309_1405.csv");
    w.model().setSheetStamp(QStringLiteral("2010/03/09,14:05"));
    w.sheet().LabelS.fill(QStringLiteral("7"));
    w.model().SheetStamped = 1;
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT
private slots:
    void timeFormats_data() {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("clock");
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QString>("file");
        auto row = [](const char* tag, const QDateTime& time, const char* clock, const char* stamp,
                      const char* file) {
            QTest::newRow(tag) << time << QString::fromLatin1(clock) << QString::fromLatin1(stamp)
                               << QString::fromLatin1(file);
        };
        row("afternoon", QDateTime(QDate(2010, 3, 9), QTime(14, 5, 7)), "2010/03/09,14:05:07",
            "2010/03/09,14:05", "100309_1405.csv");
        row("midnight", QDateTime(QDate(2001, 1, 1), QTime(0, 0, 0)), "2001/01/01,00:00:00",
            "2001/01/01,00:00", "010101_0000.csv");
        row("last second", QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59)), "2099/12/31,23:59:59",
            "2099/12/31,23:59", "991231_2359.csv");
    }
    void timeFormats() {
        QFETCH(QDateTime, time);
        QFETCH(QString, clock);
        QFETCH(QString, stamp);
        QFETCH(QString, file);
        QCOMPARE(clockText(time), clock);
        QCOMPARE(clockText(time).size(), 19);
        QCOMPARE(sheetStampText(time), stamp);
        QCOMPARE(sheetFileName(time), file);
    }

    // The clock shows the time before the window is first shown, then follows each tick.
    void clock() {
        FakePlatform platform;
        QDateTime now(QDate(2010, 3, 9), QTime(14, 5, 7));
        platform.clock = [&now] { return now; };
        MainWindow w(platform);
        QCOMPARE(w.LabelDateTime()->text(), QStringLiteral("2010/03/09,14:05:07"));
        QCOMPARE(w.model().CurrentTime, now);
        const Timer* Timer1 = w.findChild<Timer*>(QStringLiteral("Timer1"));
        QVERIFY(Timer1->isActive());
        QCOMPARE(Timer1->interval(), 1000);
        now = now.addSecs(1);
        QVERIFY(QTest::qWaitFor([&] { return w.model().CurrentTime == now; }, 3000));
        QCOMPARE(w.LabelDateTime()->text(), QStringLiteral("2010/03/09,14:05:08"));
    }

    void programFolder_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder") << QStringLiteral("/tmp") << QStringLiteral("/tmp/");
        QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/");
    }
    void programFolder() {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        FakePlatform platform;
        platform.folder = given;
        MainWindow w(platform);
        QCOMPARE(w.model().AppFolder.path, expected);
    }

    // The clear empties the sheet and nothing else; twice is the same as once.
    void clearSheet() {
        FakePlatform platform;
        MainWindow w(platform);
        TavoModel& m = w.model();
        Sheet& s = w.sheet();
        fillSheet(w);
        s.NumberLabelS.fill(QStringLiteral("9"));
        s.ImageDummyFace = 17;
        m.ArmedBlock = 3;
        m.StopTarget = 12;
        m.ReelFace = 11;
        m.FirstSpinningReel = 4;
        m.BallIndex = 5;
        m.FlickPhase = 1;
        w.OptionPrn(1)->setChecked(true);
        w.model().setPhase(2, TavoModel::Phase::Armed);
        w.model().setSwitchPicture(2, PictureId::Stop);
        const QSize stampSize(3, 11);

        for (int round = 0; round < 2; ++round) {
            w.CommandClr_Click();
            QCOMPARE(m.ActiveBlock, 0);
            QCOMPARE(m.SheetStamped, qint16(0));
            for (int i = 0; i < Sheet::kCells; ++i) {
                QVERIFY(s.LabelData.at(static_cast<std::size_t>(i)).isEmpty());
                QCOMPARE(w.model().reelPicture(i), PictureId::Blank);
            }
            for (const QString& stamp : s.LabelFN) {
                QVERIFY(stamp.isEmpty());
            }
            QVERIFY(w.LabelFileName()->text().isEmpty());
            QCOMPARE(w.LabelFileName()->size(), stampSize);
            QVERIFY(s.LabelFileName0.isEmpty());
            // Left alone:
            QCOMPARE(m.ArmedBlock, 3);
            QCOMPARE(m.StopTarget, 12);
            QCOMPARE(m.ReelFace, 11);
            QCOMPARE(m.FirstSpinningReel, 4);
            QCOMPARE(m.BallIndex, qint16(5));
            QCOMPARE(m.FlickPhase, 1);
            QCOMPARE(s.LabelS.at(0), QStringLiteral("7"));
            QCOMPARE(s.NumberLabelS.at(5), QStringLiteral("9"));
            QCOMPARE(s.ImageDummyFace, 17);
            QVERIFY(w.OptionPrn(1)->isChecked());
            QCOMPARE(w.LabelStat(2)->text(), QStringLiteral("停止"));
            QCOMPARE(w.model().switchPicture(2), PictureId::Stop);
            QCOMPARE(w.model().switchPicture(1), PictureId::Start);
        }
    }

    // While a draw runs (ActiveBlock != 0) the commands that read or change the sheet do
    // nothing at all, whether clicked or called; once it is over, the same press acts.
    void commandsRefusedDuringDraw_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("option");
        QTest::addColumn<int>("activeBlock");
        QTest::newRow("clear") << u"CommandClr"_qs << 0 << 1;
        QTest::newRow("sort") << u"CommandSort"_qs << 0 << 2;
        QTest::newRow("save") << u"CommandSave"_qs << 0 << 3;
        QTest::newRow("print text") << u"CommandPrn"_qs << 0 << 1;
        QTest::newRow("print window picture") << u"CommandPrn"_qs << 1 << 3;
        QTest::newRow("print client area") << u"CommandPrn"_qs << 2 << 5;
    }
    void commandsRefusedDuringDraw() {
        QFETCH(QString, command);
        QFETCH(int, option);
        QFETCH(int, activeBlock);
        QTemporaryDir dir;
        FakePlatform platform;
        platform.folder = dir.path();
        int printers = 0;
        platform.printer = [&printers] {
            ++printers;
            return std::unique_ptr<QPrinter>();  // none: a page would go to a PDF file
        };
        MainWindow w(platform);
        fillSheet(w);
        w.OptionPrn(option)->setChecked(true);
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        auto* button = w.findChild<QPushButton*>(command);
        QVERIFY(button);
        const Sheet before = w.sheet();
        auto unchanged = [&] {
            const Sheet& now = w.sheet();
            return now.LabelData == before.LabelData && now.LabelFN == before.LabelFN &&
                   now.LabelFileName0 == before.LabelFileName0 && now.LabelS == before.LabelS &&
                   now.NumberLabelS == before.NumberLabelS &&
                   w.LabelFileName()->text() == u"2010/03/09,14:05" &&
                   w.model().reelPicture(0) == faceId(40) && w.model().SheetStamped == 1;
        };

        w.model().ActiveBlock = activeBlock;
        button->click();
        QVERIFY(unchanged());
        QCOMPARE(w.model().ActiveBlock, activeBlock);
        QCOMPARE(entries(dir.path()), QStringList());
        QCOMPARE(printers, 0);
        QVERIFY(platform.messages.isEmpty());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
        QVERIFY(w.Picture1().isNull());

        w.model().ActiveBlock = 0;
        button->click();
        QVERIFY(!unchanged() || !entries(dir.path()).isEmpty());
    }

    void waitNonPositiveDispatchesNothing() {
        FakePlatform platform;
        MainWindow w(platform);
        EventCounter counter;
        bool ran = false;
        QObject context;  // takes the pending timer with it at the end of the test
        QTimer::singleShot(0, &context, [&ran] { ran = true; });
        qApp->installEventFilter(&counter);
        for (qint16 ms : {qint16(0), qint16(-1), qint16(-32768)}) {
            QElapsedTimer t;
            t.start();
            WaitMs(ms, platform);
            QVERIFY(t.elapsed() < 50);
        }
        qApp->removeEventFilter(&counter);
        QCOMPARE(counter.events, 0);
        QVERIFY(!ran);
    }

    // About 300 ms, with the timers served inside; a nested wait returns first and the outer
    // one keeps its own deadline.
    void waitTimedAndNested() {
        FakePlatform platform;
        MainWindow w(platform);
        int ticks = 0;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(50);
        QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start();
        QElapsedTimer t;
        t.start();
        WaitMs(300, platform);
        const qint64 took = t.elapsed();
        QVERIFY2(took >= 299, qPrintable(QString::number(took)));
        QVERIFY2(ticks >= 4, qPrintable(QString::number(ticks)));

        qint64 innerEnded = 0;
        QTimer::singleShot(50, &w, [&] {
            WaitMs(100, platform);
            innerEnded = t.elapsed();
        });
        t.restart();
        WaitMs(400, platform);
        const qint64 outer = t.elapsed();
        QVERIFY2(innerEnded >= 149, qPrintable(QString::number(innerEnded)));
        QVERIFY(innerEnded < outer);
        QVERIFY2(outer >= 399, qPrintable(QString::number(outer)));
    }

    // A 32-bit tick counter that wraps inside the wait still ends it after about ms.
    void waitAcrossTickWrap_data() {
        QTest::addColumn<qint64>("startTick");
        QTest::newRow("signed wrap") << qint64(0x7FFFFFFF) - 100;
        QTest::newRow("unsigned wrap") << qint64(0xFFFFFFFF) - 100;
    }
    void waitAcrossTickWrap() {
        QFETCH(qint64, startTick);
        FakePlatform platform;
        platform.tickOffset = startTick;
        QElapsedTimer t;
        t.start();
        WaitMs(300, platform);
        QVERIFY2(t.elapsed() >= 299 && t.elapsed() < 5000,
                 qPrintable(QString::number(t.elapsed())));
    }

    // Closing the window ends a wait at once.
    void closeEndsWait() {
        FakePlatform platform;
        MainWindow w(platform);
        w.show();
        QTimer::singleShot(100, &w, [&w] { w.close(); });
        QElapsedTimer t;
        t.start();
        WaitMs(10000, platform);
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
        waitWhile([] { return true; }, platform);  // returns at once once cancelled
        MainWindow again(platform);
        QVERIFY(!platform.waitsCancelled());
    }

    // The client area shows nothing but its own controls: no off-window text anywhere.
    void grabShowsNoOffWindowState() {
        FakePlatform platform;
        MainWindow w(platform);
        const QImage before = w.grab().toImage();
        for (QString& cell : w.sheet().LabelData) {
            cell = QStringLiteral("43");
        }
        w.sheet().LabelFN.fill(QStringLiteral("2010/03/09,14:05:07"));
        w.sheet().LabelFileName0 = QStringLiteral("100309_1405.csv");
        w.sheet().LabelS.fill(QStringLiteral("44"));
        QCOMPARE(w.grab().toImage(), before);
        QCOMPARE(w.grab().size(), QSize(448, 392));
    }
};

QTEST_MAIN(ShellTest)
#include "test_shell.moc"
