#include "core/threading/StoppableThread.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
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
    StoppableThread thread([&, released = release.get_future(), p = std::make_unique<int>(7)] {
        seenId.set_value(std::this_thread::get_id());
        released.wait();
    });
    EXPECT_EQ(thread.threadId(), seenId.get_future().get());
    EXPECT_TRUE(thread.isRunning());
    release.set_value();
    thread.join();
    EXPECT_FALSE(thread.isRunning());
    EXPECT_THROW(thread.join(), std::system_error);
    EXPECT_STREQ(StoppableThread::StopException().what(), "Thread interrupted.");
}

// Every case runs beside a bystander thread that must not see its stop
// request; a joined thread is destroyed silently.
TEST(StoppableThread, EndingsAreLoggedByKind) {
    OrvantisTest::LogSession log;
    const std::tuple<const char*, std::function<void()>, Reports> cases[] = {
        {"returns", [] {}, {}},
        {"interrupted",
         [] {
             waitForStopRequest();
             StoppableThread::throwIfStopRequested();
         },
         {"1 : Thread interrupted."}},
        {"throws", [] { throw 42; }, {"4 : Caught unhandled exception in thread."}},
    };
    auto bystander = std::make_unique<StoppableThread>(waitForStopRequest);
    for (const auto& [name, function, expected] : cases) {
        SCOPED_TRACE(name);
        StoppableThread thread(function);
        thread.requestStop();
        thread.join();
        EXPECT_EQ(takeReports(*log.recording), expected);
    }
    EXPECT_TRUE(bystander->isRunning());
    EXPECT_FALSE(StoppableThread::isStopRequested()) << "the owner's thread has no stop flag";
    bystander.reset();  // asks it to stop and waits for it
    EXPECT_EQ(takeReports(*log.recording),
              Reports{"1 StoppableThread: Implicitly joining StoppableThread on destruction."});
}

}  // namespace
