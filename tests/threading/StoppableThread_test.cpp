#include "threading/LogRecords.h"

#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace {

using namespace Orvantis;
using Threading::StoppableThread;
using ThreadingTest::Record;

void waitForStopRequest() {
    while (!StoppableThread::isStopRequested()) {
        std::this_thread::yield();
    }
}

class StoppableThreadTest : public ThreadingTest::LogCaptureTest {};

TEST_F(StoppableThreadTest, RunsMoveOnlyFunctionAndReportsItsState) {
    std::promise<void> release;
    std::promise<std::thread::id> seenId;
    int result = 0;
    StoppableThread thread([&, released = release.get_future(), p = std::make_unique<int>(7)] {
        seenId.set_value(std::this_thread::get_id());
        released.wait();
        result = *p;
    });
    EXPECT_TRUE(thread.isRunning());
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

TEST_F(StoppableThreadTest, StopRequestReachesOnlyItsOwnThread) {
    StoppableThread first(waitForStopRequest);
    StoppableThread second(waitForStopRequest);
    first.requestStop();
    first.join();
    EXPECT_TRUE(second.isRunning());
    // The owner's thread has no stop flag of its own.
    EXPECT_FALSE(StoppableThread::isStopRequested());
    EXPECT_NO_THROW(StoppableThread::throwIfStopRequested());
    second.requestStop();
    second.join();
    EXPECT_TRUE(takeRecords().empty());
}

TEST_F(StoppableThreadTest, EndingsAreLoggedByKind) {
    const Record interrupted{Log::Debug, "", "Thread interrupted."};
    const Record unhandled{Log::Error, "", "Caught unhandled exception in thread."};
    const auto stopWhenAsked = [] {
        waitForStopRequest();
        StoppableThread::throwIfStopRequested();
    };
    struct Case {
        const char* name;
        Log::Level globalLevel;
        std::function<void()> function;
        std::vector<Record> expected;
    };
    const std::vector<Case> cases = {
        {"returns", Log::Trace, [] {}, {}},
        {"interrupted", Log::Trace, stopWhenAsked, {interrupted}},
        {"interrupted, Debug not produced", Log::Info, stopWhenAsked, {}},
        {"StopException thrown by hand", Log::Trace, [] { throw StoppableThread::StopException(); }, {interrupted}},
        {"runtime_error", Log::Trace, [] { throw std::runtime_error("boom"); }, {unhandled}},
        {"int", Log::Error, [] { throw 42; }, {unhandled}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log::setGlobalLevel(c.globalLevel);
        StoppableThread thread(c.function);
        thread.requestStop();
        thread.join();
        EXPECT_FALSE(thread.isRunning());
        EXPECT_EQ(takeRecords(), c.expected);
    }
}

TEST_F(StoppableThreadTest, DestructorJoinsOnlyUnjoinedThreads) {
    const std::vector<Record> implicitJoin = {
        {Log::Debug, "StoppableThread", "Implicitly joining StoppableThread on destruction."}};
    {
        std::promise<void> done;
        StoppableThread finished([&] { done.set_value(); });
        done.get_future().wait();
    }
    EXPECT_EQ(takeRecords(), implicitJoin);
    {
        StoppableThread joined([] {});
        joined.join();
    }
    EXPECT_TRUE(takeRecords().empty());

    bool sawStop = false;
    {
        StoppableThread running([&] {
            waitForStopRequest();
            sawStop = true;
        });
    }  // asks it to stop and waits
    EXPECT_TRUE(sawStop);
    EXPECT_EQ(takeRecords(), implicitJoin);
}

}  // namespace
