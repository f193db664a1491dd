// SPDX-License-Identifier: MIT
// Scripted draws on the real window, pressed like a user would: the first press on a switch, a
// block held armed for a fixed time, the second press, and the draw to its end. Per phase it
// measures the CPU the whole process takes per wall second, and over every draw the intervals
// of the reel and lamp timers, first with the machine idle and then with every core busy.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "app/systemplatform.h"
#include "benchutil.h"
#include "draw/blockdraw.h"

namespace {

constexpr double kReelMs = 50.0;
constexpr double kLampMs = 500.0;
constexpr double kCpuTargetPercent = 1.0;
constexpr double kTickTargetIdleMs = 2.0;
constexpr double kTickTargetLoadedMs = 4.0;
// The armed phase is measured from here after the first press, past the press's own 300 ms
// and the start of the reels.
constexpr int kArmedSettleMs = 500;
// A draw takes at most 6 x 2150 ms plus its waits; past this it is stuck.
constexpr int kDrawLimitMs = 60000;

enum class Phase { Off, Armed, Drawing };

// CPU and wall time at one moment.
struct Mark {
    double cpu = 0;
    qint64 wallNs = 0;
    long switches = 0;
};

// CPU taken over a stretch of wall time.
struct Span {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    long switches = 0;
    void add(const Mark& from, const Mark& to) {
        cpuSeconds += to.cpu - from.cpu;
        wallSeconds += static_cast<double>(to.wallNs - from.wallNs) * 1e-9;
        switches += to.switches - from.switches;
    }
    double percent() const { return wallSeconds > 0 ? 100.0 * cpuSeconds / wallSeconds : 0; }
    double wakeupsPerSecond() const {
        return wallSeconds > 0 ? static_cast<double>(switches) / wallSeconds : 0;
    }
};

// Intervals between consecutive ticks of one timer, within one draw.
struct TickLog {
    explicit TickLog(double nominal) : nominalMs(nominal) {}
    double nominalMs;
    qint64 lastNs = -1;
    bench::SchedStat lastStat;
    std::vector<double> intervalsMs;
    // Per interval, how long the process was on a core, and ready to run with no core free.
    std::vector<double> runMs;
    std::vector<double> queuedMs;
    void restart() { lastNs = -1; }
    void tick(qint64 ns) {
        const bench::SchedStat stat = bench::schedStat();
        if (lastNs >= 0) {
            intervalsMs.push_back(static_cast<double>(ns - lastNs) * 1e-6);
            runMs.push_back(static_cast<double>(stat.runNs - lastStat.runNs) * 1e-6);
            queuedMs.push_back(static_cast<double>(stat.waitNs - lastStat.waitNs) * 1e-6);
        }
        lastNs = ns;
        lastStat = stat;
    }
    // Intervals off by more than limitMs, by what the scheduler says of them: the process
    // waited for a core, or was on one (its own work), for at least half the deviation, in that
    // interval or the one before (a late tick makes the next interval short); the rest neither
    // (time stolen by the hypervisor, the dispatcher's rounding).
    struct Outliers {
        int off = 0;
        int queued = 0;
        int busy = 0;
    };
    Outliers outliers(double limitMs) const {
        Outliers o;
        for (std::size_t i = 0; i < intervalsMs.size(); ++i) {
            const double dev = std::abs(intervalsMs[i] - nominalMs);
            if (dev <= limitMs) {
                continue;
            }
            ++o.off;
            auto worst = [&](const std::vector<double>& v) {
                return std::max(v[i], i > 0 ? v[i - 1] : 0.0);
            };
            if (qEnvironmentVariableIsSet("TAVO_BENCH_VERBOSE")) {
                std::fprintf(stderr,
                             "interval %zu: %.2f ms, on a core %.2f (before %.2f), queued %.2f\n",
                             i, intervalsMs[i], runMs[i], i > 0 ? runMs[i - 1] : 0.0, queuedMs[i]);
            }
            if (worst(queuedMs) >= dev / 2) {
                ++o.queued;
            } else if (worst(runMs) >= dev / 2) {
                ++o.busy;
            }
        }
        return o;
    }
    std::vector<double> deviationsMs() const {
        std::vector<double> out;
        out.reserve(intervalsMs.size());
        for (const double ms : intervalsMs) {
            out.push_back(std::abs(ms - nominalMs));
        }
        return out;
    }
    double meanMs() const {
        double sum = 0;
        for (const double ms : intervalsMs) {
            sum += ms;
        }
        return intervalsMs.empty() ? 0 : sum / static_cast<double>(intervalsMs.size());
    }
};

struct Condition {
    Condition(const QString& label, double tickTarget) : name(label), tickTargetMs(tickTarget) {}
    QString name;
    double tickTargetMs;
    Span armed;
    Span drawing;
    TickLog reelArmed{kReelMs};
    TickLog reelDrawing{kReelMs};
    TickLog lamp{kLampMs};
    // A bare 50 ms timer in this process's idle event loop, under the same condition: what the
    // machine itself allows.
    TickLog reference{kReelMs};
    double machineBusyCores = 0;
    double machineStolenPercent = 0;
    int draws = 0;
    int stuck = 0;

