#pragma once

// The UI thread's responsiveness and the process's resident memory, as the fault tests measure them.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace zqt::test {

// Resident set size of this process in bytes (/proc/self/statm), 0 when it cannot be read.
inline qint64 residentBytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    long long size = 0;
    long long resident = 0;
    const int n = std::fscanf(f, "%lld %lld", &size, &resident);
    std::fclose(f);
    return n == 2 ? resident * sysconf(_SC_PAGESIZE) : 0;
}

// How long the thread it lives on goes without running its event loop. A precise timer ticks every kPeriodMs; the
// time between two ticks beyond the period is a block. The time the thread spent runnable but waiting for a CPU
// (the kernel's schedstat: other processes had the cores) is taken off, so that a block is time spent in the
// program's own work or waits, whatever else runs on the machine. The raw gaps are kept too.
class UiWatchdog final : public QObject {
public:
    static constexpr int kPeriodMs = 10;

    UiWatchdog() {
        m_schedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kPeriodMs);
        connect(&m_timer, &QTimer::timeout, this, &UiWatchdog::onTick);
    }
    ~UiWatchdog() override {
        if (m_schedstat >= 0)
            ::close(m_schedstat);
    }
    UiWatchdog(const UiWatchdog&) = delete;
    UiWatchdog& operator=(const UiWatchdog&) = delete;

    void start() {
        resync();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    // Starts the next gap now: the test itself held the thread on purpose (not the program's doing).
    void resync() {
        m_clock.start();
        m_last = sched();
    }

    // Longest block seen (ms), with and without the time spent waiting for a CPU taken off.
    double maxBlockMs() const { return m_maxBlockNs / 1e6; }
    double maxRawGapMs() const { return m_maxRawNs / 1e6; }
    // Of the longest block, the time the thread ran on a CPU (the rest it slept: on a lock, a system call, ...).
    double maxBlockRunMs() const { return m_maxBlockRunNs / 1e6; }
    int ticks() const { return m_ticks; }

private:
    // Nanoseconds this thread has run on a CPU and waited on a run queue so far; 0 when the kernel does not tell.
    struct Sched {
        qint64 runNs = 0;
        qint64 waitNs = 0;
    };
    Sched sched() const {
        if (m_schedstat < 0)
            return {};
        char buf[128];
        const ssize_t n = ::pread(m_schedstat, buf, sizeof buf - 1, 0);
        if (n <= 0)
            return {};
        buf[n] = '\0';
        long long run = 0;
        long long wait = 0;
        if (std::sscanf(buf, "%lld %lld", &run, &wait) != 2)
            return {};
        return {run, wait};
    }

    void onTick() {
        const qint64 gap = m_clock.nsecsElapsed();
        const Sched now = sched();
        const qint64 overPeriod = gap - qint64{kPeriodMs} * 1'000'000;
        m_maxRawNs = std::max(m_maxRawNs, overPeriod);
        const qint64 block = overPeriod - (now.waitNs - m_last.waitNs);
        if (block > m_maxBlockNs) {
            m_maxBlockNs = block;
            m_maxBlockRunNs = now.runNs - m_last.runNs;
        }
        ++m_ticks;
        m_clock.start();
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_schedstat = -1;
    Sched m_last;
    qint64 m_maxBlockNs = 0;
    qint64 m_maxBlockRunNs = 0;
    qint64 m_maxRawNs = 0;
    int m_ticks = 0;
};

} // namespace zqt::test
