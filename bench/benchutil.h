// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>
#include <QString>
#include <vector>

// What the benchmarks measure the program with: the process's own CPU time and memory, a
// load that keeps every core busy, and the order statistics of a series.
namespace bench {

// CPU time of this process, all threads, user and system, in seconds.
double processCpuSeconds();
// Voluntary and involuntary context switches of this process so far: how often it slept or was
// pushed off a core.
long contextSwitches();
// Resident set now (/proc/self/statm) and at its peak (ru_maxrss), in KiB.
long currentRssKiB();
long peakRssKiB();
// Time the calling thread has spent on a core and runnable but waiting for one, in nanoseconds
// (/proc/thread-self/schedstat); -1 when the kernel does not say. Cheap enough to call per tick.
struct SchedStat {
    long long runNs = -1;
    long long waitNs = -1;
};
SchedStat schedStat();
// Asks the scheduler for a shorter time slice for the calling thread (EEVDF, Linux 6.12 and
// later: a shorter slice gives an earlier deadline, so a woken thread preempts busy ones sooner).
// Normal priority and policy are kept; no privilege is needed. False when the kernel refuses.
bool requestSchedulerSlice(long long ns);
// The calling thread's slice as the kernel reports it, in ns; -1 when unknown.
long long schedulerSlice();
// CLOCK_MONOTONIC in nanoseconds, comparable across processes.
long long monotonicNs();

// The machine's CPU time so far, all cores, from /proc/stat, in clock ticks: busy (neither idle
// nor waiting for I/O), stolen by the hypervisor, and all.
struct MachineCpu {
    long long busy = 0;
    long long steal = 0;
    long long total = 0;
};
MachineCpu machineCpu();
// Cores kept busy on average between two readings, and the share of the time stolen.
double busyCores(const MachineCpu& from, const MachineCpu& to);
double stolenPercent(const MachineCpu& from, const MachineCpu& to);

// Without a display, Qt aborts; the benchmarks then run on the offscreen platform. True when it
// was chosen here.
bool useOffscreenWithoutDisplay();
// The platform in use as the benchmarks report it.
QString machineSummary();

// One busy-looping child process per core, at normal priority. The children are separate
// processes so that their CPU time never counts as ours; each dies on its own after
// boundSeconds, and with its parent.
class CoreLoad {
public:
    CoreLoad() = default;
    CoreLoad(const CoreLoad&) = delete;
    CoreLoad& operator=(const CoreLoad&) = delete;
    ~CoreLoad() { stop(); }

    void start(int processes, unsigned boundSeconds);
    void stop();
    int running() const { return static_cast<int>(m_children.size()); }

private:
    std::vector<pid_t> m_children;
};

// The value at or below which a fraction p (0..1) of the sample lies (nearest rank); 0 when
// the sample is empty.
double percentile(std::vector<double> values, double p);
double median(std::vector<double> values);
double maximum(const std::vector<double>& values);

}  // namespace bench
