// SPDX-License-Identifier: MIT
// The block draw: the candidate number, the reel and lamp ticks, and the two-press protocol on
// the model, run on a simulated clock and recorded as a timeline; closing on the real window.
#include <QElapsedTimer>
#include <QLabel>
#include <QSet>
#include <QTimer>
#include <QtTest>

#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "draw/blockdraw.h"
#include "draw/candidate.h"
#include "model/random.h"
#include "model/tavomodel.h"
#include "model/waitms.h"
#include "support/fakeplatform.h"
#include "support/simplatform.h"

namespace {

const QDateTime kMarch9(QDate(2010, 3, 9), QTime(14, 5, 7));

void press(MainWindow& w, int k) {
    QTest::mouseClick(w.ImageSwitch(k), Qt::LeftButton);
}
void pressLater(MainWindow& w, int k, int ms) {
    QTimer::singleShot(ms, &w, [&w, k] { press(w, k); });
}

// A draw on the model alone, every change of what the window would show written into the
// simulator's timeline.
struct SimDraw {
    SimPlatform p;
    TavoModel m;
    BlockDraw d{m, p};

    static QString pictureName(PictureId id) {
        static const QMap<PictureId, QString> names{{PictureId::Start, u"start"_qs},
                                                    {PictureId::Push, u"push"_qs},
                                                    {PictureId::Stop, u"stop"_qs},
                                                    {PictureId::BusyDark, u"dark"_qs},
                                                    {PictureId::BusyLit, u"lit"_qs}};
        return names.value(id, QString::number(static_cast<int>(id)));
    }

