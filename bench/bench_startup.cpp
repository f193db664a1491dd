// SPDX-License-Identifier: MIT
// Start-up to first paint, memory and idle CPU of the window, beside a bare Qt window of the same
// size as the reference. Each measurement runs in a fresh child process started by this one, so
// the two never share a heap and the time counts from the exec, dynamic loading included.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "app/systemplatform.h"
#include "benchutil.h"
#include "draw/blockdraw.h"

extern char** environ;

namespace {

// The kernel updates the high-water mark lazily, so it can read a little below the current
// resident set; a peak is never below what is resident now.
long peakKiB() {
    return std::max(bench::peakRssKiB(), bench::currentRssKiB());
}

constexpr int kIdleMs = 5000;
constexpr double kIdleCpuTargetPercent = 1.0;
const char* const kChildFlag = "--child";

// Notes the window's first paint event and the end of the event pass that painted it.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget& window, std::function<void()> painted)
        : m_painted(std::move(painted)) {
        window.installEventFilter(this);
    }
    long long paintNs = 0;
    long long frameNs = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && paintNs == 0) {
            paintNs = bench::monotonicNs();
            // Runs once the children are painted and the frame is handed to the platform.
            QTimer::singleShot(0, this, [this] {
                frameNs = bench::monotonicNs();
                m_painted();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_painted;
};

void put(const char* key, double value) {
    std::printf("%s=%.6f\n", key, value);
}

// One measurement in this process: "tavo" is the program's window as the program starts it,
// "bare" a plain QWidget of the window's client size.
int runChild(int argc, char* argv[], const std::string& kind, long long execNs) {
    const long long mainNs = bench::monotonicNs();
    bench::useOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    const bool tavo = kind == "tavo";

    std::unique_ptr<SystemPlatform> platform;
    std::unique_ptr<QWidget> window;
    if (tavo) {
        QApplication::setApplicationName(QStringLiteral("Tavo"));
        platform = std::make_unique<SystemPlatform>();
        window = std::make_unique<MainWindow>(*platform);
    } else {
        window = std::make_unique<QWidget>();
        window->setFixedSize(MainWindow::kClientWidth, MainWindow::kClientHeight);
    }

    double idleCpuFrom = 0;
    qint64 idleWallFrom = 0;
    QElapsedTimer wall;
    wall.start();
    auto finish = [&] {
        std::fflush(stdout);
        QCoreApplication::quit();
    };
    auto afterIdle = [&] {
        const double cpu = bench::processCpuSeconds() - idleCpuFrom;
        const double seconds = static_cast<double>(wall.nsecsElapsed() - idleWallFrom) * 1e-9;
        put("idle_cpu_percent", 100.0 * cpu / seconds);
        if (!tavo) {
            finish();
            return;
        }
        auto& w = static_cast<MainWindow&>(*window);
        // One draw, held armed for half a second.
        QTimer::singleShot(0, &app, [&, &w = w] {
            QTimer::singleShot(500, &w,
                               [&w] { QTest::mouseClick(w.ImageSwitch(0), Qt::LeftButton); });
            QTest::mouseClick(w.ImageSwitch(0), Qt::LeftButton);
            put("drawn_rss_kib", static_cast<double>(bench::currentRssKiB()));
            put("drawn_peak_rss_kib", static_cast<double>(peakKiB()));
            finish();
        });
    };
    FirstPaint probe(*window, [&] {
        put("exec_to_paint_ms", static_cast<double>(probe.paintNs - execNs) * 1e-6);
        put("main_to_paint_ms", static_cast<double>(probe.paintNs - mainNs) * 1e-6);
        put("main_to_frame_ms", static_cast<double>(probe.frameNs - mainNs) * 1e-6);
        put("shown_rss_kib", static_cast<double>(bench::currentRssKiB()));
        put("shown_peak_rss_kib", static_cast<double>(peakKiB()));
        // Settle for a moment, then measure the window left alone.
        QTimer::singleShot(500, &app, [&] {
            idleCpuFrom = bench::processCpuSeconds();
            idleWallFrom = wall.nsecsElapsed();
            QTimer::singleShot(kIdleMs, &app, afterIdle);
        });
    });
    window->show();
    return QApplication::exec();
}

// Starts this program again as a child of the given kind and collects what it prints.
QMap<QString, double> measure(const char* self, const char* kind) {
    int out[2];
    if (pipe(out) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    const std::string execNs = std::to_string(bench::monotonicNs());
    std::vector<char*> args{const_cast<char*>(self), const_cast<char*>(kChildFlag),
                            const_cast<char*>(kind), const_cast<char*>(execNs.c_str()), nullptr};
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, self, &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    QByteArray text;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, n);
    }
    close(out[0]);
    QMap<QString, double> figures;
    if (failed != 0) {
        return figures;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) {
            figures.insert(QString::fromLatin1(line.left(eq)), line.mid(eq + 1).toDouble());
        }
    }
    return figures;
}

