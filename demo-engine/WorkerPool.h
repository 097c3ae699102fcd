#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace zqt::demo {

// The task queue of an HTTP server: one job per accepted connection, run by a pool that starts a new thread
// whenever every thread is busy, up to `maxThreads`. A connection that sends nothing holds its thread until the
// keep-alive timeout, so a fixed pool lets a client with many silent connections starve everyone else; growing
// on demand keeps a thread free for the next request. Threads above `minThreads` that stay idle for
// `idleExit` end. Beyond `maxThreads` jobs wait in order.
class WorkerPool final : public httplib::TaskQueue {
public:
    WorkerPool(std::size_t minThreads, std::size_t maxThreads, std::chrono::milliseconds idleExit);
    ~WorkerPool() override;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void enqueue(std::function<void()> fn) override;
    // Runs the jobs already queued, then ends and joins every thread.
    void shutdown() override;

private:
    struct Worker {
        std::thread thread;
        bool done = false;
    };
    using WorkerIt = std::list<Worker>::iterator;

    void run(WorkerIt self);
    void startWorkerLocked();
    std::list<Worker> takeFinishedLocked();

    const std::size_t m_min;
    const std::size_t m_max;
    const std::chrono::milliseconds m_idleExit;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::list<Worker> m_workers; // running and finished-but-not-joined
    std::size_t m_finished = 0;  // workers in m_workers whose thread has returned from run()
    std::size_t m_idle = 0;      // workers waiting for a job
    bool m_shutdown = false;
};

} // namespace zqt::demo
