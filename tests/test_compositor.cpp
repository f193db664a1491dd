// SPDX-License-Identifier: MIT
// The window on a real desktop's compositor (run by with_desktop.sh; on the offscreen platform
// only what does not need one).
#include <unistd.h>
#include <QAbstractButton>
#include <QAccessible>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QWindow>
#include <QtTest>

#include "app/mainwindow.h"
#include "app/systemplatform.h"
#include "app/windowframe.h"
#include "support/fakeplatform.h"

namespace {

// Real pointer and keys: xdotool on the display that shows the compositor.
bool hostInput(const QString& command) {
    return QProcess::execute(
               QStringLiteral("env"),
               QStringList{QStringLiteral("DISPLAY=") + qEnvironmentVariable("WESTON_HOST_DISPLAY"),
                           QStringLiteral("xdotool")} +
                   command.split(QLatin1Char(' '))) == 0;
}

// Motif window manager hints' bits: functions, then decorations.
constexpr uint kMwmFuncAll = 0x01, kMwmFuncMinimize = 0x08, kMwmFuncMaximize = 0x10,
               kMwmFuncClose = 0x20;
constexpr uint kMwmDecorAll = 0x01, kMwmDecorMinimize = 0x20, kMwmDecorMaximize = 0x40;

// An X11 window's property as xprop gives it: its values, or nothing where it is not set.
QStringList xprop(WId window, const char* property) {
    QProcess p;
    p.start(QStringLiteral("xprop"),
            {QStringLiteral("-id"), QString::number(window), QString::fromLatin1(property)});
    p.waitForFinished();
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    const int equals = out.indexOf(QLatin1String(" = "));
    if (equals < 0) {
        return {};
    }
    QStringList values = out.mid(equals + 3).split(QLatin1Char(','));
    for (QString& v : values) {
        v = v.trimmed();
    }
    return values;
}

// Where the pointer last showed in the window, in its own coordinates.
class PointerSeen : public QObject {
public:
    QPoint at{-1, -1};
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
            at = static_cast<QSinglePointEvent*>(event)->position().toPoint();
        }
        return false;
    }
};

// What a program says to the compositor and hears from it, as with_desktop.sh logs it
// (WAYLAND_DEBUG): the program's own log in TAVO_WAYLAND_LOG, from a mark on, or a child's.
class WaylandLog {
public:
    WaylandLog() : m_path(qEnvironmentVariable("TAVO_WAYLAND_LOG")) { mark(); }
    explicit WaylandLog(const QByteArray* text) : m_text(text) {}
    void mark() { m_from = m_path.isEmpty() ? 0 : QFileInfo(m_path).size(); }
    // The captures of the first (or last) line that matches, or nothing.
    QStringList first(const QString& pattern) const { return captures(pattern, false); }
    QStringList last(const QString& pattern) const { return captures(pattern, true); }
    int count(const QString& pattern) const {
        return static_cast<int>(lines().filter(QRegularExpression(pattern)).size());
    }

private:
    QStringList lines() const {
        QByteArray text;
        if (m_text != nullptr) {
            text = *m_text;
        } else {
            QFile file(m_path);
            if (file.open(QIODevice::ReadOnly) && file.seek(m_from)) {
                text = file.readAll();
            }
        }
        return QString::fromUtf8(text).split(QLatin1Char('\n'));
    }
    QStringList captures(const QString& pattern, bool fromEnd) const {
        const QRegularExpression expression(pattern);
        QStringList all = lines();
        if (fromEnd) {
            std::reverse(all.begin(), all.end());
        }
        for (const QString& line : all) {
            const QRegularExpressionMatch match = expression.match(line);
            if (match.hasMatch()) {
                return match.capturedTexts().mid(1);
            }
        }
        return {};
    }

    QString m_path;
    const QByteArray* m_text = nullptr;
    qint64 m_from = 0;
};

// A new window's xdg_surface and xdg_toplevel.
const QString kNewToplevel =
    QStringLiteral(R"(-> xdg_surface@(\d+)\.get_toplevel\(new id xdg_toplevel@(\d+)\))");

