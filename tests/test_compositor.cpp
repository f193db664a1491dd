// SPDX-License-Identifier: MIT
// The window on a real desktop's compositor (run by with_weston.sh; on the offscreen platform
// only what does not need one).
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include "app/mainwindow.h"
#include "support/fakeplatform.h"

class TestCompositor : public QObject {
    Q_OBJECT
private slots:
    void qtPicksWaylandOnAWaylandSession();
    void aMaximiseRequestKeepsTheWindowAsItIs();
    void withoutASoundServerBeepsAreSaidUnheard();
};

void TestCompositor::qtPicksWaylandOnAWaylandSession() {
    if (qgetenv("XDG_SESSION_TYPE") != "wayland" || !qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
        !qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        QSKIP("not on a Wayland session with Xwayland and no platform set");
    }
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
}

void TestCompositor::aMaximiseRequestKeepsTheWindowAsItIs() {
    FakePlatform platform;
    MainWindow w(platform);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect frame = w.frameGeometry();
    QWindow* window = w.windowHandle();
    // The title bar offers closing only.
    QVERIFY(window->flags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(window->flags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));

    window->showMaximized();
    // Long enough for the compositor's answers to arrive and be dispatched.
    QTest::qWait(1500);
    QCOMPARE(w.size(), QSize(MainWindow::kClientWidth, MainWindow::kClientHeight));
    QCOMPARE(w.frameGeometry().size(), frame.size());
    QVERIFY(!(window->windowStates() & Qt::WindowMaximized));
    QVERIFY(w.isVisible());
}

void TestCompositor::withoutASoundServerBeepsAreSaidUnheard() {
    const QString program = qEnvironmentVariable("TAVO_PROGRAM");
    if (QGuiApplication::platformName() != QLatin1String("wayland") || program.isEmpty()) {
        QSKIP("needs the program (TAVO_PROGRAM) and a Wayland compositor");
    }
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("PULSE_SERVER"),
               QStringLiteral("unix:") + home.filePath(QStringLiteral("none")));
    QProcess tavo;
    tavo.setProcessEnvironment(env);
    tavo.setWorkingDirectory(home.path());
    tavo.start(program, {});
    QVERIFY(tavo.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += tavo.readAllStandardError()).contains("beep"), 30000);
    tavo.terminate();
    QVERIFY(tavo.waitForFinished());
    said += tavo.readAllStandardError();
    QCOMPARE(said.count("beeps cannot be heard"), 1);
    QVERIFY2(!said.contains("X bell"), said.constData());
}

QTEST_MAIN(TestCompositor)
#include "test_compositor.moc"
