// ThreadPool.h — a fixed set of worker threads over one first-in-first-out
// task queue.
//
// The constructor starts the workers; they never grow or shrink in number.
// enqueue() appends a task and wakes one worker; the returned future carries
// the task's result, or the exception it threw (the worker goes on with the
// next task). join() shuts the pool down and drains the queue: it returns once
// every task queued before or during the shutdown has run. The destructor
// joins a pool that was not joined. Nothing is logged.
//
// Example:
//   Threading::ThreadPool pool(2);
//   std::future<int> sum = pool.enqueue([](int a, int b) { return a + b; }, 2, 3);
//   sum.get();  // 5
//   pool.join();
//
// Safety: enqueue, numThreads and numWaitingTasks may be called from any
// thread, also from tasks. join and the destructor belong to the owner: called
// from a worker, join fails with std::system_error (resource deadlock).
#pragma once

#include "core/Export.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace Orvantis::Threading {

namespace detail {

// A queued call, type-erased: runs once and reports through its promise.
class PoolTaskBase {
public:
    virtual ~PoolTaskBase() = default;
    virtual void run() noexcept = 0;
};

}  // namespace detail

class ORVANTIS_API ThreadPool {
public:
    // The number of hardware threads, or 1 when the system reports none.
    static std::size_t defaultNumThreads() { return std::max<std::size_t>(1, std::thread::hardware_concurrency()); }

    // Starts `numThreads` workers; 0 starts none (tasks then never run and are
    // destroyed with the pool).
    // Throws: std::system_error if a thread cannot be started (the workers
    // already started are joined first).
    explicit ThreadPool(std::size_t numThreads = defaultNumThreads());
    // Joins the pool unless join() was called; tasks still queued then (only
    // possible without workers, or after join) are destroyed without running,
    // which breaks their futures' promises.
    ~ThreadPool();

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;
    ThreadPool(ThreadPool&&) = delete;
    ThreadPool& operator=(ThreadPool&&) = delete;

    // Effect: queues `function(args...)` at the back and wakes one worker.
    // The arguments are copied or moved into the task. A task queued after
    // the pool has been joined never runs.
    // Returns: the future of the task's result or exception.
    template <class F, class... A>
    auto enqueue(F&& function, A&&... args) -> std::future<std::invoke_result_t<F, A...>>;

    // Effect: sets the stop flag, wakes every worker and joins them in order;
    // workers end only once the queue is empty.
    // Throws: std::system_error on a second call, or when called from a worker.
    void join();

    // The number of workers started by the constructor (joined ones count).
    std::size_t numThreads() const;
    // The number of tasks queued and not yet taken by a worker.
    std::size_t numWaitingTasks() const;

private:
    void workerLoop();

    std::vector<std::thread> workers;
    std::deque<std::unique_ptr<detail::PoolTaskBase>> tasks;
    mutable std::mutex queueMutex;
    std::condition_variable condition;
    bool stopRequested = false;
};

namespace detail {

// The bound callable and the promise of its result. The callable lives here,
// not in the future's shared state, so a task that never runs releases what
// it holds when the pool goes.
template <class Result, class Call>
class PoolTask final : public PoolTaskBase {
public:
    explicit PoolTask(Call&& c) : call(std::move(c)) {}
    std::future<Result> future() { return promise.get_future(); }

    void run() noexcept override {
        try {
            if constexpr (std::is_void_v<Result>) {
                call();
                promise.set_value();
            } else {
                promise.set_value(call());
            }
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
    }

private:
    Call call;
    std::promise<Result> promise;
};

}  // namespace detail

template <class F, class... A>
auto ThreadPool::enqueue(F&& function, A&&... args) -> std::future<std::invoke_result_t<F, A...>> {
    using Result = std::invoke_result_t<F, A...>;
    auto call = [function = std::forward<F>(function),
                 arguments = std::make_tuple(std::forward<A>(args)...)]() mutable -> Result {
        return std::apply(std::move(function), std::move(arguments));
    };
    // Three allocations per task with libstdc++ (counted with a replaced
    // operator new): this one for the callable and its promise, and the
    // promise's shared state and result slot. The queue holds the task
    // itself, so no type-erasing wrapper adds a fourth.
    auto task = std::make_unique<detail::PoolTask<Result, decltype(call)>>(std::move(call));
    std::future<Result> result = task->future();
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        tasks.push_back(std::move(task));
    }
    condition.notify_one();
    return result;
}

}  // namespace Orvantis::Threading
