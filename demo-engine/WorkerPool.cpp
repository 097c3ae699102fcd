#include "WorkerPool.h"

#include <algorithm>
#include <system_error>

namespace zqt::demo {

WorkerPool::WorkerPool(std::size_t minThreads, std::size_t maxThreads, std::chrono::milliseconds idleExit)
    : m_min(minThreads), m_max(std::max<std::size_t>(1, std::max(minThreads, maxThreads))), m_idleExit(idleExit) {
    std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < m_min; ++i)
        startWorkerLocked();
}

WorkerPool::~WorkerPool() {
    shutdown();
}

void WorkerPool::startWorkerLocked() {
    try {
        m_workers.emplace_back();
        const WorkerIt it = std::prev(m_workers.end());
        // The new thread touches its entry only under m_mutex, which the caller holds until `thread` is set.
        it->thread = std::thread([this, it] { run(it); });
    } catch (const std::system_error&) {
        // No thread available now: the job waits for a running worker.
        m_workers.pop_back();
    }
}

std::list<WorkerPool::Worker> WorkerPool::takeFinishedLocked() {
    std::list<Worker> finished;
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        const auto next = std::next(it);
        if (it->done)
            finished.splice(finished.end(), m_workers, it);
        it = next;
    }
    m_finished -= finished.size();
    return finished;
}

void WorkerPool::enqueue(std::function<void()> fn) {
    std::list<Worker> finished;
    {
        std::lock_guard lock(m_mutex);
        finished = takeFinishedLocked();
        m_jobs.push_back(std::move(fn));
        const std::size_t running = m_workers.size() - m_finished;
        if (m_jobs.size() > m_idle && running < m_max)
            startWorkerLocked();
        else
            m_wake.notify_one();
    }
    for (Worker& w : finished)
        w.thread.join();
}

void WorkerPool::shutdown() {
    std::list<Worker> all;
    {
        std::lock_guard lock(m_mutex);
        m_shutdown = true;
        all.swap(m_workers);
        m_finished = 0;
    }
    m_wake.notify_all();
    for (Worker& w : all) {
        if (w.thread.joinable())
            w.thread.join();
    }
}

void WorkerPool::run(WorkerIt self) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_jobs.empty()) {
            if (m_shutdown)
                break;
            ++m_idle;
            const bool woken = m_wake.wait_for(lock, m_idleExit, [this] { return !m_jobs.empty() || m_shutdown; });
            --m_idle;
            const std::size_t running = m_workers.size() - m_finished;
            if (!woken && !m_shutdown && running > m_min)
                break;
            continue;
        }
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
    // After shutdown the entry has moved to shutdown()'s list, which joins it; `done` is then unused.
    if (!m_shutdown) {
        self->done = true;
        ++m_finished;
    }
}

} // namespace zqt::demo
