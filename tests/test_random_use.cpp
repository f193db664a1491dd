// SPDX-License-Identifier: MIT
// Random use: about a minute of clicks on every switch, button and option, draws included,
// with the program's invariants checked after every event.
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
#include "support/fakeplatform.h"

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
            expect(w.ImageSwitch(b)->pictureId() == PictureId::Start,
                   block + QStringLiteral(" switch"));
            expect(w.LabelStat(b)->text() == u"開始", block + QStringLiteral(" status"));
            if (s.LabelFN.at(b).isEmpty()) {
                for (int p = 0; p < 6; ++p) {
                    expect(s.LabelData.at(Sheet::cell(b, p)).isEmpty(),
                           block + QStringLiteral(" empty cell"));
                    expect(w.ImageWin(Sheet::cell(b, p))->pictureId() == PictureId::Blank,
                           block + QStringLiteral(" blank reel"));
                }
                continue;
            }
            QSet<int> distinct;
            for (int p = 0; p < 6; ++p) {
                bool ok = false;
                const int n = s.LabelData.at(Sheet::cell(b, p)).toInt(&ok);
                expect(ok && n >= 1 && n <= 43, block + QStringLiteral(" number %1").arg(n));
                expect(w.ImageWin(Sheet::cell(b, p))->pictureId() == faceId(n),
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
        FakePlatform platform;
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

        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("random-use seed %u", seed);
        QRandomGenerator random(seed);
        QList<QWidget*> targets;
        for (int k = 0; k < 5; ++k) {
            targets << w.ImageSwitch(k) << w.ImageSwitch(k);  // switches twice as often
        }
        targets << w.CommandSave() << w.CommandClr() << w.CommandSort() << w.CommandPrn();
        for (int i = 0; i < 3; ++i) {
            targets << w.OptionPrn(i);
        }
        targets << w.ImageWin(3) << w.LabelStat(1);  // no handler: nothing happens

        QElapsedTimer clock;
        clock.start();
        constexpr qint64 kRunMs = 60000;
        int actions = 0, draws = 0, savesDuringDraw = 0, printsDuringDraw = 0;
        QObject::connect(&w.draw(), &BlockDraw::drawFinished, [&draws] { ++draws; });
        bool done = false;
        std::function<void()> act;
        act = [&] {
            if (clock.elapsed() >= kRunMs) {
                // Time is up: release whatever is armed and let the last draw end.
                if (w.model().ActiveBlock == 0) {
                    done = true;
                    return;
                }
                QTimer::singleShot(50, &w, act);
                if (w.model().ArmedBlock != 0) {
                    QTest::mouseClick(w.ImageSwitch(w.model().ArmedBlock - 1), Qt::LeftButton);
                }
                return;
            }
            // The next action is due whatever this one starts: a draw runs inside a click.
            QTimer::singleShot(static_cast<int>(random.bounded(20, 400)), &w, act);
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
        QTimer::singleShot(0, &w, act);
        QVERIFY(QTest::qWaitFor([&done] { return done; }, kRunMs + 120000));
        checkInvariants(w, QStringLiteral("at the end"));
        qInfo("%d actions, %d draws, %d saves and %d prints refused mid-draw", actions, draws,
              savesDuringDraw, printsDuringDraw);
        QVERIFY2(m_failures.isEmpty(), qPrintable(m_failures.join(QLatin1Char('\n'))));
        QVERIFY(draws > 0);
        QVERIFY(actions > 100);
    }
};

QTEST_MAIN(RandomUseTest)
#include "test_random_use.moc"
