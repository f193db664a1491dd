// SPDX-License-Identifier: MIT
// Random use: a fixed number of random clicks on every switch, button and option of the real
// window, draws included, with the program's invariants checked after every one. The draws'
// timers and the pauses between clicks run on a simulated clock, so a seed gives the same run
// every time: TAVO_RANDOM_SEED replays one (a failure prints its seed).
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "draw/blockdraw.h"
#include "support/simplatform.h"

class RandomUseTest : public QObject {
    Q_OBJECT
private:
    QStringList m_failures;
    void expect(bool ok, const QString& what) {
        if (!ok && m_failures.size() < 20) {
            m_failures << what;
        }
    }

    // What must hold whatever was clicked, in whatever phase.
    void checkInvariants(MainWindow& w, const QString& after) {
        const TavoModel& m = w.model();
        const Sheet& s = w.sheet();
        expect(m.ActiveBlock >= 0 && m.ActiveBlock <= 5, after + QStringLiteral(": ActiveBlock"));
        expect(m.ActiveBlock != 0 || m.ArmedBlock == 0, after + QStringLiteral(": armed, idle"));
        expect((m.SheetStamped == 1) == !w.LabelFileName()->text().isEmpty(),
               after + QStringLiteral(": sheet stamp"));
        expect(w.LabelFileName()->text().isEmpty() == s.LabelFileName0.isEmpty(),
               after + QStringLiteral(": sheet file name"));
        for (int b = 0; b < Sheet::kBlocks; ++b) {
            const QString block = after + QStringLiteral(": block %1").arg(b + 1);
            if (b == m.ActiveBlock - 1) {
                continue;  // mid-draw: old numbers give way one by one
            }
            expect(w.model().switchPicture(b) == PictureId::Start,
                   block + QStringLiteral(" switch"));
            expect(w.LabelStat(b)->text() == u"開始", block + QStringLiteral(" status"));
            if (s.LabelFN.at(b).isEmpty()) {
                for (int p = 0; p < 6; ++p) {
                    expect(s.LabelData.at(Sheet::cell(b, p)).isEmpty(),
                           block + QStringLiteral(" empty cell"));
                    expect(w.model().reelPicture(Sheet::cell(b, p)) == PictureId::Blank,
                           block + QStringLiteral(" blank reel"));
                }
                continue;
            }
            QSet<int> distinct;
            for (int p = 0; p < 6; ++p) {
                bool ok = false;
                const int n = s.LabelData.at(Sheet::cell(b, p)).toInt(&ok);
                expect(ok && n >= 1 && n <= 43, block + QStringLiteral(" number %1").arg(n));
                expect(w.model().reelPicture(Sheet::cell(b, p)) == faceId(n),
                       block + QStringLiteral(" reel matches"));
                distinct << n;
            }
            expect(distinct.size() == 6, block + QStringLiteral(" distinct"));
        }
    }

private slots:
    void randomClicks() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SimPlatform platform;
        platform.folder = dir.path();
        int printsStarted = 0;
        platform.printer = [&] {
            ++printsStarted;
            auto printer = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(
                dir.filePath(QStringLiteral("print%1.pdf").arg(printsStarted)));
            return printer;
        };
        MainWindow w(platform);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString log = dir.filePath(QStringLiteral("TavoLog.csv"));
        auto logSize = [&log] { return QFileInfo(log).size(); };

        bool seeded = false;
        const quint32 seed = qEnvironmentVariableIsSet("TAVO_RANDOM_SEED")
                                 ? qEnvironmentVariable("TAVO_RANDOM_SEED").toUInt(&seeded)
                                 : QRandomGenerator::global()->generate();
        QVERIFY2(seeded || !qEnvironmentVariableIsSet("TAVO_RANDOM_SEED"),
                 "TAVO_RANDOM_SEED is not a number");
        qInfo("random-use seed %u (replay with TAVO_RANDOM_SEED=%u)", seed, seed);
        QRandomGenerator random(seed);
        QList<QWidget*> targets;
        for (int k = 0; k < 5; ++k) {
            targets << w.ImageSwitch(k) << w.ImageSwitch(k);  // switches twice as often
        }
        targets << w.CommandSave() << w.CommandClr() << w.CommandSort() << w.CommandPrn()
                << w.OptionPrn(0) << w.OptionPrn(1) << w.OptionPrn(2);
        targets << w.ImageWin(3) << w.LabelStat(1);  // no handler: nothing happens

        constexpr int kActions = 1500;
        int actions = 0, draws = 0, savesDuringDraw = 0, printsDuringDraw = 0;
        QObject::connect(&(*w.findChild<BlockDraw*>()), &BlockDraw::drawFinished,
                         [&draws] { ++draws; });
        bool done = false;
        std::function<void()> act;
        act = [&] {
            if (actions >= kActions) {
                // All done: release whatever is armed and let the last draw end.
                if (w.model().ActiveBlock == 0) {
                    done = true;
                    return;
                }
                platform.after(50, act);
                if (w.model().ArmedBlock != 0) {
                    QTest::mouseClick(w.ImageSwitch(w.model().ArmedBlock - 1), Qt::LeftButton);
                }
                return;
            }
            // The next action is due whatever this one starts: a draw runs inside a click.
            platform.after(random.bounded(20, 400), act);
            QWidget* target = targets.at(
                static_cast<qsizetype>(random.bounded(static_cast<quint32>(targets.size()))));
            const bool drawing = w.model().ActiveBlock != 0;
            const qint64 logBefore = logSize();
            const int printsBefore = printsStarted;
            ++actions;
            QTest::mouseClick(target, Qt::LeftButton);
            const QString what = target->objectName();
            if (drawing && (target == w.CommandSave() || target == w.CommandPrn())) {
                // Anything saved or printed must have come from a draw that ended meanwhile.
                const bool idleSince = w.model().ActiveBlock == 0;
                expect(idleSince || logSize() == logBefore,
                       what + QStringLiteral(" saved mid-draw"));
                expect(idleSince || printsStarted == printsBefore,
                       what + QStringLiteral(" printed mid-draw"));
                (target == w.CommandSave() ? savesDuringDraw : printsDuringDraw) += 1;
            }
            checkInvariants(w, QStringLiteral("after %1 #%2").arg(what).arg(actions));
        };
        platform.after(0, act);
        while (!done && !platform.stalled) {
            platform.dispatchEvents(true);
        }
        QVERIFY(!platform.stalled);
        checkInvariants(w, QStringLiteral("at the end"));
        qInfo("%d actions, %d draws, %d saves and %d prints refused mid-draw, %lld simulated ms",
              actions, draws, savesDuringDraw, printsDuringDraw, platform.nowMs);
        const QString replay = QStringLiteral("\nreplay with TAVO_RANDOM_SEED=%1").arg(seed);
        QVERIFY2(m_failures.isEmpty(), qPrintable(m_failures.join(QLatin1Char('\n')) + replay));
        QVERIFY2(draws > 0, qPrintable(replay));
        QVERIFY2(savesDuringDraw > 0 && printsDuringDraw > 0, qPrintable(replay));
    }
};

QTEST_MAIN(RandomUseTest)
#include "test_random_use.moc"
