#include "core/threading/StoppableThread.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace {

using Orvantis::Threading::StoppableThread;
using Reports = std::vector<std::string>;

void waitForStopRequest() {
    while (!StoppableThread::isStopRequested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a spinning bystander starves Wine's scheduler
    }
}

// Each function (held by a move-only callable) runs until its stop is
// requested, beside a bystander thread that must not see that request, and
// then ends in its own way; a joined thread is destroyed silently.
TEST(StoppableThread, EndingsAreLoggedByKind) {
    OrvantisTest::LogSession log;
    const std::tuple<const char*, std::function<void()>, Reports> cases[] = {
        {"returns", [] {}, {}},
        {"interrupted", [] { StoppableThread::throwIfStopRequested(); }, {"1 : Thread interrupted."}},
        {"throws", [] { throw 42; }, {"4 : Caught unhandled exception in thread."}},
    };
    auto bystander = std::make_unique<StoppableThread>(waitForStopRequest);
    for (const auto& [name, ending, expected] : cases) {
        SCOPED_TRACE(name);
        StoppableThread thread([&ending = ending, moveOnly = std::make_unique<int>()] {
            waitForStopRequest();
            ending();
        });
        thread.requestStop();
        thread.join();
        EXPECT_FALSE(thread.isRunning());
        EXPECT_EQ(OrvantisTest::takeReports(*log.recording), expected);
    }
    EXPECT_TRUE(bystander->isRunning());
    EXPECT_FALSE(StoppableThread::isStopRequested()) << "the owner's thread has no stop flag";
    EXPECT_STREQ(StoppableThread::StopException().what(), "Thread interrupted.");
    bystander.reset();  // asks it to stop and waits for it
    EXPECT_EQ(OrvantisTest::takeReports(*log.recording),
              Reports{"1 StoppableThread: Implicitly joining StoppableThread on destruction."});
}

}  // namespace