    std::vector<double> reelDeviations() const {
        std::vector<double> all = reelArmed.deviationsMs();
        const std::vector<double> more = reelDrawing.deviationsMs();
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }
};

Mark markNow(const QElapsedTimer& clock) {
    return {bench::processCpuSeconds(), clock.nsecsElapsed(), bench::contextSwitches()};
}

void press(MainWindow& w, int k) {
    QTest::mouseClick(w.ImageSwitch(k), Qt::LeftButton);
}

// One draw of block k: press, hold armed for armedMs, press again, and wait inside the first
// press until the draw has ended.
void runDraw(MainWindow& w, int k, int armedMs, const QElapsedTimer& clock, Condition& c) {
    Phase phase = Phase::Off;
    Mark armedFrom;
    Mark drawingFrom;
    c.reelArmed.restart();
    c.reelDrawing.restart();
    c.lamp.restart();
    // Both logs share one chain of reel ticks; whichever phase a tick falls in, the interval
    // since the previous one belongs to that phase.
    qint64 lastReelNs = -1;
    bench::SchedStat lastReelStat;

    QObject context;
    QObject::connect(&(*w.findChild<BlockDraw*>()).TimerDummy, &Timer::timeout, &context, [&] {
        const qint64 now = clock.nsecsElapsed();
        TickLog& log = phase == Phase::Drawing ? c.reelDrawing : c.reelArmed;
        log.lastNs = lastReelNs;
        log.lastStat = lastReelStat;
        log.tick(now);
        lastReelNs = now;
        lastReelStat = log.lastStat;
    });
    QObject::connect(&(*w.findChild<BlockDraw*>()).TimerFlick, &Timer::timeout, &context,
                     [&] { c.lamp.tick(clock.nsecsElapsed()); });
    QObject::connect(&(*w.findChild<BlockDraw*>()), &BlockDraw::drawFinished, &context, [&] {
        c.drawing.add(drawingFrom, markNow(clock));
        phase = Phase::Off;
    });
    QTimer::singleShot(kArmedSettleMs, &context, [&] {
        armedFrom = markNow(clock);
        phase = Phase::Armed;
    });
    QTimer::singleShot(kArmedSettleMs + armedMs, &context, [&] {
        drawingFrom = markNow(clock);
        c.armed.add(armedFrom, drawingFrom);
        phase = Phase::Drawing;
        press(w, k);
    });
    bool gaveUp = false;
    QTimer::singleShot(kDrawLimitMs, &context, [&] {
        gaveUp = true;
        w.close();
    });
    press(w, k);
    ++c.draws;
    if (gaveUp) {
        ++c.stuck;
    }
}

// A plain precise timer, nothing else running, for durationMs.
void runReference(int durationMs, const QElapsedTimer& clock, Condition& c) {
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(static_cast<int>(kReelMs));
    QObject::connect(&timer, &QTimer::timeout, [&] { c.reference.tick(clock.nsecsElapsed()); });
    QTimer::singleShot(durationMs, &loop, &QEventLoop::quit);
    timer.start();
    loop.exec();
}

QString verdict(bool pass) {
    return pass ? QStringLiteral("PASS") : QStringLiteral("MISS");
}

QString ms(double v) {
    return QString::number(v, 'f', 2) + QStringLiteral(" ms");
}

QString percent(double v) {
    return QString::number(v, 'f', 2) + QStringLiteral(" %");
}

QString outlierText(const TickLog::Outliers& o, std::size_t intervals) {
    return QStringLiteral("%1 of %2: %3 waiting for a core, %4 own work, %5 neither")
        .arg(o.off)
        .arg(intervals)
        .arg(o.queued)
        .arg(o.busy)
        .arg(o.off - o.queued - o.busy);
}

void printRow(const QString& what, const QString& condition, const QString& measured,
              const QString& target, const QString& result) {
    std::printf("| %s | %s | %s | %s | %s |\n", qPrintable(what), qPrintable(condition),
                qPrintable(measured), qPrintable(target), qPrintable(result));
}

void report(const std::vector<Condition>& conditions, int armedMs, long long sliceNs) {
    std::printf("\n### Draws on the window (bench_draw)\n\n");
    std::printf(
        "%s. Armed phase measured for %d ms per draw; drawing phase from the second "
        "press to the end of the draw. Scheduler slice: %s.\n\n",
        qPrintable(bench::machineSummary()), armedMs,
        sliceNs > 0 ? qPrintable(QStringLiteral("%1 µs").arg(sliceNs / 1000)) : "unknown");
    std::printf("| What | Condition | Measured | Target | Result |\n");
    std::printf("|---|---|---|---|---|\n");
    const QString cpuTarget = QStringLiteral("≤ %1 %").arg(kCpuTargetPercent);
    for (const Condition& c : conditions) {
        printRow(QStringLiteral("CPU, armed phase (of one core)"), c.name,
                 percent(c.armed.percent()), cpuTarget,
                 verdict(c.armed.percent() <= kCpuTargetPercent));
        printRow(QStringLiteral("CPU, drawing phase (of one core)"), c.name,
                 percent(c.drawing.percent()), cpuTarget,
                 verdict(c.drawing.percent() <= kCpuTargetPercent));
    }
    for (const Condition& c : conditions) {
        const std::vector<double> dev = c.reelDeviations();
        const QString target = QStringLiteral("p99 ≤ %1 ms").arg(c.tickTargetMs);
        printRow(QStringLiteral("Reel tick |interval − 50 ms|, p50"), c.name,
                 ms(bench::median(dev)), QStringLiteral("—"), QStringLiteral("—"));
        printRow(QStringLiteral("Reel tick |interval − 50 ms|, p99"), c.name,
                 ms(bench::percentile(dev, 0.99)), target,
                 verdict(bench::percentile(dev, 0.99) <= c.tickTargetMs));
        printRow(QStringLiteral("Reel tick |interval − 50 ms|, max"), c.name,
                 ms(bench::maximum(dev)), QStringLiteral("—"), QStringLiteral("—"));
        TickLog::Outliers o = c.reelArmed.outliers(c.tickTargetMs);
        const TickLog::Outliers more = c.reelDrawing.outliers(c.tickTargetMs);
        o.off += more.off;
        o.queued += more.queued;
        o.busy += more.busy;
        printRow(QStringLiteral("Reel intervals off by > %1 ms, and why").arg(c.tickTargetMs),
                 c.name, outlierText(o, dev.size()), QStringLiteral("—"), QStringLiteral("—"));
    }
    for (const Condition& c : conditions) {
        const std::vector<double> dev = c.reference.deviationsMs();
        printRow(QStringLiteral("Reference: bare 50 ms timer between draws, p50 / p99 / max"),
                 c.name,
                 ms(bench::median(dev)) + QStringLiteral(" / ") + ms(bench::percentile(dev, 0.99)) +
                     QStringLiteral(" / ") + ms(bench::maximum(dev)),
                 QStringLiteral("—"), QStringLiteral("—"));
        printRow(QStringLiteral("Reference intervals off by > %1 ms, and why").arg(c.tickTargetMs),
                 c.name, outlierText(c.reference.outliers(c.tickTargetMs), dev.size()),
                 QStringLiteral("—"), QStringLiteral("—"));
    }
    for (const Condition& c : conditions) {
        const std::vector<double> dev = c.lamp.deviationsMs();
        printRow(QStringLiteral("Lamp tick |interval − 500 ms|, p50 / p99 / max"), c.name,
                 ms(bench::median(dev)) + QStringLiteral(" / ") + ms(bench::percentile(dev, 0.99)) +
                     QStringLiteral(" / ") + ms(bench::maximum(dev)),
                 QStringLiteral("—"), QStringLiteral("—"));
    }
    std::printf("\nDetail:\n\n");
    std::printf(
        "| Condition | Draws | Armed: wall s, CPU s, wake-ups/s | Drawing: wall s, CPU s, "
        "wake-ups/s | Reel intervals armed / drawing, mean | Lamp intervals, mean | Machine: busy "
        "cores, stolen |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const Condition& c : conditions) {
        std::printf(
            "| %s | %d%s | %.1f, %.3f, %.0f | %.1f, %.3f, %.0f | %zu / %zu, %.3f / %.3f "
            "ms | %zu, %.3f ms | %.2f, %.1f %% |\n",
            qPrintable(c.name), c.draws,
            c.stuck > 0 ? qPrintable(QStringLiteral(" (%1 stuck)").arg(c.stuck)) : "",
            c.armed.wallSeconds, c.armed.cpuSeconds, c.armed.wakeupsPerSecond(),
            c.drawing.wallSeconds, c.drawing.cpuSeconds, c.drawing.wakeupsPerSecond(),
            c.reelArmed.intervalsMs.size(), c.reelDrawing.intervalsMs.size(), c.reelArmed.meanMs(),
            c.reelDrawing.meanMs(), c.lamp.intervalsMs.size(), c.lamp.meanMs(), c.machineBusyCores,
            c.machineStolenPercent);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    bench::useOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bench_draw"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Draws on the real window; CPU per phase and timer intervals."));
    parser.addHelpOption();
    const QCommandLineOption drawsOption(QStringLiteral("draws"),
                                         QStringLiteral("Draws per condition (default 5)."),
                                         QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption armedOption(
        QStringLiteral("armed-ms"), QStringLiteral("Time a block is held armed (default 3000)."),
        QStringLiteral("ms"), QStringLiteral("3000"));
    const QCommandLineOption idleOnlyOption(QStringLiteral("idle-only"),
                                            QStringLiteral("Skip the run with every core busy."));
    const QCommandLineOption referenceOption(
        QStringLiteral("reference-ms"),
        QStringLiteral("Time the bare reference timer runs per condition, spread over the draws "
                       "(default 10000)."),
        QStringLiteral("ms"), QStringLiteral("10000"));
    const QCommandLineOption loadedOnlyOption(QStringLiteral("loaded-only"),
                                              QStringLiteral("Skip the run on the idle machine."));
    const QCommandLineOption sliceOption(
        QStringLiteral("slice-us"),
        QStringLiteral("Ask the scheduler for this time slice (experiment; default: leave it)."),
        QStringLiteral("us"));
    parser.addOptions(
        {drawsOption, armedOption, idleOnlyOption, loadedOnlyOption, referenceOption, sliceOption});
    parser.process(app);
    const int draws = std::max(1, parser.value(drawsOption).toInt());
    const int armedMs = std::max(500, parser.value(armedOption).toInt());
    const int referenceMs = std::max(1000, parser.value(referenceOption).toInt());

    if (parser.isSet(sliceOption)) {
        const long long ns = parser.value(sliceOption).toLongLong() * 1000;
        if (!bench::requestSchedulerSlice(ns)) {
            std::fprintf(stderr, "bench_draw: the scheduler refused a slice of %lld ns\n", ns);
        }
    }
    const long long slice = bench::schedulerSlice();

    SystemPlatform platform;
    MainWindow w(platform);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) {
        std::fprintf(stderr, "bench_draw: the window was never shown\n");
        return 1;
    }
    QTest::qWait(500);