// Runs a KWin script in the session's KWin (through its D-Bus scripting interface).
bool runKWinScript(const QString& source) {
    QTemporaryFile script(QDir::tempPath() + QStringLiteral("/tavo-kwin-XXXXXX.js"));
    if (!script.open() || script.write(source.toUtf8()) < 0 || !script.flush()) {
        return false;
    }
    QProcess load;
    load.start(QStringLiteral("dbus-send"),
               {QStringLiteral("--session"), QStringLiteral("--dest=org.kde.KWin"),
                QStringLiteral("--print-reply=literal"), QStringLiteral("/Scripting"),
                QStringLiteral("org.kde.kwin.Scripting.loadScript"),
                QStringLiteral("string:") + script.fileName(),
                QStringLiteral("string:") + QFileInfo(script.fileName()).fileName()});
    if (!load.waitForFinished(10000) || load.exitCode() != 0) {
        return false;
    }
    const QString id =
        QString::fromLatin1(load.readAllStandardOutput()).split(u' ').last().trimmed();
    return QProcess::execute(QStringLiteral("dbus-send"),
                             {QStringLiteral("--session"), QStringLiteral("--dest=org.kde.KWin"),
                              QStringLiteral("--print-reply"), QStringLiteral("/") + id,
                              QStringLiteral("org.kde.kwin.Script.run")}) == 0;
}

// The processor time a process has used so far, in seconds.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray line = stat.readAll();
    // After the command's name in parentheses: state, then utime and stime as fields 12 and 13.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() < 13 ? -1
                              : (fields[11].toDouble() + fields[12].toDouble()) /
                                    static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