    SimDraw() {
        p.resumeWaits();
        p.watchDraw(m);
        m.CurrentTime = kMarch9;
        QObject::connect(&m, &TavoModel::switchPictureChanged, [this](int b) {
            p.record(QStringLiteral("switch %1 %2").arg(b).arg(pictureName(m.switchPicture(b))));
        });
        QObject::connect(&m, &TavoModel::phaseChanged, [this](int b) {
            if (m.phase(b) == TavoModel::Phase::Pressed) {
                return;  // the status label still says 開始
            }
            p.record(QStringLiteral("status %1 %2 %3")
                         .arg(b)
                         .arg(m.status(b).caption)
                         .arg(m.status(b).colour & 0xffffffu, 6, 16, QLatin1Char('0')));
        });
        QObject::connect(&d, &BlockDraw::blockArmed,
                         [this](int b) { p.record(QStringLiteral("armed %1").arg(b)); });
        QObject::connect(&d, &BlockDraw::numberDrawn, [this](int b, int pos, int n) {
            p.record(QStringLiteral("number %1 %2 %3").arg(b).arg(pos).arg(n));
        });
        QObject::connect(&d, &BlockDraw::drawFinished,
                         [this](int b) { p.record(QStringLiteral("finished %1").arg(b)); });
    }
    void press(int k) {
        p.record(QStringLiteral("press %1").arg(k));
        d.ImageSwitch_Click(k);
    }
    // The second press, ms after the block is armed.
    void releaseAfterArmed(int k, int ms) {
        QObject::connect(&d, &BlockDraw::blockArmed,
                         [this, k, ms] { p.after(ms, [this, k] { press(k); }); });
    }
    static qint64 time(const QString& entry) {
        return entry.section(QLatin1Char(' '), 0, 0).toLongLong();
    }
    QList<qint64> times(const QString& prefix) const {
        QList<qint64> out;
        for (const QString& e : p.entries(prefix)) {
            out << time(e);
        }
        return out;
    }
    QList<int> numbers() const {
        QList<int> out;
        for (const QString& e : p.entries(QStringLiteral("number"))) {
            out << e.section(QLatin1Char(' '), 4, 4).toInt();
        }
        return out;
    }
};

// A whole draw of block B, released 1000 ms after it is armed, with every press that must be
// ignored meanwhile. It starts from what an earlier draw whose last lamp tick was dark, and a
// sort, leave behind.
struct FullDraw : SimDraw {
    std::array<QString, Sheet::kPositions> rowWhenArmed;
    FullDraw() {
        m.FlickPhase = 1;
        m.sheet().LabelS.fill(u"44"_qs);
        releaseAfterArmed(1, 1000);
        QObject::connect(&d, &BlockDraw::blockArmed, [this] {
            rowWhenArmed = m.sheet().LabelS;
            p.after(0, [this] {
                press(0);  // other blocks' switches
                press(4);
            });
            p.after(1100, [this] {
                press(1);  // the own switch after the release
                press(3);
            });
        });
        press(1);
    }
};

// The face the reels show after reel tick j (1, 2, ...) of a draw: they start from 0.
int faceAfterTick(qint64 j) {
    return static_cast<int>((j - 1) % 43) + 1;
}

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
        SimDraw s;
        TavoModel& m = s.m;
        m.setReelPicture(0, faceId(33));  // another block's reel
        m.ActiveBlock = 2;
        m.ReelFace = face;
        m.FirstSpinningReel = 2;
        m.StopTarget = target;
        int n = 0;
        while (m.StopTarget != 0 && n < 100) {
            s.d.TimerDummy_Timer();
            ++n;
            QCOMPARE(m.sheet().ImageDummyFace, m.ReelFace);
            for (int k = 2; k < 6; ++k) {
                QCOMPARE(m.reelPicture(6 + k), faceId(m.ReelFace));
            }
        }
        QCOMPARE(n, ticks);
        QCOMPARE(m.FirstSpinningReel, 3);
        QCOMPARE(m.reelPicture(8), faceId(target));
        s.d.TimerDummy_Timer();  // the stopped reel keeps its face, the rest spin on
        QCOMPARE(m.reelPicture(8), faceId(target));
        QCOMPARE(m.reelPicture(9), faceId(m.ReelFace));
        QCOMPARE(m.reelPicture(6), PictureId::Blank);  // left of the spinning ones
        QCOMPARE(m.reelPicture(0), faceId(33));
        QCOMPARE(m.reelPicture(12), PictureId::Blank);
    }

    void reelTickWithoutDraw() {
        SimDraw s;
        TavoModel& m = s.m;
        m.ReelFace = 43;
        m.StopTarget = 1;
        s.d.TimerDummy_Timer();
        QCOMPARE(m.ReelFace, 1);
        QCOMPARE(m.sheet().ImageDummyFace, 1);
        QCOMPARE(m.StopTarget, 1);
        QCOMPARE(m.FirstSpinningReel, 0);
        for (int i = 0; i < Sheet::kCells; ++i) {
            QCOMPARE(m.reelPicture(i), PictureId::Blank);
        }
    }

    void reelTimerStopsAfterSixth() {
        SimDraw s;
        TavoModel& m = s.m;
        m.ActiveBlock = 5;
        m.FirstSpinningReel = 5;
        m.ReelFace = 20;
        m.StopTarget = 21;
        s.d.TimerDummy.start(50);
        s.d.TimerDummy_Timer();
        QCOMPARE(m.FirstSpinningReel, 6);
        QVERIFY(!s.d.TimerDummy.isActive());
    }

    void lampAlternates() {
        SimDraw s;
        TavoModel& m = s.m;
        m.ActiveBlock = 3;
        m.FlickPhase = 0;
        QList<PictureId> seen;
        for (int i = 0; i < 4; ++i) {
            s.d.TimerFlick_Timer();
            seen << m.switchPicture(2);
        }
        QCOMPARE(seen, (QList<PictureId>{PictureId::BusyDark, PictureId::BusyLit,
                                         PictureId::BusyDark, PictureId::BusyLit}));
        QCOMPARE(m.switchPicture(1), PictureId::Start);
    }

    // The presses: the first arms at 300 ms, other blocks' switches leave it armed, the own
    // switch releases it, and after the release no switch does anything.
    void fullDrawPresses() {
        FullDraw s;
        QVERIFY(!s.p.stalled);
        const QStringList& t = s.p.timeline;
        QCOMPARE(t.mid(0, 12), (QStringList{
                                   u"0 press 1"_qs,
                                   u"0 switch 1 push"_qs,
                                   u"300 switch 1 stop"_qs,
                                   u"300 status 1 停止 ff0000"_qs,
                                   u"300 beep"_qs,
                                   u"300 armed 2"_qs,
                                   u"300 press 0"_qs,
                                   u"300 press 4"_qs,
                                   u"1300 press 1"_qs,
                                   u"1300 beep"_qs,
                                   u"1300 status 1 動作中 00c000"_qs,
                                   u"1300 random"_qs,
                               }));
        QCOMPARE(s.p.entries(u"press"_qs).size(), 6);
        QVERIFY(t.contains(u"1400 press 1"_qs) && t.contains(u"1400 press 3"_qs));
        QCOMPARE(s.p.reseeds, 1);
    }

    // Each number stops on the first reel tick (every 50 ms from 300) showing it, beeps and
    // stands in the sheet, the row display blank until then; the six are distinct.
    void fullDrawNumbers() {
        FullDraw s;
        for (const QString& cell : s.rowWhenArmed) {
            QCOMPARE(cell, u"  "_qs);
        }
        const QList<qint64> stops = s.times(u"number 2"_qs);
        const QList<int> numbers = s.numbers();
        QCOMPARE(stops.size(), 6);
        QCOMPARE(QSet<int>(numbers.begin(), numbers.end()).size(), 6);
        qint64 from = 1300;
        for (int i = 0; i < 6; ++i) {
            const qint64 tick = (stops.at(i) - 300) / 50;
            QCOMPARE((stops.at(i) - 300) % 50, 0);
            QCOMPARE(faceAfterTick(tick), numbers.at(i));
            QVERIFY(stops.at(i) > from && stops.at(i) - from <= 43 * 50);
            from = stops.at(i);
            QCOMPARE(s.m.sheet().LabelData.at(Sheet::cell(1, i)), QString::number(numbers.at(i)));
            QCOMPARE(s.m.sheet().LabelS.at(i), QString::number(numbers.at(i)));
            QCOMPARE(s.m.reelPicture(Sheet::cell(1, i)), faceId(numbers.at(i)));
        }
        QCOMPARE(s.times(u"beep"_qs).mid(2, 6), stops);
    }

    // The lamp: dark 500 ms after the release (whatever phase an earlier draw left), then
    // alternating every 500 ms until the last number.
    void fullDrawLamp() {
        FullDraw s;
        const QStringList lamp = s.p.entries(u"switch 1 "_qs).mid(2);
        QVERIFY(lamp.size() >= 2);
        for (int i = 0; i + 1 < lamp.size(); ++i) {
            QCOMPARE(lamp.at(i),
                     u"%1 switch 1 %2"_qs.arg(1800 + 500 * i).arg(i % 2 ? u"lit"_qs : u"dark"_qs));
            QVERIFY(SimDraw::time(lamp.at(i)) <= s.times(u"number 2"_qs).value(5));
        }
    }

    // 500 ms after the last number: the idle switch and status, the ninth beep, the end; both
    // timers stopped, and no other block touched.
    void fullDrawFinish() {
        FullDraw s;
        const QStringList& t = s.p.timeline;
        const qint64 last = s.times(u"number 2"_qs).value(5);
        QCOMPARE(s.times(u"beep"_qs).size(), 9);
        QCOMPARE(t.mid(t.size() - 4),
                 (QStringList{u"%1 switch 1 start"_qs.arg(last + 500),
                              u"%1 status 1 開始 0000ff"_qs.arg(last + 500),
                              u"%1 beep"_qs.arg(last + 500), u"%1 finished 2"_qs.arg(last + 500)}));
        QCOMPARE(s.m.ActiveBlock, 0);
        QCOMPARE(s.m.ArmedBlock, 0);
        QVERIFY(!s.d.TimerDummy.isActive());
        QVERIFY(!s.d.TimerFlick.isActive());
        for (int b : {0, 2, 3, 4}) {
            for (int p = 0; p < 6; ++p) {
                QVERIFY(s.m.sheet().LabelData.at(Sheet::cell(b, p)).isEmpty());
                QCOMPARE(s.m.reelPicture(Sheet::cell(b, p)), PictureId::Blank);
            }
            QVERIFY(s.m.sheet().LabelFN.at(b).isEmpty());
            QCOMPARE(s.m.switchPicture(b), PictureId::Start);
        }
        QCOMPARE(s.m.sheet().LabelFN.at(1), u"2010/03/09,14:05:07"_qs);
        QCOMPARE(s.m.sheetStamp(), u"2010/03/09,14:05"_qs);
        QCOMPARE(s.m.sheet().LabelFileName0, u"100309_1405.csv"_qs);
        QCOMPARE(s.m.SheetStamped, qint16(1));
    }

    // A release inside the first 300 ms: the draw starts the moment the block is armed.
    void releaseWithin300ms() {
        SimDraw s;
        s.p.at(100, [&s] { s.press(1); });
        s.press(1);
        QCOMPARE(s.p.timeline.mid(0, 8), (QStringList{
                                             u"0 press 1"_qs,
                                             u"0 switch 1 push"_qs,
                                             u"100 press 1"_qs,
                                             u"300 switch 1 stop"_qs,
                                             u"300 status 1 停止 ff0000"_qs,
                                             u"300 beep"_qs,
                                             u"300 armed 2"_qs,
                                             u"300 beep"_qs,
                                         }));
        QCOMPARE(s.p.beeps, 9);
        QCOMPARE(s.m.ActiveBlock, 0);
    }

    // A repeated candidate is dropped and the draw waits m ms (the tick counter's milliseconds
    // when it was drawn) before the next attempt; with the tick counter anywhere, past 2^31 and
    // across its wrap included. R = 0 gives 1 whatever S is, so the second position's first
    // attempt repeats the first position's number. The clock ticks during that wait: each number
    // is the one that its own attempt's clock, tick counter and R give.
    void repeatsWaitAndTicksWrap_data() {
        QTest::addColumn<qint64>("tickOffset");
        QTest::newRow("small") << qint64(1234);
        QTest::newRow("past 2^31 during the press") << (qint64(1) << 31) - 170;
        QTest::newRow("negative") << (qint64(1) << 31) + 56789;
        QTest::newRow("wrapping during the press") << (qint64(1) << 32) - 170;
    }
    void repeatsWaitAndTicksWrap() {
        QFETCH(qint64, tickOffset);
        SimDraw s;
        s.p.tickOffset = tickOffset;
        struct Attempt {
            qint64 at;
            QDateTime clock;
            float r;
        };
        QList<Attempt> attempts;
        RandomGenerator rest;
        s.p.random = [&] {
            attempts << Attempt{s.p.nowMs, s.m.CurrentTime,
                                attempts.size() < 2 ? 0.0f : rest.next()};
            if (attempts.size() == 2) {
                s.p.after(0, [&s] { s.m.ShowClock(s.m.CurrentTime.addSecs(1)); });
            }
            return attempts.last().r;
        };
        s.releaseAfterArmed(1, 400);
        s.press(1);
        QVERIFY(!s.p.stalled);
        QCOMPARE(s.p.timeline.at(2), u"300 switch 1 stop"_qs);
        QCOMPARE(s.numbers().value(0), 1);
        const QList<int> numbers = s.numbers();
        QCOMPARE(QSet<int>(numbers.begin(), numbers.end()).size(), 6);
        QCOMPARE(s.p.beeps, 9);
        // Between the repeat and the next attempt: exactly m ms, and no reel stops meanwhile.
        const QList<qint64> draws = s.times(u"random"_qs);
        QVERIFY(draws.size() >= 7);
        const qint64 repeatAt = draws.at(1);
        const int m =
            ::tickMillis(static_cast<qint32>(static_cast<quint32>(tickOffset + repeatAt)));
        QCOMPARE(draws.at(2) - repeatAt, qint64(m));
        QCOMPARE(s.times(u"number 2 2"_qs).value(0) > draws.at(2), true);
        const QList<qint64> stops = s.times(u"number 2"_qs);
        for (int i = 0; i < stops.size(); ++i) {
            auto a = std::find_if(attempts.rbegin(), attempts.rend(),
                                  [&](const Attempt& e) { return e.at < stops.at(i); });
            const qint32 tick = static_cast<qint32>(static_cast<quint32>(tickOffset + a->at));
            QCOMPARE(numbers.at(i),
                     ::candidateNumber(::candidateBase(a->clock, ::tickMillis(tick)), a->r));
        }
        QCOMPARE(attempts.at(2).clock, kMarch9.addSecs(1));
    }

    // Only the first draw after a clear stamps the sheet; every draw stamps its block.
    void stampsOnFirstDrawOnly() {
        SimDraw s;
        s.releaseAfterArmed(1, 100);
        s.press(1);
        s.m.CurrentTime = kMarch9.addSecs(60);
        const auto before = s.m.sheet().LabelData;
        bool keptOld = true;
        QObject::connect(&s.d, &BlockDraw::numberDrawn, [&](int, int position, int) {
            for (int p = position; p < 6; ++p) {
                keptOld = keptOld && s.m.sheet().LabelData.at(Sheet::cell(1, p)) ==
                                         before.at(Sheet::cell(1, p));
            }
        });
        s.press(1);
        QVERIFY(keptOld);  // old numbers stay until overwritten
        QCOMPARE(s.m.sheet().LabelFN.at(1), u"2010/03/09,14:06:07"_qs);
        QCOMPARE(s.m.sheetStamp(), u"2010/03/09,14:05"_qs);
        QCOMPARE(s.m.sheet().LabelFileName0, u"100309_1405.csv"_qs);

        s.m.CurrentTime = QDateTime(QDate(2011, 4, 1), QTime(9, 30, 0));
        s.m.ClearSheet();
        QCOMPARE(s.m.SheetStamped, qint16(0));
        QVERIFY(s.m.sheetStamp().isEmpty());
        s.releaseAfterArmed(0, 100);
        s.press(0);
        QCOMPARE(s.m.sheetStamp(), u"2011/04/01,09:30"_qs);
        QCOMPARE(s.m.sheet().LabelFileName0, u"110401_0930.csv"_qs);
        QVERIFY(s.m.sheet().LabelFN.at(1).isEmpty());
        QCOMPARE(s.m.reelPicture(Sheet::cell(1, 0)), PictureId::Blank);
    }

    // Ending the waits (as closing the window does) in any phase unwinds the draw at once,
    // with both timers stopped.
    void endedInAnyPhase_data() {
        QTest::addColumn<int>("endAt");
        QTest::newRow("pressed") << 100;
        QTest::newRow("armed") << 600;
        QTest::newRow("drawing") << 1200;
        QTest::newRow("finishing") << -1;
    }
    void endedInAnyPhase() {
        QFETCH(int, endAt);
        SimDraw s;
        s.releaseAfterArmed(0, 500);
        qint64 endedAt = -1;
        auto end = [&] {
            endedAt = s.p.nowMs;
            s.p.cancelWaits();
            s.d.stopTimers();
        };
        if (endAt >= 0) {
            s.p.at(endAt, end);
        } else {
            QObject::connect(&s.d, &BlockDraw::numberDrawn, [&](int, int p, int) {
                if (p == 6) {
                    s.p.after(100, end);
                }
            });
        }
        s.press(0);
        QVERIFY(endedAt >= 0);
        QCOMPARE(s.p.nowMs, endedAt);
        QVERIFY(!s.p.stalled);
        QVERIFY(!s.d.TimerDummy.isActive());
        QVERIFY(!s.d.TimerFlick.isActive());
        QVERIFY(s.p.entries(u"finished"_qs).isEmpty());
        s.p.resumeWaits();
    }

    // Closing the real window ends the draw, and so the program, within a second; the phases
    // on real timers that a user can hit with the close box (every phase, on the simulated
    // clock: endedInAnyPhase).
    void closeInAnyPhase_data() {
        QTest::addColumn<int>("closeAfter");
        QTest::addColumn<bool>("release");
        QTest::newRow("pressed") << 100 << false;
        QTest::newRow("armed") << 600 << false;
        QTest::newRow("drawing") << 700 << true;
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
        QTimer::singleShot(closeAfter, &w, close);
        t.start();
        press(w, 0);
        QVERIFY(closedAt >= 0);
        QVERIFY2(t.elapsed() - closedAt < 1000,
                 qPrintable(QString::number(t.elapsed() - closedAt)));
        QVERIFY(!(*w.findChild<BlockDraw*>()).TimerDummy.isActive());
        QVERIFY(!(*w.findChild<BlockDraw*>()).TimerFlick.isActive());
    }

    // A double-click on a switch is one press: it arms the block, which stays armed. Two presses
    // within the 300 ms that the platform does not pair into a double-click release it at once.
    void doubleClick_data() {
        QTest::addColumn<int>("secondAfter");  // platform time of the second press; -1: none
        QTest::addColumn<bool>("released");
        // Through the window as a display sends them; Qt adds the double-click event itself.
        QTest::newRow("double-click") << 80 << false;
        QTest::newRow("two clicks, not paired") << 5000 << true;
        // As QTest delivers a double-click to a widget: press, release, double-click, release.
        QTest::newRow("widget events") << -1 << false;
    }
    void doubleClick() {
        QFETCH(int, secondAfter);
        QFETCH(bool, released);
        FakePlatform platform;
        MainWindow w(platform);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        PictureControl* sw = w.ImageSwitch(2);
        QWindow* window = w.windowHandle();
        const QPointF at = sw->mapTo(&w, QPointF(16, 16));
        static int t0 = 1000000;
        t0 += 100000;
        auto send = [&](QEvent::Type type, int t) {
            const bool down = type != QEvent::MouseButtonRelease;
            qt_handleMouseEvent(window, at, window->mapToGlobal(at),
                                down ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton, type,
                                Qt::NoModifier, t0 + t);
        };
        QTimer::singleShot(100, &w, [&] {
            if (secondAfter < 0) {
                QTest::mouseDClick(sw, Qt::LeftButton);
                QTest::mouseRelease(sw, Qt::LeftButton);
            } else {
                send(QEvent::MouseButtonPress, secondAfter);
                send(QEvent::MouseButtonRelease, secondAfter + 20);
            }
        });
        int armed = -1;
        QString status;
        QTimer::singleShot(600, &w, [&] {
            armed = w.model().ArmedBlock;
            status = w.LabelStat(2)->text();
            w.close();  // ends the draw
        });
        if (secondAfter < 0) {
            QTest::mouseClick(sw, Qt::LeftButton);
        } else {
            send(QEvent::MouseButtonPress, 0);
            send(QEvent::MouseButtonRelease, 20);
        }
        QCOMPARE(armed, released ? 0 : 3);
        QCOMPARE(status, released ? QStringLiteral("動作中") : QStringLiteral("停止"));
    }
};

QTEST_MAIN(DrawTest)
#include "test_draw.moc"
