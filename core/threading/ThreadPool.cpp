#include "core/threading/ThreadPool.h"

#include "core/log/CrashReporting.h"

#include <system_error>

namespace Orvantis::Threading {

ThreadPool::ThreadPool(std::size_t numThreads) {
    workers.reserve(numThreads);
    try {
        for (std::size_t i = 0; i < numThreads; ++i) {
            workers.emplace_back(&ThreadPool::workerLoop, this);
        }
    } catch (...) {
        join();
        throw;
    }
}

ThreadPool::~ThreadPool() {
    bool stopped = false;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        stopped = stopRequested;
    }
    if (!stopped) {
        join();
    }
    // A join() that failed part-way (called from a worker) leaves workers
    // behind; they end on their own now that the stop flag is set.
    for (std::thread& worker : workers) {
        if (worker.joinable() && worker.get_id() != std::this_thread::get_id()) {
            worker.join();
        }
    }
}

void ThreadPool::join() {
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        stopRequested = true;
    }
    condition.notify_all();
    for (std::thread& worker : workers) {
        // A worker cannot wait for itself. Not every platform detects a
        // thread joining itself (POSIX leaves it undefined), so say so here.
        if (worker.get_id() == std::this_thread::get_id()) {
            throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur),
                                    "ThreadPool::join called from one of its workers");
        }
        worker.join();
    }
}

std::size_t ThreadPool::numThreads() const {
    return workers.size();
}

std::size_t ThreadPool::numWaitingTasks() const {
    std::lock_guard<std::mutex> lock(queueMutex);
    return tasks.size();
}

void ThreadPool::workerLoop() {
    Log::prepareThreadForCrashReports();
    for (;;) {
        std::unique_ptr<detail::PoolTaskBase> task;
        {
            std::unique_lock<std::mutex> lock(queueMutex);
            condition.wait(lock, [this] { return stopRequested || !tasks.empty(); });
            if (stopRequested && tasks.empty()) {
                return;
            }
            task = std::move(tasks.front());
            tasks.pop_front();
        }
        task->run();
    }
}

}  // namespace Orvantis::Threading
