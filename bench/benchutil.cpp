// SPDX-License-Identifier: MIT
#include "benchutil.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QFile>
#include <QGuiApplication>
#include <QSysInfo>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace bench {

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

QString cpuModel() {
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("unknown CPU");
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("model name")) {
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown CPU");
}

}  // namespace

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

long contextSwitches() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

long currentRssKiB() {
    QFile file(QStringLiteral("/proc/self/statm"));
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = file.readAll().split(' ');
    if (fields.size() < 2) {
        return -1;
    }
    return fields.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

SchedStat schedStat() {
    static const int fd = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    SchedStat stat;
    char text[128] = {};
    if (fd < 0 || pread(fd, text, sizeof text - 1, 0) <= 0) {
        return stat;
    }
    // "<ns on a core> <ns waiting for one> <time slices>"
    char* rest = nullptr;
    stat.runNs = std::strtoll(text, &rest, 10);
    stat.waitNs = std::strtoll(rest, nullptr, 10);
    return stat;
}

namespace {

// The kernel's struct sched_attr (glibc has no wrapper for it).
struct SchedAttr {
    quint32 size;
    quint32 sched_policy;
    quint64 sched_flags;
    qint32 sched_nice;
    quint32 sched_priority;
    quint64 sched_runtime;
    quint64 sched_deadline;
    quint64 sched_period;
    quint32 sched_util_min;
    quint32 sched_util_max;
};

}  // namespace

bool requestSchedulerSlice(long long ns) {
    SchedAttr attr{};
    attr.size = sizeof attr;
    attr.sched_policy = SCHED_OTHER;
    attr.sched_nice = getpriority(PRIO_PROCESS, 0);
    attr.sched_runtime = static_cast<quint64>(ns);
    return syscall(SYS_sched_setattr, 0, &attr, 0U) == 0;
}

long long schedulerSlice() {
    SchedAttr attr{};
    if (syscall(SYS_sched_getattr, 0, &attr, static_cast<unsigned>(sizeof attr), 0U) != 0) {
        return -1;
    }
    return static_cast<long long>(attr.sched_runtime);
}

long long monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

MachineCpu machineCpu() {
    QFile file(QStringLiteral("/proc/stat"));
    MachineCpu cpu;
    if (!file.open(QIODevice::ReadOnly)) {
        return cpu;
    }
    // cpu  user nice system idle iowait irq softirq steal guest guest_nice
    const QList<QByteArray> fields = file.readLine().simplified().split(' ');
    for (qsizetype i = 1; i < fields.size() && i <= 8; ++i) {
        const long long value = fields.at(i).toLongLong();
        cpu.total += value;
        if (i == 8) {
            cpu.steal = value;
        } else if (i != 4 && i != 5) {
            cpu.busy += value;
        }
    }
    return cpu;
}

double busyCores(const MachineCpu& from, const MachineCpu& to) {
    const long long total = to.total - from.total;
    return total > 0 ? static_cast<double>(to.busy - from.busy) / static_cast<double>(total) *
                           QThread::idealThreadCount()
                     : 0;
}

double stolenPercent(const MachineCpu& from, const MachineCpu& to) {
    const long long total = to.total - from.total;
    return total > 0
               ? 100.0 * static_cast<double>(to.steal - from.steal) / static_cast<double>(total)
               : 0;
}

bool useOffscreenWithoutDisplay() {
    if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM")) {
        return false;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return true;
}

QString machineSummary() {
    return QStringLiteral("%1, %2 cores, %3, Qt %4, platform %5")
        .arg(cpuModel())
        .arg(QThread::idealThreadCount())
        .arg(QSysInfo::prettyProductName(), QString::fromLatin1(qVersion()),
             QGuiApplication::platformName());
}

void CoreLoad::start(int processes, unsigned boundSeconds) {
    const pid_t parent = getpid();
    for (int i = 0; i < processes; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            // Only system calls from here on: the child of a threaded process may not touch
            // anything that could hold a lock.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) {
                _exit(0);
            }
            alarm(boundSeconds);
            for (volatile unsigned long spin = 0;; spin = spin + 1) {
            }
        }
        if (pid > 0) {
            m_children.push_back(pid);
        }
    }
}

void CoreLoad::stop() {
    for (const pid_t pid : m_children) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    m_children.clear();
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values.at(std::clamp<std::size_t>(rank, 1, values.size()) - 1);
}

double median(std::vector<double> values) {
    return percentile(std::move(values), 0.5);
}

double maximum(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

}  // namespace bench
