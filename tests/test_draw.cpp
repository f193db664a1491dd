// SPDX-License-Identifier: MIT
// The block draw: the candidate number, the reel and lamp ticks, and the two-press protocol on
// the real window with real timers.
#include <QElapsedTimer>
#include <QLabel>
#include <QSet>
#include <QTimer>
#include <QtTest>

#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "draw/blockdraw.h"
#include "draw/candidate.h"
#include "platform/random.h"
#include "platform/waitms.h"
#include "support/fakeplatform.h"

namespace {

const QDateTime kMarch9(QDate(2010, 3, 9), QTime(14, 5, 7));

void press(MainWindow& w, int k) {
    QTest::mouseClick(w.ImageSwitch(k), Qt::LeftButton);
}
void pressLater(MainWindow& w, int k, int ms) {
    QTimer::singleShot(ms, &w, [&w, k] { press(w, k); });
}

// Samples, every few milliseconds, what a switch shows, until the test ends it.
struct SwitchRecorder {
    QList<PictureId> seen;
    QTimer timer;
    SwitchRecorder(MainWindow& w, int k) {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this, &w, k] {
            const PictureId id = w.ImageSwitch(k)->pictureId();
            if (seen.isEmpty() || seen.last() != id) {
                seen << id;
            }
        });
        timer.start();
    }
};

}  // namespace

class DrawTest : public QObject {
    Q_OBJECT
private slots:
    void tickMillis_data() {
        QTest::addColumn<qint32>("tick");
        QTest::addColumn<int>("millis");
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("positive") << 123456789 << 789;
        QTest::newRow("largest") << std::numeric_limits<qint32>::max() << 647;
        QTest::newRow("minus one") << -1 << 999;
        QTest::newRow("minus 1000") << -1000 << 0;
        QTest::newRow("smallest") << std::numeric_limits<qint32>::min() << 352;
    }
    void tickMillis() {
        QFETCH(qint32, tick);
        QFETCH(int, millis);
        QCOMPARE(::tickMillis(tick), millis);
    }