class TestCompositor : public QObject {
    Q_OBJECT
private slots:
    void qtPicksWaylandOnAWaylandSession();
    void aMaximiseRequestKeepsTheWindowAsItIs();
    void theCompositorHearsWhatTheWindowIs();
    void aForcedFullScreenShowsTheWindowAtItsSize();
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
    const QRect inside = w.inside()->geometry();
    QCOMPARE(inside.size(), QSize(MainWindow::kClientWidth, MainWindow::kClientHeight));
    const bool nativeWayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    // KWin offers to draw the frame; mutter and weston leave it to the program.
    const bool compositorFrames = nativeWayland && qgetenv("TAVO_DESKTOP") == "kwin";
    const QWidget* ownFrame = w.findChild<QWidget*>(QStringLiteral("WindowFrame"));
    if (compositorFrames) {
        // The window is its inside alone, as on X11, and Qt draws nothing round it.
        QVERIFY(ownFrame == nullptr && w.inside() == &w);
        QCOMPARE(window->frameMargins(), QMargins());
        QCOMPARE(window->maximumSize(), window->size());
        QMessageBox note(QMessageBox::Warning, w.windowTitle(), QStringLiteral("お知らせ"),
                         QMessageBox::Ok, &w);
        frameNote(&note);
        QVERIFY(note.findChild<QWidget*>(QStringLiteral("WindowFrame")) == nullptr);
    } else if (!nativeWayland) {
        // The window manager's title bar offers closing only.
        QVERIFY(window->flags() & Qt::WindowCloseButtonHint);
        QVERIFY(!(window->flags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
        if (qgetenv("XDG_SESSION_TYPE") == "x11") {
            // As a window manager reads it: Motif hints of closing and moving, no minimise or
            // maximise function nor button; and the manager allows no maximise.
            const QStringList motif = xprop(w.winId(), "_MOTIF_WM_HINTS");
            QCOMPARE(motif.size(), 5);
            const uint functions = motif[1].toUInt(nullptr, 16);
            const uint decorations = motif[2].toUInt(nullptr, 16);
            QCOMPARE(functions & (kMwmFuncAll | kMwmFuncMinimize | kMwmFuncMaximize), 0u);
            QVERIFY(functions & kMwmFuncClose);
            QCOMPARE(decorations & (kMwmDecorAll | kMwmDecorMinimize | kMwmDecorMaximize), 0u);
            QStringList actions;
            QTRY_VERIFY(!(actions = xprop(w.winId(), "_NET_WM_ALLOWED_ACTIONS")).isEmpty());
            QVERIFY2(actions.contains(QStringLiteral("_NET_WM_ACTION_CLOSE")) &&
                         actions.filter(QStringLiteral("MAXIMIZE")).isEmpty(),
                     qPrintable(actions.join(u' ')));
        }
    } else {
        // Nothing of Qt's round the window: the size it declares, fixed, is the whole window.
        QCOMPARE(window->frameMargins(), QMargins());
        QCOMPARE(window->minimumSize(), window->size());
        QCOMPARE(window->maximumSize(), window->size());
        // Its own title bar above the inside offers one button, the close box, out of the Tab
        // order, named and pressable for assistive technology.
        QVERIFY(ownFrame != nullptr && inside.top() > 0);
        QCOMPARE(ownFrame->findChildren<QAbstractButton*>().size(), 1);
        QAbstractButton* close = ownFrame->findChild<QAbstractButton*>();
        QCOMPARE(close->focusPolicy(), Qt::NoFocus);
        QVERIFY(close->geometry().bottom() < inside.top());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(close);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("閉じる"));
        QVERIFY(accessible->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));

        // A note has the same frame: nothing of Qt's, one button on the bar, its text below it.
        QMessageBox note(QMessageBox::Warning, w.windowTitle(), QStringLiteral("お知らせ"),
                         QMessageBox::Ok, &w);
        frameNote(&note);
        note.show();
        QVERIFY(QTest::qWaitForWindowExposed(&note));
        QCOMPARE(note.windowHandle()->frameMargins(), QMargins());
        QCOMPARE(note.windowHandle()->maximumSize(), note.windowHandle()->size());
        const QWidget* noteFrame = note.findChild<QWidget*>(QStringLiteral("WindowFrame"));
        QVERIFY(noteFrame != nullptr && noteFrame->size() == note.size());
        QCOMPARE(noteFrame->findChildren<QAbstractButton*>().size(), 1);
        QVERIFY(note.contentsRect().top() > noteFrame->findChild<QAbstractButton*>()->y());
        note.close();
    }
    const QSize whole = w.size();
    auto keptItsSize = [&] {
        // Long enough for the compositor's answers to arrive and be dispatched.
        QTest::qWait(1500);
        return w.isVisible() && w.size() == whole && w.inside()->geometry() == inside &&
               w.frameGeometry().size() == frame.size() &&
               !(window->windowStates() & Qt::WindowMaximized);
    };
    window->showMaximized();
    QVERIFY(keptItsSize());
    if (!nativeWayland || !qEnvironmentVariableIsSet("WESTON_HOST_DISPLAY")) {
        return;
    }

