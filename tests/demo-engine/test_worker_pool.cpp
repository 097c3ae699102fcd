// The demo engine's worker pool on its own: it grows while every thread is busy, never past its cap, runs what
// was queued before a shutdown, and lets surplus threads go when they stay idle.
#include "TestEnv.h"
#include "WorkerPool.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

using zqt::demo::WorkerPool;
using namespace std::chrono_literals;

namespace {

// Jobs that block until released, counting how many run at once. Tests open the gate before the pool goes (its
// shutdown waits for the jobs), so they check with EXPECT up to that point.
class Gate {
public:
    std::function<void()> job() {
        return [this] {
            std::unique_lock lock(m_mutex);
            ++m_running;
            m_peak = std::max(m_peak, m_running);
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_open; });
            --m_running;
            ++m_done;
            m_changed.notify_all();
        };
    }
    void open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    // Waits up to 10 s for `pred` (called under the lock); its last value.
    template <typename Pred> bool waitFor(Pred pred) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return pred(m_running, m_done); });
    }
    int peak() {
        std::lock_guard lock(m_mutex);
        return m_peak;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    int m_running = 0;
    int m_peak = 0;
    int m_done = 0;
};

std::size_t threadsOfThisProcess() {
    std::size_t n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(d))
            n += e->d_name[0] != '.';
        ::closedir(d);
    }
    return n;
}

TEST(WorkerPool, everyThreadBusy_startsAnotherForTheNextJob) {
    Gate gate;
    WorkerPool pool(2, 64, 30s);
    for (int i = 0; i < 40; ++i)
        pool.enqueue(gate.job());
    // All forty block at once: none waits for another to finish.
    EXPECT_TRUE(gate.waitFor([](int running, int) { return running == 40; }));
    gate.open();
    EXPECT_TRUE(gate.waitFor([](int, int done) { return done == 40; }));
    pool.shutdown();
}

TEST(WorkerPool, atTheCap_furtherJobsWaitTheirTurnAndAllRun) {
    Gate gate;
    WorkerPool pool(1, 4, 30s);
    for (int i = 0; i < 10; ++i)
        pool.enqueue(gate.job());
    EXPECT_TRUE(gate.waitFor([](int running, int) { return running == 4; }));
    gate.open();
    EXPECT_TRUE(gate.waitFor([](int, int done) { return done == 10; }));
    EXPECT_EQ(gate.peak(), 4);
    pool.shutdown();
}

TEST(WorkerPool, shutdown_runsTheQueuedJobsThenJoins) {
    std::mutex m;
    int ran = 0;
    {
        WorkerPool pool(1, 1, 30s);
        for (int i = 0; i < 50; ++i) {
            pool.enqueue([&] {
                std::lock_guard lock(m);
                ++ran;
            });
        }
        pool.shutdown();
        std::lock_guard lock(m);
        EXPECT_EQ(ran, 50);
    }
}

TEST(WorkerPool, surplusThreadsIdleTooLong_endDownToTheFloor) {
    const std::size_t before = threadsOfThisProcess();
    Gate gate;
    WorkerPool pool(2, 32, 50ms);
    for (int i = 0; i < 20; ++i)
        pool.enqueue(gate.job());
    EXPECT_TRUE(gate.waitFor([](int running, int) { return running == 20; }));
    EXPECT_GE(threadsOfThisProcess(), before + 20);
    gate.open();
    ASSERT_TRUE(gate.waitFor([](int, int done) { return done == 20; }));
    // A thread ends once its idle time runs out (the pool joins it later); the floor of two stays.
    EXPECT_TRUE(zqt::test::waitUntil([&] { return threadsOfThisProcess() <= before + 2; }, 10000))
        << threadsOfThisProcess() << " threads, " << before << " before the pool";
    pool.shutdown();
}

} // namespace
