#include "core/threading/ThreadPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Orvantis::Threading::ThreadPool;

TEST(ThreadPool, ManyProducersEachTaskRunsExactlyOnce) {
    std::vector<std::atomic<int>> runs(100000);
    ThreadPool pool(2);
    std::vector<std::thread> producers;
    for (size_t first = 0; first < runs.size(); first += 25000) {
        producers.emplace_back([&, first] {
            for (size_t i = first; i < first + 25000; ++i) {
                pool.enqueue([&runs, i] { runs[i].fetch_add(1); });
            }
        });
    }
    for (std::thread& t : producers) {
        t.join();
    }
    pool.join();
    EXPECT_EQ(std::count_if(runs.begin(), runs.end(), [](const auto& r) { return r.load() != 1; }), 0);
}

// One worker runs its queue in order; join() and the destructor both run
// every task still queued, also tasks that queued tasks add while the pool
// drains. Futures carry results and exceptions; the worker goes on after one.
TEST(ThreadPool, ShutdownDrainsTheQueueInOrder) {
    for (const bool explicitJoin : {true, false}) {
        SCOPED_TRACE(explicitJoin ? "join" : "destructor");
        std::vector<int> order, expected(100);
        std::iota(expected.begin(), expected.end(), 0);
        std::promise<void> started, open;
        std::future<int> sum, failing;
        {
            ThreadPool pool(1);
            pool.enqueue([&, opened = open.get_future()] {
                started.set_value();
                opened.wait();
            });
            started.get_future().wait();  // the only worker is busy from here on
            failing = pool.enqueue([]() -> int { throw std::runtime_error("task failed"); });
            for (int i : expected) {
                pool.enqueue([&order, i] { order.push_back(i); });
            }
            pool.enqueue([&] { pool.enqueue([&order] { order.push_back(1000); }); });
            sum = pool.enqueue([](std::unique_ptr<int> a, int b) { return *a + b; }, std::make_unique<int>(2), 3);
            EXPECT_EQ(pool.numWaitingTasks(), 103u);
            open.set_value();
            if (explicitJoin) {
                pool.join();
                EXPECT_EQ(order.size(), 101u);
                EXPECT_EQ(pool.numThreads(), 1u);
                EXPECT_THROW(pool.join(), std::system_error);
            }
        }
        // Read after the join: ThreadSanitizer cannot see libstdc++ count the
        // references to an exception that a worker still holds.
        EXPECT_THROW(failing.get(), std::runtime_error);
        EXPECT_EQ(sum.get(), 5);
        expected.push_back(1000);
        EXPECT_EQ(order, expected);
    }
}

// A join that does not wake the idle workers never returns.
TEST(ThreadPool, JoinWakesIdleWorkers) {
    ThreadPool pool(2);
    pool.enqueue([] {}).wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // both workers wait for work by now
    pool.join();
    EXPECT_EQ(pool.numWaitingTasks(), 0u);
}

TEST(ThreadPool, WithoutWorkersTasksWaitAndAreDestroyedUnrun) {
    auto token = std::make_shared<int>(0);
    std::future<void> never;
    {
        ThreadPool pool(0);
        never = pool.enqueue([token] { ++*token; });
        EXPECT_EQ(pool.numWaitingTasks(), 1u);
    }
    EXPECT_EQ(token.use_count(), 1) << "queued tasks are destroyed with the pool";
    EXPECT_THROW(never.get(), std::future_error);
}

TEST(ThreadPool, JoinFromAWorkerFails) {
    std::future<void> result;
    {
        ThreadPool pool(2);
        result = pool.enqueue([&pool] { pool.join(); });
        result.wait();
    }  // the destructor waits for the worker that is left
    try {
        result.get();
        ADD_FAILURE() << "join from a worker succeeded";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::resource_deadlock_would_occur);
    }
}

}  // namespace
