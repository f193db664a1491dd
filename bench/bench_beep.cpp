// SPDX-License-Identifier: MIT
// The beep as the program makes it (SystemPlatform::beep), against a PulseAudio of our own
// with a null sink: how long one call holds the user-interface thread, and how long after the
// call the bell is heard on the sink's monitor.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "app/systemplatform.h"
#include "benchutil.h"
#include "support/pulsesandbox.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCalls = 3000;
constexpr int kCallSpacingMs = 5;
constexpr int kTimedBeeps = 20;
constexpr double kCallTargetMs = 0.1;
constexpr double kOnsetTargetMs = 30.0;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}
double quantile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
}

// parec on the sink's monitor through a pipe, read by a thread that notes when each chunk came:
// a frame's time is that of its chunk's arrival less the frames after it in the chunk.
class StampedRecorder {
public:
    bool start() {
        int fds[2];
        if (pipe(fds) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string rate = "--rate=" + std::to_string(PulseSandbox::kRate);
        const std::string channels = "--channels=" + std::to_string(PulseSandbox::kChannels);
        const char* argv[] = {"parec",
                              "--device=cap.monitor",
                              "--latency-msec=5",
                              "--format=s16le",
                              rate.c_str(),
                              channels.c_str(),
                              "--raw",
                              nullptr};
        const int rc = posix_spawnp(&m_pid, "parec", &actions, nullptr,
                                    const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            return false;
        }
        m_fd = fds[0];
        m_reader = std::thread([this] {
            char buffer[4096];
            for (;;) {
                const ssize_t n = read(m_fd, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                const auto now = Clock::now();
                std::lock_guard lock(m_mutex);
                m_data.append(buffer, static_cast<int>(n));
                m_chunks.push_back({m_data.size() / kFrameBytes, now});
            }
        });
        return true;
    }
    ~StampedRecorder() { stop(); }
    void stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        }
        if (m_reader.joinable()) {
            m_reader.join();
        }
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    QByteArray data() {
        std::lock_guard lock(m_mutex);
        return m_data;
    }
    // When the frame reached us.
    Clock::time_point frameTime(qint64 frame) {
        std::lock_guard lock(m_mutex);
        const auto it = std::lower_bound(m_chunks.begin(), m_chunks.end(), frame + 1,
                                         [](const Chunk& c, qint64 f) { return c.endFrame < f; });
        if (it == m_chunks.end()) {
            return Clock::time_point{};
        }
        const auto after =
            std::chrono::nanoseconds((it->endFrame - frame) * 1000000000LL / PulseSandbox::kRate);
        return it->arrived - after;
    }

private:
    static constexpr qint64 kFrameBytes = 2 * PulseSandbox::kChannels;
    struct Chunk {
        qint64 endFrame;
        Clock::time_point arrived;
    };
    pid_t m_pid = 0;
    int m_fd = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    QByteArray m_data;
    std::vector<Chunk> m_chunks;
};

}  // namespace

int main(int argc, char* argv[]) {
    bench::useOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    PulseSandbox pulse;
    if (!pulse.start()) {
        std::printf("bench_beep: no sound server (%s); nothing measured\n",
                    qPrintable(pulse.why()));
        return 0;
    }
    qputenv("PULSE_SERVER", pulse.server().toUtf8());
    StampedRecorder recorder;
    if (!recorder.start()) {
        std::printf("bench_beep: parec did not start; nothing measured\n");
        return 0;
    }
    QTest::qWait(2000);  // past the idle sink's latency

    SystemPlatform platform;
    platform.prepareBeep();
    (void)QTest::qWaitFor(
        [&] { return platform.beepCounts().opened || platform.beepCounts().failed; }, 10000);
    if (!platform.beepCounts().opened) {
        std::printf("bench_beep: libcanberra did not reach the server; nothing measured\n");
        return 0;
    }

    // Onsets: one beep every 400 ms, each call stamped.
    std::vector<Clock::time_point> calls;
    for (int i = 0; i < kTimedBeeps; ++i) {
        calls.push_back(Clock::now());
        platform.beep();
        QTest::qWait(400);
    }
    QTest::qWait(500);
    const std::vector<qint64> onsets = soundOnsets(recorder.data());
    // Each sound belongs to the call nearest to it (they are 400 ms apart). The null sink
    // renders a little ahead of the clock, so a sound can show on its monitor a hair before the
    // moment it would leave a real card: a delay can come out slightly negative.
    std::vector<double> delays;
    for (const qint64 f : onsets) {
        const auto heard = recorder.frameTime(f);
        const auto call = std::min_element(calls.begin(), calls.end(), [heard](auto a, auto b) {
            return std::abs(ms(heard - a)) < std::abs(ms(heard - b));
        });
        delays.push_back(ms(heard - *call));
    }

    // Call time: many calls, a few milliseconds apart, as the UI thread makes them; beside the
    // wall time, the thread's own CPU time in the call, to tell the call's work from the
    // scheduler handing the core to the woken worker or the server in the middle of it.
    std::vector<double> callMs;
    std::vector<double> callCpuMs;
    const auto threadCpuMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    };
    for (int i = 0; i < kCalls; ++i) {
        const double cpu0 = threadCpuMs();
        const auto t0 = Clock::now();
        platform.beep();
        callMs.push_back(ms(Clock::now() - t0));
        callCpuMs.push_back(threadCpuMs() - cpu0);
        std::this_thread::sleep_for(std::chrono::milliseconds(kCallSpacingMs));
    }
    QTest::qWait(500);
    recorder.stop();
    const BeepCounts counts = platform.beepCounts();

    const double callP99 = quantile(callMs, 0.99);
    const double onsetP99 = quantile(delays, 0.99);
    std::printf("### Beep (%s)\n\n", qPrintable(bench::machineSummary()));
    std::printf("| What | p50 | p99 | max | Target |\n|---|---|---|---|---|\n");
    std::printf(
        "| One beep call on the UI thread, %d calls %d ms apart | %.4f ms | %.4f ms | %.4f ms | "
        "p99 < %.1f "
        "ms — %s |\n",
        kCalls, kCallSpacingMs, quantile(callMs, 0.5), callP99, quantile(callMs, 1.0),
        kCallTargetMs, callP99 < kCallTargetMs ? "PASS" : "MISS");
    std::printf("| Its CPU time on the UI thread | %.4f ms | %.4f ms | %.4f ms | — |\n",
                quantile(callCpuMs, 0.5), quantile(callCpuMs, 0.99), quantile(callCpuMs, 1.0));
    std::printf(
        "| Call to sound on the sink's monitor, %zu of %d beeps heard | %.1f ms | %.1f ms | "
        "%.1f ms | p99 < %.0f ms — %s |\n\n",
        delays.size(), kTimedBeeps, quantile(delays, 0.5), onsetP99, quantile(delays, 1.0),
        kOnsetTargetMs,
        delays.size() == kTimedBeeps && onsetP99 < kOnsetTargetMs ? "PASS" : "MISS");
    std::printf("Beeps played %d, dropped as stale %d, fallbacks %d.\n", counts.played,
                counts.dropped, counts.fallbacks);
    return 0;
}