    QElapsedTimer clock;
    clock.start();
    std::vector<Condition> conditions;
    if (!parser.isSet(loadedOnlyOption)) {
        conditions.emplace_back(QStringLiteral("idle"), kTickTargetIdleMs);
    }
    if (!parser.isSet(idleOnlyOption)) {
        conditions.emplace_back(QStringLiteral("cores busy"), kTickTargetLoadedMs);
    }
    const int cores = std::max(1, QThread::idealThreadCount());
    for (Condition& c : conditions) {
        bench::CoreLoad load;
        if (c.tickTargetMs == kTickTargetLoadedMs) {
            // Bounded even if this process dies without stopping them.
            const unsigned bound =
                static_cast<unsigned>(draws * (armedMs / 1000 + 20) + referenceMs / 1000 + 30);
            load.start(cores, bound);
            QTest::qWait(300);
            c.name = QStringLiteral("%1 cores busy").arg(load.running());
        }
        const bench::MachineCpu machineFrom = bench::machineCpu();
        for (int i = 0; i < draws && w.isVisible(); ++i) {
            // Interleaved with the draws, so both see the same moments of the machine.
            c.reference.restart();
            runReference(referenceMs / draws, clock, c);
            runDraw(w, i % 5, armedMs, clock, c);
            std::fprintf(stderr, "bench_draw: %s, draw %d of %d done\n", qPrintable(c.name), i + 1,
                         draws);
            QTest::qWait(200);
        }
        const bench::MachineCpu machineTo = bench::machineCpu();
        c.machineBusyCores = bench::busyCores(machineFrom, machineTo);
        c.machineStolenPercent = bench::stolenPercent(machineFrom, machineTo);
        load.stop();
    }
    report(conditions, armedMs, slice);
    return 0;
}
