// SPDX-License-Identifier: MIT
// The window on a real desktop's compositor (run by with_desktop.sh; on the offscreen platform
// only what does not need one).
#include <unistd.h>
#include <QAbstractButton>
#include <QAccessible>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryFile>
#include <QWindow>
#include <QtTest>

#include "app/mainwindow.h"
#include "app/picturecontrol.h"
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
    return equals < 0 ? QStringList()
                      : out.mid(equals + 3).split(QRegularExpression(QStringLiteral(R"(\s*,\s*)")));
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

// A Wayland log (WAYLAND_DEBUG): how many lines match, and the captures of the last that does
// (or nothing).
int matches(const QByteArray& log, const QString& pattern) {
    return static_cast<int>(
        QString::fromUtf8(log).split(u'\n').filter(QRegularExpression(pattern)).size());
}
QStringList lastMatch(const QByteArray& log, const QString& pattern) {
    const QRegularExpression expression(pattern);
    const QStringList lines = QString::fromUtf8(log).split(u'\n').filter(expression);
    return lines.isEmpty() ? QStringList() : expression.match(lines.last()).capturedTexts().mid(1);
}

// The program's own log, which with_desktop.sh keeps in TAVO_WAYLAND_LOG.
QByteArray ownLog() {
    QFile file(qEnvironmentVariable("TAVO_WAYLAND_LOG"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A size as the log says it, and a rectangle for a message.
QStringList numbers(const QSize& size) {
    return {QString::number(size.width()), QString::number(size.height())};
}
QString described(const QRect& r) {
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

const QString kNewToplevel =
    QStringLiteral(R"(-> xdg_surface@(\d+)\.get_toplevel\(new id xdg_toplevel@(\d+)\))");

}  // namespace

class TestCompositor : public QObject {
    Q_OBJECT
private slots:
    void qtPicksWaylandOnAWaylandSession();
    void aMaximiseRequestKeepsTheWindowAsItIs();
    void theCompositorHearsWhatTheWindowIs();
    void aForcedFullScreenShowsTheWindowAtItsSize();
    void aNoteLeavesTheControlsFree_data();
    void aNoteLeavesTheControlsFree();
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
    const QWidget* ownFrame = w.findChild<QWidget*>(QStringLiteral("WindowFrame"));
    if (!nativeWayland) {
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
    } else if (qgetenv("TAVO_DESKTOP") != "kwin") {
        // Where the compositor leaves the frame to the program (mutter, weston; KWin's frame is
        // checked in the protocol), nothing of Qt's is round the window: the size it declares,
        // fixed, is the whole window.
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
    // The close box closes the window as any close does.
    const QWidget* close = ownFrame->findChild<QAbstractButton*>();
    QVERIFY(pointAt(close->mapTo(&w, close->rect().center())));
    QVERIFY(hostInput(QStringLiteral("click 1")));
    QTRY_VERIFY(!w.isVisible());
    QVERIFY(!w.findChild<Timer*>(QStringLiteral("Timer1"))->isActive());
}

void TestCompositor::theCompositorHearsWhatTheWindowIs() {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
        qEnvironmentVariableIsEmpty("TAVO_WAYLAND_LOG")) {
        QSKIP("not natively on a Wayland session that logs the program's requests");
    }
    const bool compositorFrames = qgetenv("TAVO_DESKTOP") == "kwin";
    FakePlatform platform;
    MainWindow w(platform);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QStringList window = lastMatch(ownLog(), kNewToplevel);
    QCOMPARE(window.size(), 2);
    // Where KWin offers, the window asks for its frame (the mode left to KWin, as by any Qt
    // window) and gets it: server side. Its geometry is its one size: the inside, or the inside
    // in the program's own frame.
    const QStringList decoration = lastMatch(
        ownLog(), QStringLiteral(R"(get_toplevel_decoration\(new id \w+@(\d+), xdg_toplevel@%1\))")
                      .arg(window[1]));
    QCOMPARE(decoration.size(), compositorFrames ? 1 : 0);
    if (compositorFrames) {
        QTRY_VERIFY(
            matches(ownLog(), QStringLiteral(R"(\] zxdg_toplevel_decoration_v1@%1\.configure\(2\))")
                                  .arg(decoration[0])) > 0);
    }
    const QSize whole =
        compositorFrames ? QSize(MainWindow::kClientWidth, MainWindow::kClientHeight) : w.size();
    QCOMPARE(lastMatch(ownLog(), QStringLiteral(
                                     R"(xdg_surface@%1\.set_window_geometry\(0, 0, (\d+), (\d+)\))")
                                     .arg(window[0])),
             numbers(whole));

    // A note as the program shows one is the window's child, for the compositor too (KWin
    // places it over the window; GNOME 43 places a child that is not modal as any new window).
    SystemPlatform system;
    system.showMessage(&w, NoteKind::Information, QStringLiteral("お知らせ"));
    QPointer<QMessageBox> note = w.findChild<QMessageBox*>();
    QVERIFY(note != nullptr && QTest::qWaitForWindowExposed(note));
    QCOMPARE(note->windowHandle()->transientParent(), w.windowHandle());
    const QStringList child = lastMatch(ownLog(), kNewToplevel);
    QCOMPARE(child.size(), 2);
    QCOMPARE(lastMatch(ownLog(),
                       QStringLiteral(R"(-> xdg_toplevel@%1\.set_parent\(xdg_toplevel@(\d+)\))")
                           .arg(child[1])),
             QStringList{window[1]});
    if (!compositorFrames) {
        // A right-click on the program's own bar asks for the compositor's window menu there.
        const QPoint at(60, w.inside()->y() / 2);
        QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("WindowFrame")), Qt::RightButton, {},
                          at);
        QTRY_COMPARE(matches(ownLog(),
                             QStringLiteral(R"(-> xdg_toplevel@%1\.show_window_menu\()"
                                            R"(wl_seat@\d+, \d+, %2, %3\))")
                                 .arg(window[1], QString::number(at.x()), QString::number(at.y()))),
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
    // The program itself, its Wayland traffic on its standard error, kept to a bound: a program
    // in a loop says megabytes a second.
    constexpr qsizetype kMostSaid = 4 << 20;
    QByteArray said;
    QProcess tavo;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    tavo.setProcessEnvironment(environment);
    connect(&tavo, &QProcess::readyReadStandardError, this,
            [&] { said += tavo.readAllStandardError().left(kMostSaid - said.size()); });
    tavo.start(qEnvironmentVariable("TAVO_PROGRAM"), QStringList());
    QVERIFY2(tavo.waitForStarted(), "TAVO_PROGRAM names no program");

    // Drawn (a buffer attached) at its one size, inside the full screen it was given.
    const QString attached = QStringLiteral(R"(-> wl_surface@\d+\.attach\(wl_buffer@)");
    QTRY_VERIFY_WITH_TIMEOUT(said.size() == kMostSaid || matches(said, attached) > 0, 10000);
    QVERIFY2(said.size() < kMostSaid, "megabytes of requests and events: a loop");
    QVERIFY(matches(said, QStringLiteral(R"(xdg_toplevel@\d+\.configure\(1024, 768, )")) > 0);
    QCOMPARE(lastMatch(said, QStringLiteral(R"(set_window_geometry\(0, 0, (\d+), (\d+)\))")),
             numbers(QSize(MainWindow::kClientWidth, MainWindow::kClientHeight)));
    // Near idle from then on: turned back once, then taken as the compositor insists.
    auto cpuSeconds = [&tavo] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(tavo.processId()));
        // After the name in parentheses: the state, then utime and stime as fields 12 and 13.
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : "x) 0";
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        return f.size() < 13 ? 0.0 : (f[11].toDouble() + f[12].toDouble()) / sysconf(_SC_CLK_TCK);
    };
    const double before = cpuSeconds();
    QElapsedTimer elapsed;
    elapsed.start();
    QTest::qWait(2000);
    const double share = (cpuSeconds() - before) * 1000 / static_cast<double>(elapsed.elapsed());
    const int configures = matches(said, QStringLiteral(R"(\] xdg_toplevel@\d+\.configure\()"));
    qInfo("%d configurations, %.1f %% of a processor", configures, share * 100);
    QVERIFY(share < 0.2 && configures < 10);
    QCOMPARE(matches(said, QStringLiteral(R"(-> xdg_toplevel@\d+\.unset_fullscreen\(\))")), 1);

    // The compositor's close (through a KWin script) ends the program.
    QTemporaryFile script(QDir::tempPath() + QStringLiteral("/tavo-XXXXXX.js"));
    QVERIFY(script.open());
    script.write(QStringLiteral("workspace.clientList().forEach(function (c) {"
                                " if (c.pid == %1) c.closeWindow(); });")
                     .arg(tavo.processId())
                     .toUtf8());
    script.flush();
    const QString kwin = QStringLiteral("dbus-send --session --dest=org.kde.KWin --print-reply");
    QCOMPARE(QProcess::execute(QStringLiteral("sh"),
                               {QStringLiteral("-c"),
                                QStringLiteral("id=$(%1=literal /Scripting "
                                               "org.kde.kwin.Scripting.loadScript string:%2) && "
                                               "%1 /${id##* } org.kde.kwin.Script.run")
                                    .arg(kwin, script.fileName())}),
             0);
    QVERIFY(tavo.waitForFinished(10000));
    QCOMPARE(tavo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tavo.exitCode(), 0);
}

void TestCompositor::aNoteLeavesTheControlsFree_data() {
    QTest::addColumn<bool>("atTheRightEdge");
    QTest::newRow("room on the right") << false;
    QTest::newRow("at the screen's right edge") << true;
}

// Where the program places its windows, a note stands beside its window, clear of the buttons,
// the options and the switches, as the window manager shows it.
void TestCompositor::aNoteLeavesTheControlsFree() {
    QFETCH(bool, atTheRightEdge);
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        QSKIP("natively on Wayland the compositor places a note by its window");
    }
    FakePlatform platform;
    MainWindow w(platform);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect screen = w.screen()->availableGeometry();
    const QPoint at = atTheRightEdge ? QPoint(screen.right() + 1 - w.frameGeometry().width(), 60)
                                     : QPoint(screen.left() + 20, 60);
    w.move(at);
    QTRY_COMPARE(w.frameGeometry().topLeft(), at);

    // A save's note at its longest: three paragraphs and a path.
    const QString text = QStringLiteral(
        "保存できませんでした。結果はどちらのファイルにも書き込まれていません。\n\n"
        "結果はまだ画面に残っています。原因を取り除いてから、もう一度保存してください。\n\n"
        "TavoLog.csv の理由: 書き込む権限がありません。\n"
        "240309_1405.csv の理由: 書き込む権限がありません。\n\n"
        "場所: /home/user/Documents/Tavo/");
    SystemPlatform system;
    system.showMessage(&w, NoteKind::Warning, text);
    auto* note = w.findChild<QMessageBox*>();
    QVERIFY(note != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(note));
    // Once the window manager has framed it as it frames the window.
    QTRY_COMPARE(note->windowHandle()->frameMargins(), w.windowHandle()->frameMargins());
    QTest::qWait(200);
    const QRect placed = note->frameGeometry();
    QList<QWidget*> controls{w.CommandSave(), w.CommandClr(), w.CommandSort(), w.CommandPrn()};
    for (int i = 0; i < 3; ++i) {
        controls << w.OptionPrn(i);
    }
    for (int k = 0; k < 5; ++k) {
        controls << w.ImageSwitch(k);
    }
    for (QWidget* control : controls) {
        QVERIFY2(!placed.intersects(QRect(control->mapToGlobal(QPoint(0, 0)), control->size())),
                 qPrintable(QStringLiteral("the note at %1 covers %2")
                                .arg(described(placed), control->objectName())));
    }
    // On the screen, and by its window: touching it, on the side with room.
    const QRect frame = w.frameGeometry();
    const QString where =
        QStringLiteral("the note at %1, the window at %2").arg(described(placed), described(frame));
    QVERIFY2(screen.contains(placed), qPrintable(where));
    QVERIFY2(placed.adjusted(-1, -1, 1, 1).intersects(frame), qPrintable(where));
    if (!atTheRightEdge && screen.right() - frame.right() >= placed.width()) {
        QVERIFY2(placed.left() == frame.right() + 1, qPrintable(where));
    } else if (atTheRightEdge && frame.left() - screen.left() >= placed.width()) {
        QVERIFY2(placed.right() == frame.left() - 1, qPrintable(where));
    }
    note->close();
}

QTEST_MAIN(TestCompositor)
#include "test_compositor.moc"
