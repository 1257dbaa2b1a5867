#include "threading/CapturingSink.h"

#include <OrvantisCore.h>
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace {

using namespace Orvantis;
using Threading::StoppableThread;
using ThreadingTest::Record;

// Spins until the thread's own stop flag is set.
void waitForStopRequest() {
    while (!StoppableThread::isStopRequested()) {
        std::this_thread::yield();
    }
}

TEST(StoppableThread, RunsMoveOnlyFunctionAndReportsItsState) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<std::thread::id> seenId;
    auto payload = std::make_unique<int>(7);
    int result = 0;

    StoppableThread thread([&, released, p = std::move(payload)] {
        seenId.set_value(std::this_thread::get_id());
        released.wait();
        result = *p;
    });
    EXPECT_TRUE(thread.isRunning());
    EXPECT_EQ(thread.threadId(), seenId.get_future().get());
    EXPECT_NE(thread.threadId(), std::this_thread::get_id());
    EXPECT_TRUE(thread.isRunning());

    release.set_value();
    thread.join();
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(result, 7);
    EXPECT_EQ(thread.threadId(), std::thread::id());
    EXPECT_THROW(thread.join(), std::system_error);
}

TEST(StoppableThread, StopRequestReachesOnlyItsOwnThread) {
    StoppableThread first(waitForStopRequest);
    StoppableThread second(waitForStopRequest);

    first.requestStop();
    first.join();
    EXPECT_FALSE(first.isRunning());
    EXPECT_TRUE(second.isRunning());

    // The owner's thread has no stop flag of its own.
    EXPECT_FALSE(StoppableThread::isStopRequested());
    EXPECT_NO_THROW(StoppableThread::throwIfStopRequested());

    second.requestStop();
    second.join();
    EXPECT_FALSE(second.isRunning());
}

TEST(StoppableThread, StopExceptionText) {
    EXPECT_STREQ(StoppableThread::StopException().what(), "Thread interrupted.");
}

class StoppableThreadLog : public ThreadingTest::LogCaptureTest {};

TEST_F(StoppableThreadLog, EndingsAreLoggedByKind) {
    const Record interrupted{Log::Debug, "", "Thread interrupted."};
    const Record unhandled{Log::Error, "", "Caught unhandled exception in thread."};
    struct Case {
        const char* name;
        Log::Level globalLevel;
        std::function<void()> function;
        std::vector<Record> expected;
    };
    const std::vector<Case> cases = {
        {"returns", Log::Trace, [] {}, {}},
        {"interrupted", Log::Trace, [] { waitForStopRequest(); StoppableThread::throwIfStopRequested(); },
         {interrupted}},
        {"interrupted below global level", Log::Info,
         [] { waitForStopRequest(); StoppableThread::throwIfStopRequested(); }, {}},
        {"runtime_error", Log::Trace, [] { throw std::runtime_error("boom"); }, {unhandled}},
        {"int", Log::Error, [] { throw 42; }, {unhandled}},
        {"StopException thrown by hand", Log::Trace, [] { throw StoppableThread::StopException(); }, {interrupted}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink->clear();
        Log::setGlobalLevel(c.globalLevel);
        StoppableThread thread(c.function);
        thread.requestStop();
        thread.join();
        EXPECT_FALSE(thread.isRunning());
        EXPECT_EQ(sink->records(), c.expected);
    }
}

TEST_F(StoppableThreadLog, DestructorJoinsOnlyUnjoinedThreads) {
    const std::vector<Record> implicitJoin = {
        {Log::Debug, "StoppableThread", "Implicitly joining StoppableThread on destruction."}};

    {  // finished, never joined
        std::promise<void> done;
        auto finished = done.get_future();
        StoppableThread thread([&] { done.set_value(); });
        finished.wait();
    }
    EXPECT_EQ(sink->records(), implicitJoin);

    sink->clear();
    {  // joined
        StoppableThread thread([] {});
        thread.join();
    }
    EXPECT_TRUE(sink->records().empty());

    sink->clear();
    bool sawStop = false;
    {  // still running: the destructor asks it to stop and waits
        StoppableThread thread([&] {
            waitForStopRequest();
            sawStop = true;
        });
    }
    EXPECT_TRUE(sawStop);
    EXPECT_EQ(sink->records(), implicitJoin);
}

}  // namespace
