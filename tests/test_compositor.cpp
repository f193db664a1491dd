// SPDX-License-Identifier: MIT
// The window on a real desktop's compositor (run by with_weston.sh; on the offscreen platform
// only what does not need one).
#include <QWindow>
#include <QtTest>

#include "app/mainwindow.h"
#include "support/fakeplatform.h"

class TestCompositor : public QObject {
    Q_OBJECT
private slots:
    void qtPicksWaylandOnAWaylandSession();
    void aMaximiseRequestKeepsTheWindowAsItIs();
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

QTEST_MAIN(TestCompositor)
#include "test_compositor.moc"
