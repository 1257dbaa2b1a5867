#include "core/threading/ThreadPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Orvantis::Threading::ThreadPool;

TEST(ThreadPool, OneWorkerRunsTasksInQueueOrderAndFuturesCarryResults) {
    ThreadPool pool(1);
    std::vector<int> order, expected(1000);
    std::iota(expected.begin(), expected.end(), 0);
    for (int i : expected) {
        pool.enqueue([&order, i] { order.push_back(i); });
    }
    auto sum = pool.enqueue([](int a, int b) { return a + b; }, 2, 3);
    auto owned = pool.enqueue([](std::unique_ptr<int> p) { return *p * 2; }, std::make_unique<int>(21));
    auto failing = pool.enqueue([]() -> int { throw std::runtime_error("task failed"); });
    auto after = pool.enqueue([] { return 7; });
    // Joining first lets the workers drop their side of every future before
    // the results are read: ThreadSanitizer cannot see libstdc++ count the
    // references to an exception.
    pool.join();
    EXPECT_EQ(order, expected);
    EXPECT_EQ(sum.get() * 100 + owned.get(), 542);
    EXPECT_THROW(failing.get(), std::runtime_error);
    EXPECT_EQ(after.get(), 7) << "the worker goes on after a task throws";
    EXPECT_EQ(pool.numThreads(), 1u);
    EXPECT_THROW(pool.join(), std::system_error);
}

TEST(ThreadPool, ManyProducersEachTaskRunsExactlyOnce) {
    constexpr int kProducers = 4, kPerProducer = 25000;
    std::vector<std::atomic<int>> runs(kProducers * kPerProducer);
    ThreadPool pool(2);
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = p * kPerProducer; i < (p + 1) * kPerProducer; ++i) {
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

// join() and the destructor both run every task still queued, also tasks
// that queued tasks add while the pool drains.
TEST(ThreadPool, ShutdownDrainsQueuedTasks) {
    for (const bool explicitJoin : {true, false}) {
        SCOPED_TRACE(explicitJoin ? "join" : "destructor");
        std::atomic<int> ran{0};
        std::promise<void> started, open;
        {
            ThreadPool pool(1);
            pool.enqueue([&, opened = open.get_future()] { started.set_value(); opened.wait(); });
            started.get_future().wait();  // the only worker is busy from here on
            for (int i = 0; i < 100; ++i) {
                pool.enqueue([&ran] { ran.fetch_add(1); });
            }
            pool.enqueue([&] { pool.enqueue([&ran] { ran.fetch_add(1000); }); });
            EXPECT_EQ(pool.numWaitingTasks(), 101u);
            open.set_value();
            if (explicitJoin) {
                pool.join();
                EXPECT_EQ(ran.load(), 1100);
            }
        }
        EXPECT_EQ(ran.load(), 1100);
    }
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
