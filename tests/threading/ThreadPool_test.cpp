#include "core/threading/ThreadPool.h"

#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <system_error>

#include <signal.h>
#include <unistd.h>

namespace {

using Orvantis::Threading::ThreadPool;

// Four producers at once; the pool goes after them and runs what is still
// queued then.
TEST(ThreadPool, ManyProducersEachTaskRunsOnce) {
    std::vector<std::atomic<int>> runs(100000);
    {
        ThreadPool pool(2);
        std::vector<std::future<void>> producers;
        for (size_t first = 0; first < runs.size(); first += 25000) {
            producers.push_back(std::async(std::launch::async, [&, first] {
                for (size_t i = first; i < first + 25000; ++i) {
                    pool.enqueue([&runs, i] { runs[i].fetch_add(1); });
                }
            }));
        }
    }
    EXPECT_EQ(std::count_if(runs.begin(), runs.end(), [](const auto& r) { return r.load() != 1; }), 0);
}

// One busy worker: join() runs every task still queued, in order, also one
// that a task adds while the pool drains. Futures carry results and
// exceptions; the worker goes on after one.
TEST(ThreadPool, JoinDrainsTheQueueInOrder) {
    std::vector<int> order;
    std::promise<void> started, open;
    ThreadPool pool(1);
    pool.enqueue([&, opened = open.get_future()] {
        started.set_value();
        opened.wait();
    });
    started.get_future().wait();  // the only worker is busy from here on
    auto failing = pool.enqueue([]() -> int { throw std::runtime_error("task failed"); });
    for (int i : {1, 2, 3}) {
        pool.enqueue([&order, i] { order.push_back(i); });
    }
    pool.enqueue([&] { pool.enqueue([&order] { order.push_back(4); }); });
    auto sum = pool.enqueue([](std::unique_ptr<int> a, int b) { return *a + b; }, std::make_unique<int>(2), 3);
    EXPECT_EQ(pool.numWaitingTasks(), 6u);
    open.set_value();
    pool.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_THROW(failing.get(), std::runtime_error);
    EXPECT_EQ(sum.get(), 5);
}

// Without workers nothing runs: the pool destroys its tasks, which breaks
// their promises and releases what they hold.
TEST(ThreadPool, WithoutWorkersTasksAreDestroyedUnrun) {
    auto token = std::make_shared<int>(0);
    std::future<void> never = ThreadPool(0).enqueue([token] { ++*token; });
    EXPECT_EQ(token.use_count(), 1);
    EXPECT_THROW(never.get(), std::future_error);
}

// A worker cannot join its own pool; the idle one that join must wake then
// ends, and the destructor waits for it.
TEST(ThreadPool, JoinFromAWorkerFailsAndWakesTheIdleOne) {
    ThreadPool pool(2);
    pool.enqueue([] {}).wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // both workers wait for work by now
    auto result = pool.enqueue([&pool] { pool.join(); });
    EXPECT_THROW(result.get(), std::system_error);
}

#ifndef _WIN32
// A worker has a stack of its own to report a stack overflow on, which goes with the worker.
TEST(ThreadPool, WorkersCanReportAStackOverflow) {
    const auto mapped = [] { return std::stol(OrvantisTest::readFile("/proc/self/statm")) * ::sysconf(_SC_PAGESIZE); };
    stack_t stack{};
    ThreadPool(1).enqueue([&stack] { ::sigaltstack(nullptr, &stack); }).wait();
    EXPECT_EQ(stack.ss_flags & SS_DISABLE, 0);
    const long before = mapped();
    for (int i = 0; i < 64; ++i) {
        ThreadPool(1).enqueue([] {}).wait();
    }
    EXPECT_LT(mapped() - before, 8 << 20) << "64 stacks of 512 KiB left behind would be 32 MiB";
}
#endif

}  // namespace