    // Through the compositor, with real input. The window is found where the pointer shows in
    // it, and each move is checked to have reached it (a nested compositor can miss one).
    PointerSeen seen;
    window->installEventFilter(&seen);
    QPoint offset;
    for (int i = 0; i < 40 && seen.at.x() < 0; ++i) {
        const QPoint host(100 + 200 * (i % 5), 100 + 200 * (i / 5 % 4));
        QVERIFY(hostInput(QStringLiteral("mousemove %1 %2").arg(host.x()).arg(host.y())));
        QTest::qWait(100);
        offset = host - seen.at;
    }
    QVERIFY2(seen.at.x() >= 0, "the pointer never reached the window");
    auto pointAt = [&](const QPoint& local) {
        const QPoint host = offset + local;
        for (int i = 0; i < 3; ++i) {
            if (hostInput(QStringLiteral("mousemove %1 %2").arg(host.x()).arg(host.y())) &&
                QTest::qWaitFor([&] { return seen.at == local; }, 500)) {
                return true;
            }
        }
        return false;
    };
    // A double-click on the bar, then the compositor's own maximise binding.
    QVERIFY(pointAt(QPoint(inside.left() + 40, inside.top() / 2)));
    QVERIFY(hostInput(QStringLiteral("click --repeat 2 --delay 80 1")));
    QVERIFY(keptItsSize());
    QVERIFY(hostInput(QStringLiteral("key super+shift+m")));
    QVERIFY(keptItsSize());
    // Past the hold's two seconds: weston, which does not answer the return, still holds the
    // window maximised, and no frame at the window's own size has ended the connection.
    QTest::qWait(1000);
    QVERIFY(keptItsSize());
    // A right-click on the bar asks the compositor for its window menu there, with the serial
    // of that click (its press's, or its release's where both came at once).
    WaylandLog log;
    const QPoint onBar(inside.left() + 40, inside.top() / 2);
    QVERIFY(pointAt(onBar));
    QVERIFY(hostInput(QStringLiteral("mousedown 3 sleep 0.2 mouseup 3")));
    QStringList menu;
    QTRY_VERIFY(
        !(menu = log.last(QStringLiteral(R"(show_window_menu\(wl_seat@\d+, (\d+), %1, %2\))")
                              .arg(onBar.x())
                              .arg(onBar.y())))
             .isEmpty());
    const QString click = QStringLiteral(R"(wl_pointer@\d+\.button\((\d+), \d+, 273, %1\))");
    QVERIFY2(menu == log.last(click.arg(1)) || menu == log.last(click.arg(0)),
             qPrintable(menu.join(u' ')));
    // The close box closes the window as any close does.
    const QWidget* close = ownFrame->findChild<QAbstractButton*>();
    QVERIFY(pointAt(close->mapTo(&w, close->rect().center())));
    QVERIFY(hostInput(QStringLiteral("click 1")));
    QTRY_VERIFY(!w.isVisible());
    QVERIFY(!w.Timer1().isActive());
}

void TestCompositor::theCompositorHearsWhatTheWindowIs() {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
        qEnvironmentVariableIsEmpty("TAVO_WAYLAND_LOG")) {
        QSKIP("not natively on a Wayland session that logs the program's requests");
    }
    const bool compositorFrames = qgetenv("TAVO_DESKTOP") == "kwin";
    WaylandLog log;
    FakePlatform platform;
    MainWindow w(platform);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QStringList window = log.first(kNewToplevel);
    QCOMPARE(window.size(), 2);
    const QString& toplevel = window[1];
    const QStringList decoration = log.first(
        QStringLiteral(R"(get_toplevel_decoration\(new id zxdg_toplevel_decoration_v1@(\d+), )"
                       R"(xdg_toplevel@%1\))")
            .arg(toplevel));
    if (compositorFrames) {
        // It asks for the compositor's frame (the mode left to KWin, as by any Qt window) and
        // gets it: server side.
        QCOMPARE(decoration.size(), 1);
        QTRY_VERIFY(log.count(QStringLiteral(R"(zxdg_toplevel_decoration_v1@%1\.configure\(2\))")
                                  .arg(decoration[0])) > 0);
    } else {
        QVERIFY(decoration.isEmpty());
    }
    // Its geometry is its one size: the inside, or the inside in the program's own frame.
    const QSize whole =
        compositorFrames ? QSize(MainWindow::kClientWidth, MainWindow::kClientHeight) : w.size();
    const QStringList geometry =
        log.last(QStringLiteral(R"(xdg_surface@%1\.set_window_geometry\(0, 0, (\d+), (\d+)\))")
                     .arg(window[0]));
    QCOMPARE(geometry.size(), 2);
    QCOMPARE(QSize(geometry[0].toInt(), geometry[1].toInt()), whole);

    // A note as the program shows one is the window's child, for the compositor too (KWin
    // places it over the window; GNOME 43 places a child that is not modal as any new window).
    log.mark();
    SystemPlatform system;
    system.showMessage(&w, NoteKind::Information, QStringLiteral("お知らせ"));
    QPointer<QMessageBox> note = w.findChild<QMessageBox*>();
    QVERIFY(note != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(note));
    QCOMPARE(note->windowHandle()->transientParent(), w.windowHandle());
    const QStringList child = log.first(kNewToplevel);
    QCOMPARE(child.size(), 2);
    QCOMPARE(log.count(QStringLiteral(R"(-> xdg_toplevel@%1\.set_parent\(xdg_toplevel@%2\))")
                           .arg(child[1], toplevel)),
             1);

    if (!compositorFrames) {
        // A right-click on the program's own bar asks for the compositor's window menu there.
        QWidget* bar = w.findChild<QWidget*>(QStringLiteral("WindowFrame"));
        QVERIFY(bar != nullptr);
        const QPoint at(60, w.inside()->y() / 2);
        log.mark();
        QTest::mouseClick(bar, Qt::RightButton, {}, at);
        QTRY_COMPARE(
            log.count(QStringLiteral(R"(-> xdg_toplevel@%1\.show_window_menu\(wl_seat@\d+, )"
                                     R"(\d+, %2, %3\))")
                          .arg(toplevel)
                          .arg(at.x())
                          .arg(at.y())),
            1);
    }
    // Gone with the window.
    w.close();
    QTRY_VERIFY(note == nullptr);
}