    void candidateBase_data() {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<int>("millis");
        QTest::addColumn<int>("base");
        QTest::newRow("9 March 2010 14:05:07") << kMarch9 << 0 << 2064;
        QTest::newRow("with ms") << kMarch9 << 999 << 3063;
        QTest::newRow("smallest") << QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0)) << 0 << 86;
        QTest::newRow("largest") << QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59)) << 999
                                 << 13168;
    }
    void candidateBase() {
        QFETCH(QDateTime, time);
        QFETCH(int, millis);
        QFETCH(int, base);
        QCOMPARE(int(::candidateBase(time, millis)), base);
    }

    void candidateNumber_data() {
        QTest::addColumn<int>("base");
        QTest::addColumn<float>("r");
        QTest::addColumn<int>("number");
        const float below1 = RandomGenerator::toUnit(0xFFFFFFFFu);
        QTest::newRow("R = 0") << 2064 << 0.0f << 1;
        QTest::newRow("R just below 1, S largest") << 13168 << below1 << 10;  // X = 13168
        QTest::newRow("remainder 0 gives 43") << 43 << 0.99f << 43;           // X = 43
        QTest::newRow("X = 86 gives 43") << 86 << below1 << 43;
        QTest::newRow("X = 44 gives 1") << 86 << 0.5f << 1;
        QTest::newRow("middle") << 2064 << 0.25f << (516 + 1) % 43;
    }
    void candidateNumber() {
        QFETCH(int, base);
        QFETCH(float, r);
        QFETCH(int, number);
        QCOMPARE(::candidateNumber(static_cast<qint16>(base), r), number);
    }

    // R stays below 1 for every output of the engine, the largest included.
    void randomBelowOne() {
        QVERIFY(RandomGenerator::toUnit(0xFFFFFFFFu) < 1.0f);
        QCOMPARE(RandomGenerator::toUnit(0u), 0.0f);
        RandomGenerator g;
        g.seed(42);
        for (int i = 0; i < 100000; ++i) {
            const float r = g.next();
            QVERIFY(r >= 0.0f && r < 1.0f);
        }
    }

    // A target N set while the reels show F stops on tick ((N - F - 1) mod 43) + 1.
    void reelStop_data() {
        QTest::addColumn<int>("face");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("ticks");
        QTest::newRow("one above") << 5 << 6 << 1;
        QTest::newRow("43 then 1") << 43 << 1 << 1;
        QTest::newRow("same face, full turn") << 10 << 10 << 43;
        QTest::newRow("one below") << 10 << 9 << 42;
        QTest::newRow("fresh draw, 1") << 0 << 1 << 1;
        QTest::newRow("fresh draw, 43") << 0 << 43 << 43;
    }
    void reelStop() {
        QFETCH(int, face);
        QFETCH(int, target);
        QFETCH(int, ticks);
        FakePlatform platform;
        MainWindow w(platform);
        BlockDraw& d = w.draw();
        TavoModel& m = w.model();
        w.model().setReelPicture(0, faceId(33));  // another block's reel
        m.ActiveBlock = 2;
        m.ReelFace = face;
        m.FirstSpinningReel = 2;
        m.StopTarget = target;
        int n = 0;
        while (m.StopTarget != 0 && n < 100) {
            d.TimerDummy_Timer();
            ++n;
            QCOMPARE(w.sheet().ImageDummyFace, m.ReelFace);
            for (int k = 2; k < 6; ++k) {
                QCOMPARE(w.ImageWin(6 + k)->pictureId(), faceId(m.ReelFace));
            }
        }
        QCOMPARE(n, ticks);
        QCOMPARE(m.FirstSpinningReel, 3);
        QCOMPARE(w.ImageWin(8)->pictureId(), faceId(target));
        d.TimerDummy_Timer();  // the stopped reel keeps its face, the rest spin on
        QCOMPARE(w.ImageWin(8)->pictureId(), faceId(target));
        QCOMPARE(w.ImageWin(9)->pictureId(), faceId(m.ReelFace));
        QCOMPARE(w.ImageWin(6)->pictureId(), PictureId::Blank);  // left of the spinning ones
        QCOMPARE(w.ImageWin(0)->pictureId(), faceId(33));
        QCOMPARE(w.ImageWin(12)->pictureId(), PictureId::Blank);
    }

    void reelTickWithoutDraw() {
        FakePlatform platform;
        MainWindow w(platform);
        BlockDraw& d = w.draw();
        TavoModel& m = w.model();
        m.ReelFace = 43;
        m.StopTarget = 1;
        d.TimerDummy_Timer();
        QCOMPARE(m.ReelFace, 1);
        QCOMPARE(w.sheet().ImageDummyFace, 1);
        QCOMPARE(m.StopTarget, 1);
        QCOMPARE(m.FirstSpinningReel, 0);
        for (int i = 0; i < Sheet::kCells; ++i) {
            QCOMPARE(w.ImageWin(i)->pictureId(), PictureId::Blank);
        }
    }

    void reelTimerStopsAfterSixth() {
        FakePlatform platform;
        MainWindow w(platform);
        BlockDraw& d = w.draw();
        TavoModel& m = w.model();
        m.ActiveBlock = 5;
        m.FirstSpinningReel = 5;
        m.ReelFace = 20;
        m.StopTarget = 21;
        d.TimerDummy.start(50);
        d.TimerDummy_Timer();
        QCOMPARE(m.FirstSpinningReel, 6);
        QVERIFY(!d.TimerDummy.isActive());
        const int face = w.sheet().ImageDummyFace;
        QTest::qWait(150);
        QCOMPARE(w.sheet().ImageDummyFace, face);
    }

    void lampAlternates() {
        FakePlatform platform;
        MainWindow w(platform);
        BlockDraw& d = w.draw();
        TavoModel& m = w.model();
        m.ActiveBlock = 3;
        m.FlickPhase = 0;
        QList<PictureId> seen;
        for (int i = 0; i < 4; ++i) {
            d.TimerFlick_Timer();
            seen << w.ImageSwitch(2)->pictureId();
        }
        QCOMPARE(seen, (QList<PictureId>{PictureId::BusyDark, PictureId::BusyLit,
                                         PictureId::BusyDark, PictureId::BusyLit}));
        QCOMPARE(w.ImageSwitch(1)->pictureId(), PictureId::Start);
    }

    // A whole draw of block B through the window: phases, beeps, numbers, stamps, and every
    // press that must be ignored meanwhile.
    void fullDraw() {
        FakePlatform platform;
        QDateTime now = kMarch9;
        platform.clock = [&now] { return now; };
        MainWindow w(platform);
        w.show();
        BlockDraw& d = w.draw();
        TavoModel& m = w.model();
        QList<int> order;
        QObject::connect(&d, &BlockDraw::numberDrawn, [&order](int, int, int n) { order << n; });

        struct Phase {
            PictureId sw;
            QString status;
            QColor colour;
            int active, armed;
        };
        auto phase = [&w, &m] {
            return Phase{w.ImageSwitch(1)->pictureId(), w.LabelStat(1)->text(),
                         w.LabelStat(1)->palette().color(QPalette::WindowText), m.ActiveBlock,
                         m.ArmedBlock};
        };
        Phase pressed{}, armed{}, drawing{};
        int beepsWhenArmed = -1;
        QStringList rowWhenArmed;
        QTimer::singleShot(150, &w, [&] { pressed = phase(); });
        QTimer::singleShot(700, &w, [&] {
            armed = phase();
            beepsWhenArmed = platform.beeps;
            rowWhenArmed = QStringList(w.sheet().LabelS.begin(), w.sheet().LabelS.end());
            press(w, 0);  // another block's switch: ignored
            press(w, 4);
            w.CommandClr_Click();
            w.CommandSort_Click();
        });
        pressLater(w, 1, 900);  // the release
        QTimer::singleShot(1100, &w, [&] {
            drawing = phase();
            press(w, 1);  // the own switch after the release: ignored
            press(w, 3);
            w.CommandClr_Click();
        });
        QElapsedTimer t;
        t.start();
        press(w, 1);

        QVERIFY2(t.elapsed() >= 900, "the first press returns only when the draw has ended");
        QCOMPARE(pressed.sw, PictureId::Push);
        QCOMPARE(pressed.status, QStringLiteral("開始"));
        QCOMPARE(pressed.active, 2);
        QCOMPARE(pressed.armed, 2);
        QCOMPARE(armed.sw, PictureId::Stop);
        QCOMPARE(armed.status, QStringLiteral("停止"));
        QCOMPARE(armed.colour, QColor(255, 0, 0));
        QCOMPARE(beepsWhenArmed, 1);
        QCOMPARE(rowWhenArmed, QStringList(6, QStringLiteral("  ")));
        QVERIFY(drawing.sw == PictureId::Stop || drawing.sw == PictureId::BusyDark);
        QCOMPARE(drawing.status, QStringLiteral("動作中"));
        QCOMPARE(drawing.colour, QColor(0, 192, 0));
        QCOMPARE(drawing.active, 2);
        QCOMPARE(drawing.armed, 0);

        // Finished: idle again, nine beeps, six distinct numbers matching the reels.
        QCOMPARE(m.ActiveBlock, 0);
        QCOMPARE(platform.beeps, 9);
        QCOMPARE(platform.reseeds, 1);
        QCOMPARE(w.ImageSwitch(1)->pictureId(), PictureId::Start);
        QCOMPARE(w.LabelStat(1)->text(), QStringLiteral("開始"));
        QCOMPARE(w.LabelStat(1)->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(!d.TimerDummy.isActive());
        QVERIFY(!d.TimerFlick.isActive());
        QSet<int> distinct;
        for (int p = 0; p < 6; ++p) {
            bool ok = false;
            const int n = w.sheet().LabelData.at(Sheet::cell(1, p)).toInt(&ok);
            QVERIFY(ok && n >= 1 && n <= 43);
            QCOMPARE(w.ImageWin(Sheet::cell(1, p))->pictureId(), faceId(n));
            QCOMPARE(w.sheet().LabelS.at(p), QString::number(n));
            QCOMPARE(order.at(p), n);
            distinct << n;
        }
        QCOMPARE(distinct.size(), 6);
        for (int b : {0, 2, 3, 4}) {
            for (int p = 0; p < 6; ++p) {
                QVERIFY(w.sheet().LabelData.at(Sheet::cell(b, p)).isEmpty());
                QCOMPARE(w.ImageWin(Sheet::cell(b, p))->pictureId(), PictureId::Blank);
            }
            QVERIFY(w.sheet().LabelFN.at(b).isEmpty());
            QCOMPARE(w.ImageSwitch(b)->pictureId(), PictureId::Start);
        }
        QCOMPARE(w.sheet().LabelFN.at(1), QStringLiteral("2010/03/09,14:05:07"));
        QCOMPARE(w.LabelFileName()->text(), QStringLiteral("2010/03/09,14:05"));
        QCOMPARE(w.sheet().LabelFileName0, QStringLiteral("100309_1405.csv"));
        QCOMPARE(m.SheetStamped, qint16(1));

        // A second draw of the same block, a minute later, with a release inside the 300 ms:
        // the block is stamped anew, the sheet stamp stays, old numbers stay until overwritten.
        now = now.addSecs(60);
        w.ShowClock();
        const auto before = w.sheet().LabelData;
        bool keptOld = true;
        QObject::connect(&d, &BlockDraw::numberDrawn, [&](int, int position, int) {
            for (int p = position; p < 6; ++p) {
                keptOld = keptOld &&
                          w.sheet().LabelData.at(Sheet::cell(1, p)) == before.at(Sheet::cell(1, p));
            }
        });
        SwitchRecorder lamp(w, 1);
        platform.beeps = 0;
        pressLater(w, 1, 100);
        t.restart();
        press(w, 1);
        QTest::qWait(20);  // one more sample of the switch
        QVERIFY(keptOld);
        QCOMPARE(platform.beeps, 9);
        QCOMPARE(w.sheet().LabelFN.at(1), QStringLiteral("2010/03/09,14:06:07"));
        QCOMPARE(w.LabelFileName()->text(), QStringLiteral("2010/03/09,14:05"));
        QCOMPARE(w.sheet().LabelFileName0, QStringLiteral("100309_1405.csv"));
        // Pressed, armed, then the lamp: dark first, then alternating, then idle.
        QVERIFY(lamp.seen.size() >= 4);
        QCOMPARE(lamp.seen.mid(0, 3),
                 (QList<PictureId>{PictureId::Push, PictureId::Stop, PictureId::BusyDark}));
        for (qsizetype i = 3; i + 1 < lamp.seen.size(); ++i) {
            QCOMPARE(lamp.seen.at(i), i % 2 ? PictureId::BusyLit : PictureId::BusyDark);
        }
        QCOMPARE(lamp.seen.last(), PictureId::Start);
    }

    // After a clear the next draw stamps the sheet anew.
    void clearRestampsSheet() {
        FakePlatform platform;
        QDateTime now = kMarch9;
        platform.clock = [&now] { return now; };
        MainWindow w(platform);
        pressLater(w, 4, 50);
        press(w, 4);
        QCOMPARE(w.sheet().LabelFileName0, QStringLiteral("100309_1405.csv"));
        now = QDateTime(QDate(2011, 4, 1), QTime(9, 30, 0));
        w.ShowClock();
        w.CommandClr_Click();
        QCOMPARE(w.model().SheetStamped, qint16(0));
        pressLater(w, 0, 50);
        press(w, 0);
        QCOMPARE(w.LabelFileName()->text(), QStringLiteral("2011/04/01,09:30"));
        QCOMPARE(w.sheet().LabelFileName0, QStringLiteral("110401_0930.csv"));
        QVERIFY(w.sheet().LabelFN.at(4).isEmpty());
        QVERIFY(w.ImageWin(Sheet::cell(4, 0))->pictureId() == PictureId::Blank);
    }

    // A repeat is rejected without a trace: R = 0 gives 1 whatever S is, so the second
    // position's first attempt repeats the first position's number.
    void repeatsRejected() {
        FakePlatform platform;
        int calls = 0;
        RandomGenerator rest;
        platform.random = [&calls, &rest] { return calls++ < 2 ? 0.0f : rest.next(); };
        platform.clock = [] { return kMarch9; };
        MainWindow w(platform);
        pressLater(w, 2, 50);
        press(w, 2);
        QSet<int> distinct;
        for (int p = 0; p < 6; ++p) {
            distinct << w.sheet().LabelData.at(Sheet::cell(2, p)).toInt();
        }
        QCOMPARE(w.sheet().LabelData.at(Sheet::cell(2, 0)), QStringLiteral("1"));
        QCOMPARE(distinct.size(), 6);
        QCOMPARE(platform.beeps, 9);
        QVERIFY(calls >= 7);
    }

    // Closing the window in any phase ends the draw, and so the program, within a second.
    void closeInAnyPhase_data() {
        QTest::addColumn<int>("closeAfter");
        QTest::addColumn<bool>("release");
        QTest::newRow("pressed") << 100 << false;
        QTest::newRow("armed") << 600 << false;
        QTest::newRow("drawing") << 700 << true;
        QTest::newRow("finishing") << -1 << true;
    }
    void closeInAnyPhase() {
        QFETCH(int, closeAfter);
        QFETCH(bool, release);
        FakePlatform platform;
        MainWindow w(platform);
        w.show();
        QElapsedTimer t;
        qint64 closedAt = -1;
        auto close = [&] {
            closedAt = t.elapsed();
            w.close();
        };
        if (release) {
            pressLater(w, 0, 400);
        }
        if (closeAfter >= 0) {
            QTimer::singleShot(closeAfter, &w, close);
        } else {
            QObject::connect(&w.draw(), &BlockDraw::numberDrawn, &w, [&](int, int p, int) {
                if (p == 6) {
                    QTimer::singleShot(100, &w, close);
                }
            });
        }
        t.start();
        press(w, 0);
        QVERIFY(closedAt >= 0);
        QVERIFY2(t.elapsed() - closedAt < 1000,
                 qPrintable(QString::number(t.elapsed() - closedAt)));
        QVERIFY(!w.draw().TimerDummy.isActive());
        QVERIFY(!w.draw().TimerFlick.isActive());
    }
};

QTEST_MAIN(DrawTest)
#include "test_draw.moc"
