// SPDX-License-Identifier: MIT
// A before/after check for changes that must not change what the user gets: a scripted draw of
// blocks B and D, a sort, a save, a text print, a client-area print and a clear, with a fixed
// clock, tick millisecond and generator. It writes the window's grabs after each step, the two
// CSV files, the text page as pdftotext -bbox gives it and the client-area page rasterised, into
// $REFCHECK_OUT. Two trees give the same output when `diff -r -I CreationDate` finds nothing.
//
// Not part of the suite (it takes about 20 s of real timers); to run it against a tree, copy it
// into that tree's tests/ as test_refcheck.cpp, configure, and:
//   cmake --build build --target test_refcheck
//   QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 REFCHECK_OUT=/tmp/out build/tests/test_refcheck
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QProcess>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include "app/mainwindow.h"
#include "draw/blockdraw.h"
#include "support/fakeplatform.h"
#include "support/pdfprobe.h"

class RefPlatform : public FakePlatform {
public:
    qint32 tickCount() override { return static_cast<qint32>((bootTimeMs() / 1000) * 1000 + 7); }
};

class RefCheck : public QObject {
    Q_OBJECT
private slots:
    void run() {
        const QString out = QString::fromLocal8Bit(qgetenv("REFCHECK_OUT"));
        QVERIFY(!out.isEmpty());
        QDir().mkpath(out + QStringLiteral("/files"));
        RefPlatform p;
        p.clock = [] { return QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)); };
        int k = 0;
        const float seq[] = {0.1f,  0.1f,  0.5f, 0.9f,  0.3f,  0.3f,  0.7f,  0.25f, 0.6f,  0.05f,
                             0.95f, 0.45f, 0.8f, 0.15f, 0.35f, 0.55f, 0.65f, 0.75f, 0.85f, 0.2f};
        p.random = [&] { return seq[k++ % 20]; };
        p.folder = out + QStringLiteral("/files");
        QStringList printed;
        p.printer = pdfprobe::pdfPrinters(out, printed, [] {
            return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                               QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
        });
        MainWindow w(p);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto grab = [&](const char* name) {
            QVERIFY(w.grab().toImage().save(out + QLatin1Char('/') + QLatin1String(name)));
        };
        for (int b : {1, 3}) {
            QTimer::singleShot(1200, &w,
                               [&w, b] { (*w.findChild<BlockDraw*>()).ImageSwitch_Click(b); });
            (*w.findChild<BlockDraw*>()).ImageSwitch_Click(b);
        }
        QTest::qWait(200);
        grab("1_drawn.png");
        w.CommandSort_Click();
        QTest::qWait(100);
        grab("2_sorted.png");
        w.CommandSave_Click();
        w.CommandPrn_Click();
        w.OptionPrn(2)->setChecked(true);
        w.CommandPrn_Click();
        w.OptionPrn(0)->setChecked(true);
        QTest::qWait(100);
        grab("3_printed.png");
        w.CommandClr_Click();
        QTest::qWait(100);
        grab("4_cleared.png");
        QCOMPARE(printed.size(), 2);
        QProcess t;
        t.start(QStringLiteral("pdftotext"),
                {QStringLiteral("-bbox"), printed[0], out + QStringLiteral("/text.html")});
        QVERIFY(t.waitForFinished());
        const QImage page = pdfprobe::rasterise(printed[1], 100);
        QVERIFY(page.save(out + QStringLiteral("/client.png")));
        QFile::remove(printed[0]);
        QFile::remove(printed[1]);
    }
};

QTEST_MAIN(RefCheck)
#include "test_refcheck.moc"