double medianOf(const std::vector<QMap<QString, double>>& runs, const QString& key) {
    std::vector<double> values;
    for (const auto& run : runs) {
        if (run.contains(key)) {
            values.push_back(run.value(key));
        }
    }
    return values.empty() ? -1 : bench::median(values);
}

QString cell(double value, int decimals, const char* unit) {
    if (value < 0) {
        return QStringLiteral("n/a");
    }
    return QString::number(value, 'f', decimals) + QLatin1Char(' ') + QLatin1String(unit);
}

QString mib(double kib) {
    return kib < 0 ? QStringLiteral("n/a") : cell(kib / 1024.0, 1, "MiB");
}

int runParent(int argc, char* argv[], int runs) {
    std::vector<QMap<QString, double>> tavo;
    std::vector<QMap<QString, double>> bare;
    for (int i = 0; i < runs; ++i) {
        bare.push_back(measure(argv[0], "bare"));
        tavo.push_back(measure(argv[0], "tavo"));
        std::fprintf(stderr, "bench_startup: run %d of %d done\n", i + 1, runs);
    }
    bench::useOffscreenWithoutDisplay();
    QGuiApplication app(argc, argv);  // only for the platform's name in the summary

    std::printf("\n### Start-up, memory and idle CPU (bench_startup)\n\n");
    std::printf(
        "%s. Median of %d runs, each in a fresh process; times count from the exec "
        "of that process (dynamic loading included) and from main()'s entry.\n\n",
        qPrintable(bench::machineSummary()), runs);
    std::printf("| What | Tavo | bare Qt window (448 × 392) | Target | Result |\n");
    std::printf("|---|---|---|---|---|\n");
    auto row = [&](const char* what, const QString& key, auto format, const QString& target,
                   const QString& result) {
        std::printf("| %s | %s | %s | %s | %s |\n", what, qPrintable(format(medianOf(tavo, key))),
                    qPrintable(format(medianOf(bare, key))), qPrintable(target),
                    qPrintable(result));
    };
    auto msCell = [](double v) { return cell(v, 1, "ms"); };
    const QString none = QStringLiteral("—");
    row("exec → first paint of the window", QStringLiteral("exec_to_paint_ms"), msCell, none, none);
    row("main() → first paint of the window", QStringLiteral("main_to_paint_ms"), msCell, none,
        none);
    row("main() → first frame complete", QStringLiteral("main_to_frame_ms"), msCell, none, none);
    row("RSS, window shown", QStringLiteral("shown_rss_kib"), mib, none, none);
    row("peak RSS, window shown", QStringLiteral("shown_peak_rss_kib"), mib, none, none);
    row("RSS, after one draw", QStringLiteral("drawn_rss_kib"), mib, none, none);
    row("peak RSS, after one draw", QStringLiteral("drawn_peak_rss_kib"), mib, none, none);
    const double idle = medianOf(tavo, QStringLiteral("idle_cpu_percent"));
    row(
        "idle CPU, shown window, 5 s (of one core)", QStringLiteral("idle_cpu_percent"),
        [](double v) { return cell(v, 2, "%"); },
        QStringLiteral("≤ %1 %").arg(kIdleCpuTargetPercent),
        idle < 0                        ? QStringLiteral("n/a")
        : idle <= kIdleCpuTargetPercent ? QStringLiteral("PASS")
                                        : QStringLiteral("MISS"));
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc >= 4 && std::strcmp(argv[1], kChildFlag) == 0) {
        return runChild(argc, argv, argv[2], std::stoll(argv[3]));
    }
    int runs = 3;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    return runParent(argc, argv, runs);
}