void TestCompositor::aForcedFullScreenShowsTheWindowAtItsSize() {
    if (qgetenv("TAVO_WINDOW_RULE") != "fullscreen") {
        QSKIP("no window rule forces full screen here");
    }
    const QString program = qEnvironmentVariable("TAVO_PROGRAM");
    QVERIFY2(QFileInfo(program).isExecutable(), "TAVO_PROGRAM names no program");
    // The program itself, as a desktop starts it, its Wayland traffic on its standard error.
    QProcess tavo;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    tavo.setProcessEnvironment(environment);
    // What a program in a loop says grows by megabytes a second: kept to a bound, and checked.
    constexpr qsizetype kMostSaid = 4 << 20;
    QByteArray said;
    connect(&tavo, &QProcess::readyReadStandardError, this, [&] {
        const QByteArray more = tavo.readAllStandardError();
        if (said.size() < kMostSaid) {
            said += more;
        }
    });
    tavo.start(program, QStringList());
    QVERIFY(tavo.waitForStarted());
    const WaylandLog log(&said);

    // Drawn (a buffer attached) at its one size, inside the full screen it was given.
    QTRY_VERIFY_WITH_TIMEOUT(
        said.size() >= kMostSaid ||
            log.count(QStringLiteral(R"(-> wl_surface@\d+\.attach\(wl_buffer@)")) > 0,
        10000);
    QVERIFY2(said.size() < kMostSaid, "megabytes of requests and events: a loop");
    QVERIFY(log.count(QStringLiteral(R"(xdg_toplevel@\d+\.configure\(1024, 768, )")) > 0);
    QCOMPARE(log.last(QStringLiteral(R"(set_window_geometry\(0, 0, (\d+), (\d+)\))")),
             (QStringList{QString::number(MainWindow::kClientWidth),
                          QString::number(MainWindow::kClientHeight)}));
    // Near idle from then on: turned back once, then taken as the compositor insists, no loop.
    const double before = cpuSeconds(tavo.processId());
    QElapsedTimer elapsed;
    elapsed.start();
    QTest::qWait(2000);
    const double share =
        (cpuSeconds(tavo.processId()) - before) / (static_cast<double>(elapsed.elapsed()) / 1000);
    QVERIFY2(before >= 0 && share < 0.2, qPrintable(QString::number(share)));
    QCOMPARE(log.count(QStringLiteral(R"(-> xdg_toplevel@\d+\.unset_fullscreen\(\))")), 1);
    const int configures = log.count(QStringLiteral(R"(\] xdg_toplevel@\d+\.configure\()"));
    QVERIFY2(configures < 10, qPrintable(QString::number(configures)));
    qInfo("%d configurations, %.1f %% of a processor", configures, share * 100);

    // The compositor's close ends the program.
    QVERIFY(runKWinScript(QStringLiteral("workspace.clientList().forEach(function (c) {"
                                         " if (c.pid == %1) c.closeWindow(); });")
                              .arg(tavo.processId())));
    QVERIFY(tavo.waitForFinished(10000));
    QCOMPARE(tavo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tavo.exitCode(), 0);
}

QTEST_MAIN(TestCompositor)
#include "test_compositor.moc"
