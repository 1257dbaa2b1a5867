#include "core/threading/StoppableThread.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace {

using Orvantis::Threading::StoppableThread;
using OrvantisTest::takeReports;
using Reports = std::vector<std::string>;

void waitForStopRequest() {
    while (!StoppableThread::isStopRequested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a spinning bystander starves Wine's scheduler
    }
}

TEST(StoppableThread, RunsMoveOnlyFunctionAndReportsItsState) {
    std::promise<void> release;
    std::promise<std::thread::id> seenId;
    int result = 0;
    StoppableThread thread([&, released = release.get_future(), p = std::make_unique<int>(7)] {
        seenId.set_value(std::this_thread::get_id());
        released.wait();
        result = *p;
    });
    EXPECT_EQ(thread.threadId(), seenId.get_future().get());
    EXPECT_TRUE(thread.isRunning());
    release.set_value();
    thread.join();
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(result, 7);
    EXPECT_EQ(thread.threadId(), std::thread::id());
    EXPECT_THROW(thread.join(), std::system_error);
    EXPECT_STREQ(StoppableThread::StopException().what(), "Thread interrupted.");
}

// Every case runs beside a bystander thread that must not see its stop request.
TEST(StoppableThread, EndingsAreLoggedByKind) {
    OrvantisTest::LogSession log;
    const std::string interrupted = "1 : Thread interrupted.", unhandled = "4 : Caught unhandled exception in thread.";
    const std::tuple<const char*, std::function<void()>, Reports> cases[] = {
        {"returns", [] {}, {}},
        {"interrupted",
         [] {
             waitForStopRequest();
             StoppableThread::throwIfStopRequested();
         },
         {interrupted}},
        {"StopException thrown by hand", [] { throw StoppableThread::StopException(); }, {interrupted}},
        {"runtime_error", [] { throw std::runtime_error("boom"); }, {unhandled}},
        {"int", [] { throw 42; }, {unhandled}},
    };
    auto bystander = std::make_unique<StoppableThread>(waitForStopRequest);
    for (const auto& [name, function, expected] : cases) {
        SCOPED_TRACE(name);
        StoppableThread thread(function);
        thread.requestStop();
        thread.join();
        EXPECT_FALSE(thread.isRunning());
        EXPECT_EQ(takeReports(*log.recording), expected) << "a joined thread is destroyed silently";
    }
    EXPECT_TRUE(bystander->isRunning());
    EXPECT_FALSE(StoppableThread::isStopRequested()) << "the owner's thread has no stop flag";
    EXPECT_NO_THROW(StoppableThread::throwIfStopRequested());
    bystander.reset();  // asks it to stop and waits for it
    EXPECT_EQ(takeReports(*log.recording),
              Reports{"1 StoppableThread: Implicitly joining StoppableThread on destruction."});
}

}  // namespace
