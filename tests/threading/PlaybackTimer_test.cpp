// Timing here is checked only where it cannot flake on a loaded machine:
// lower bounds that follow from the schedule (a sleep never ends early),
// upper bounds far above the expected values, and the order and count of the
// frames the callback receives.
#include "threading/CapturingSink.h"

#include <OrvantisCore.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace Orvantis;
using namespace std::chrono_literals;
using Threading::PlaybackTimer;
using ThreadingTest::Record;
using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

const char* const kCategory = "Threading::PlaybackTimer";
const std::string kRunningNewRange = "Timer is currently running, setting new timestamps has no effect until restart.";
const std::string kRunningNewCallback =
    "Timer is currently running, setting a new callback function has no effect until restart.";

// Records the frames the timer calls back with and when.
class FrameLog {
public:
    std::function<void(size_t)> callback(std::chrono::milliseconds workOnFirstCall = 0ms) {
        return [this, workOnFirstCall](size_t frame) {
            const Clock::time_point now = Clock::now();
            bool first = false;
            {
                std::lock_guard<std::mutex> lock(mutex);
                first = calls.empty();
                calls.push_back({frame, now});
            }
            changed.notify_all();
            if (first) {
                std::this_thread::sleep_for(workOnFirstCall);
            }
        };
    }
    bool waitForCalls(size_t n, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return calls.size() >= n; });
    }
    std::vector<size_t> frames() const {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<size_t> out;
        for (const Call& c : calls) {
            out.push_back(c.frame);
        }
        return out;
    }
    Clock::time_point time(size_t call) const {
        std::lock_guard<std::mutex> lock(mutex);
        return calls.at(call).time;
    }
    size_t count() const {
        std::lock_guard<std::mutex> lock(mutex);
        return calls.size();
    }

private:
    struct Call {
        size_t frame;
        Clock::time_point time;
    };
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<Call> calls;
};

std::vector<nanoseconds> ms(std::initializer_list<long> values) {
    std::vector<nanoseconds> out;
    for (long v : values) {
        out.push_back(std::chrono::milliseconds(v));
    }
    return out;
}

// Waits until a range that does not loop has played to its end.
bool waitUntilFinished(const PlaybackTimer& timer, std::chrono::milliseconds timeout = 5s) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (timer.isRunning()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class PlaybackTimerTest : public ThreadingTest::LogCaptureTest {
protected:
    std::vector<Record> timerRecords(Log::Level level, const std::string& message) {
        return {{level, kCategory, message}};
    }
};

TEST_F(PlaybackTimerTest, RangeConversions) {
    PlaybackTimer timer;
    EXPECT_FALSE(timer.isLooped());
    EXPECT_TRUE(timer.isSkippingDelayedFrames());
    EXPECT_FALSE(timer.isRunning());
    EXPECT_FALSE(timer.isPaused());
    EXPECT_TRUE(timer.rangeTimestamps().empty());

    struct Case {
        const char* name;
        std::function<void(PlaybackTimer&)> set;
        std::vector<nanoseconds> expected;
    };
    const std::vector<Case> cases = {
        {"relative", [](PlaybackTimer& t) { t.setRangeTimestamps(ms({5000, 7000, 12000}), true); },
         ms({0, 2000, 7000})},
        {"absolute", [](PlaybackTimer& t) { t.setRangeTimestamps(ms({5000, 7000, 12000}), false); },
         ms({5000, 7000, 12000})},
        {"relative, empty", [](PlaybackTimer& t) { t.setRangeTimestamps(std::vector<nanoseconds>{}, true); }, {}},
        {"seconds, relative", [](PlaybackTimer& t) { t.setRangeTimestamps(std::vector<double>{5, 7, 12}, true); },
         ms({0, 2000, 7000})},
        {"seconds truncated toward zero",
         [](PlaybackTimer& t) { t.setRangeTimestamps(std::vector<double>{1.5e-9, -1.5e-9, 0.25}, false); },
         {1ns, -1ns, 250ms}},
        {"constant interval", [](PlaybackTimer& t) { t.setRangeConstantInterval(3, 10ms); }, ms({10, 20, 30})},
        {"25 fps", [](PlaybackTimer& t) { t.setRangeConstantFps(3, 25.0); }, ms({40, 80, 120})},
        {"3 fps truncated", [](PlaybackTimer& t) { t.setRangeConstantFps(2, 3.0); }, {333333333ns, 666666666ns}},
        {"no frames", [](PlaybackTimer& t) { t.setRangeConstantFps(0, 25.0); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.set(timer);
        EXPECT_EQ(timer.rangeTimestamps(), c.expected);
    }
    EXPECT_TRUE(sink->records().empty()) << "a stopped timer has nothing to report";

    timer.setLooped(true);
    timer.setSkipDelayedFrames(false);
    EXPECT_TRUE(timer.isLooped());
    EXPECT_FALSE(timer.isSkippingDelayedFrames());
}

TEST_F(PlaybackTimerTest, InvalidFrameRateLeavesRangeUnchanged) {
    PlaybackTimer timer;
    timer.setRangeConstantFps(3, 25.0);
    const double inf = std::numeric_limits<double>::infinity();
    for (const double fps : {0.0, -0.0, -25.0, std::nan(""), inf, -inf, 1e-300}) {
        SCOPED_TRACE(fps);
        sink->clear();
        timer.setRangeConstantFps(5, fps);
        EXPECT_EQ(timer.rangeTimestamps(), ms({40, 80, 120}));
        EXPECT_EQ(sink->records(), timerRecords(Log::Error, "Invalid frame rate."));
    }
}

TEST_F(PlaybackTimerTest, MisuseOfAStoppedTimer) {
    struct Case {
        const char* name;
        Log::Level globalLevel;
        std::function<void(PlaybackTimer&)> act;
        std::vector<Record> expected;
    };
    FrameLog frames;
    const auto withRange = [](PlaybackTimer& t) { t.setRangeConstantInterval(2, 1ms); };
    const std::vector<Case> cases = {
        {"stop", Log::Trace, [](PlaybackTimer& t) { t.stop(); }, timerRecords(Log::Debug, "Timer is not running.")},
        {"stop below global level", Log::Info, [](PlaybackTimer& t) { t.stop(); }, {}},
        {"pause", Log::Trace, [](PlaybackTimer& t) { t.pause(); },
         timerRecords(Log::Error, "Can not pause: timer is not running.")},
        {"resume", Log::Error, [](PlaybackTimer& t) { t.resume(); },
         timerRecords(Log::Error, "Can not resume: timer is not running.")},
        {"start without range", Log::Trace,
         [&](PlaybackTimer& t) {
             t.setCallback(frames.callback());
             t.start(0);
         },
         timerRecords(Log::Error, "Set of timestamps is empty.")},
        {"start without callback", Log::Trace,
         [&](PlaybackTimer& t) {
             withRange(t);
             t.start(0);
         },
         timerRecords(Log::Error, "Callback function is empty.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink->clear();
        Log::setGlobalLevel(c.globalLevel);
        PlaybackTimer timer;
        c.act(timer);
        EXPECT_FALSE(timer.isRunning());
        EXPECT_FALSE(timer.isPaused());
        EXPECT_EQ(sink->records(), c.expected);
    }
    EXPECT_EQ(frames.count(), 0u);
}

TEST_F(PlaybackTimerTest, ChangesWhileRunningWaitForRestart) {
    FrameLog first;
    FrameLog second;
    PlaybackTimer timer;
    timer.setRangeConstantInterval(1000, 2ms);
    timer.setLooped(true);
    timer.setCallback(first.callback());
    timer.start(0);
    ASSERT_TRUE(first.waitForCalls(2));

    struct Case {
        const char* name;
        std::function<void()> act;
        std::vector<Record> expected;
    };
    const std::vector<Case> cases = {
        {"start", [&] { timer.start(0); }, timerRecords(Log::Debug, "Timer is already running.")},
        {"resume", [&] { timer.resume(); }, timerRecords(Log::Debug, "Resume not needed: timer is not paused.")},
        {"timestamps", [&] { timer.setRangeTimestamps(ms({0, 1}), false); },
         timerRecords(Log::Warning, kRunningNewRange)},
        {"seconds", [&] { timer.setRangeTimestamps(std::vector<double>{0.0, 0.001}, false); },
         timerRecords(Log::Warning, kRunningNewRange)},
        {"interval", [&] { timer.setRangeConstantInterval(2, 20ms); }, timerRecords(Log::Debug, kRunningNewRange)},
        {"fps", [&] { timer.setRangeConstantFps(2, 50.0); }, timerRecords(Log::Debug, kRunningNewRange)},
        {"callback", [&] { timer.setCallback(second.callback()); }, timerRecords(Log::Warning, kRunningNewCallback)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink->clear();
        c.act();
        EXPECT_TRUE(timer.isRunning());
        EXPECT_EQ(sink->records(), c.expected);
    }

    // The running thread keeps its own range and callback.
    const size_t seen = first.count();
    ASSERT_TRUE(first.waitForCalls(seen + 3));
    EXPECT_EQ(second.count(), 0u);
    EXPECT_GT(first.frames().back(), 1u) << "the old 1000-frame range is still playing";

    sink->clear();
    timer.stop();
    EXPECT_EQ(sink->records(), timerRecords(Log::Debug, "Resume not needed: timer is not paused."));
    EXPECT_FALSE(timer.isRunning());

    // A restart picks up both changes: the two frames of the 50 fps range.
    timer.setLooped(false);
    timer.setSkipDelayedFrames(false);
    timer.start(0);
    ASSERT_TRUE(waitUntilFinished(timer));
    EXPECT_EQ(second.frames(), (std::vector<size_t>{0, 1}));
}

TEST_F(PlaybackTimerTest, PlaysFromStartIndexOnScheduleThenFinishes) {
    struct Case {
        size_t startIndex;
        std::vector<size_t> expected;
        std::vector<Record> log;
    };
    const std::vector<Case> cases = {
        {0, {0, 1, 2}, {}},
        {1, {1, 2}, {}},
        {7, {0, 1, 2}, timerRecords(Log::Error, "Invalid start index, starting from the beginning.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.startIndex);
        sink->clear();
        FrameLog frames;
        PlaybackTimer timer;
        timer.setRangeTimestamps(ms({1000, 1040, 1080}), true);
        timer.setSkipDelayedFrames(false);
        timer.setCallback(frames.callback());
        const Clock::time_point started = Clock::now();
        timer.start(c.startIndex);
        ASSERT_TRUE(waitUntilFinished(timer));
        EXPECT_FALSE(timer.isRunning());
        EXPECT_FALSE(timer.isPaused());
        ASSERT_EQ(frames.frames(), c.expected);
        // The first frame fires at once, each later one at its offset from it.
        const size_t firstFrame = c.expected.front();
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const auto scheduled = std::chrono::milliseconds(40 * (c.expected[i] - firstFrame));
            EXPECT_GE(frames.time(i) - started, scheduled);
            EXPECT_LT(frames.time(i) - started, scheduled + 1s);
        }
        EXPECT_EQ(sink->records(), c.log);
    }
}

TEST_F(PlaybackTimerTest, LoopsRestartAtFrameZeroAfterTheLoopPause) {
    struct Case {
        const char* name;
        std::vector<nanoseconds> timestamps;
        bool relativeToFirst;
        size_t startIndex;
        std::vector<size_t> expected;
        std::vector<nanoseconds> earliest;  // of each call, counted from start()
    };
    // Pauses before frame 0: 30 / 3 = 10 ms, 50 ms, 60 / 3 = 20 ms.
    const std::vector<Case> cases = {
        {"starting at 0: mean interval", ms({100, 110, 130}), true, 0, {0, 1, 2, 0, 1, 2, 0},
         ms({0, 10, 30, 40, 50, 70, 80})},
        {"first timestamp", ms({50, 55, 60}), false, 1, {1, 2, 0, 1, 2, 0}, ms({0, 5, 55, 60, 65, 115})},
        {"mean, not a frame interval", ms({0, 5, 60}), false, 0, {0, 1, 2, 0, 1, 2, 0},
         ms({0, 5, 60, 80, 85, 140, 160})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrameLog frames;
        PlaybackTimer timer;
        timer.setRangeTimestamps(c.timestamps, c.relativeToFirst);
        timer.setLooped(true);
        timer.setSkipDelayedFrames(false);  // so that a slow machine cannot drop frames
        timer.setCallback(frames.callback());
        const Clock::time_point started = Clock::now();
        timer.start(c.startIndex);
        ASSERT_TRUE(frames.waitForCalls(c.expected.size()));
        timer.setLooped(false);  // read live: this pass is the last
        ASSERT_TRUE(waitUntilFinished(timer));

        const std::vector<size_t> got = frames.frames();
        ASSERT_GE(got.size(), c.expected.size());
        EXPECT_EQ(std::vector<size_t>(got.begin(), got.begin() + c.expected.size()), c.expected);
        EXPECT_EQ(got.back(), 2u) << "a range that stops looping ends with its last frame";
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_GE(frames.time(i) - started, c.earliest[i]) << "call " << i;
        }
    }
}

TEST_F(PlaybackTimerTest, EqualTimestampsCallOnlyTheLastOfThem) {
    for (const bool skip : {true, false}) {
        SCOPED_TRACE(skip);
        FrameLog frames;
        PlaybackTimer timer;
        timer.setRangeTimestamps(ms({0, 0, 0, 50}), false);
        timer.setSkipDelayedFrames(skip);
        timer.setCallback(frames.callback());
        timer.start(0);
        ASSERT_TRUE(waitUntilFinished(timer));
        EXPECT_EQ(frames.frames(), (skip ? std::vector<size_t>{2, 3} : std::vector<size_t>{0, 1, 2, 3}));
    }
}

// The first call takes 130 ms, beyond the times of frames 1 to 3 (40 ms apart).
TEST_F(PlaybackTimerTest, SlowCallbackDropsOrCatchesUpWithoutShiftingTheSchedule) {
    for (const bool skip : {true, false}) {
        SCOPED_TRACE(skip);
        FrameLog frames;
        PlaybackTimer timer;
        timer.setRangeConstantInterval(8, 40ms);
        timer.setSkipDelayedFrames(skip);
        timer.setCallback(frames.callback(130ms));
        const Clock::time_point started = Clock::now();
        timer.start(0);
        ASSERT_TRUE(waitUntilFinished(timer));

        const std::vector<size_t> got = frames.frames();
        ASSERT_GE(got.size(), 2u);
        EXPECT_EQ(got.front(), 0u);
        EXPECT_EQ(got.back(), 7u);
        // Frame 7 is due 280 ms after frame 0; had the 130 ms call shifted the
        // schedule, it would come 370 ms or more after it.
        EXPECT_GE(frames.time(got.size() - 1) - started, 280ms);
        EXPECT_LT(frames.time(got.size() - 1) - frames.time(0), 350ms) << "late frames must not push later ones back";
        if (skip) {
            EXPECT_GE(got[1], 3u) << "frames 1 and 2 were overdue";
            for (size_t i = 1; i < got.size(); ++i) {
                EXPECT_LT(got[i - 1], got[i]);
            }
        } else {
            ASSERT_EQ(got, (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6, 7}));
            EXPECT_LT(frames.time(3) - frames.time(1), 35ms) << "overdue frames come back to back";
        }
    }
}

TEST_F(PlaybackTimerTest, PauseStopsFiringAndResumeWaitsOneInterval) {
    FrameLog frames;
    PlaybackTimer timer;
    timer.setRangeConstantInterval(1000, 40ms);
    timer.setCallback(frames.callback());
    timer.start(0);
    ASSERT_TRUE(frames.waitForCalls(3));

    timer.pause();
    EXPECT_TRUE(timer.isPaused());
    EXPECT_TRUE(timer.isRunning());
    const size_t atPause = frames.count();
    std::this_thread::sleep_for(100ms);
    const size_t settled = frames.count();
    EXPECT_LE(settled, atPause + 1) << "at most a frame already being fired";
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(frames.count(), settled) << "a paused timer fires nothing";

    const Clock::time_point resumed = Clock::now();
    timer.resume();
    EXPECT_FALSE(timer.isPaused());
    ASSERT_TRUE(frames.waitForCalls(settled + 1));
    EXPECT_GE(frames.time(settled) - resumed, 40ms - 1ms);
    const std::vector<size_t> got = frames.frames();
    EXPECT_EQ(got[settled], got[settled - 1] + 1) << "nothing is dropped for the time spent paused";

    // Stopping a paused timer wakes it at once.
    timer.pause();
    std::this_thread::sleep_for(60ms);
    sink->clear();
    const size_t beforeStop = frames.count();
    const Clock::time_point stopping = Clock::now();
    timer.stop();
    EXPECT_LT(Clock::now() - stopping, 1s);
    EXPECT_EQ(frames.count(), beforeStop);
    EXPECT_FALSE(timer.isRunning());
    EXPECT_FALSE(timer.isPaused());
    EXPECT_TRUE(sink->records().empty()) << "stop resumes a paused timer without complaint";
}

TEST_F(PlaybackTimerTest, StopWaitsForTheSleepTowardAFarFrame) {
    FrameLog frames;
    PlaybackTimer timer;
    timer.setRangeTimestamps(ms({0, 300}), true);
    timer.setCallback(frames.callback());
    const Clock::time_point started = Clock::now();
    timer.start(0);
    ASSERT_TRUE(frames.waitForCalls(1));
    std::this_thread::sleep_for(50ms);  // well into the sleep toward frame 1
    timer.stop();
    EXPECT_GE(Clock::now() - started, 300ms);
    EXPECT_EQ(frames.frames(), std::vector<size_t>{0}) << "a stopped timer does not fire the frame it slept toward";
    EXPECT_FALSE(timer.isRunning());
}

TEST_F(PlaybackTimerTest, FinishedRangeCanBeStartedAgain) {
    FrameLog frames;
    PlaybackTimer timer;
    timer.setRangeTimestamps(ms({0, 10, 20}), true);
    timer.setSkipDelayedFrames(false);
    timer.setCallback(frames.callback());
    timer.start(0);
    ASSERT_TRUE(waitUntilFinished(timer));
    sink->clear();

    timer.start(1);  // no stop() in between
    ASSERT_TRUE(waitUntilFinished(timer));
    EXPECT_EQ(frames.frames(), (std::vector<size_t>{0, 1, 2, 1, 2}));
    EXPECT_EQ(sink->records(),
              (std::vector<Record>{{Log::Debug, "StoppableThread", "Implicitly joining StoppableThread on destruction."}}));

    sink->clear();
    timer.stop();  // releases the finished thread
    timer.stop();
    EXPECT_EQ(sink->records(), (std::vector<Record>{{Log::Debug, kCategory, "Resume not needed: timer is not paused."},
                                                    {Log::Debug, kCategory, "Timer is not running."}}));
}

TEST_F(PlaybackTimerTest, ThrowingCallbackFinishesTheTimer) {
    FrameLog frames;
    auto record = frames.callback();
    PlaybackTimer timer;
    timer.setRangeConstantInterval(5, 5ms);
    timer.setSkipDelayedFrames(false);
    timer.setCallback([&](size_t frame) {
        record(frame);
        if (frame == 1) {
            throw std::runtime_error("callback failed");
        }
    });
    timer.start(0);
    ASSERT_TRUE(waitUntilFinished(timer));
    EXPECT_EQ(frames.frames(), (std::vector<size_t>{0, 1}));
    EXPECT_EQ(sink->records(), (std::vector<Record>{{Log::Error, "", "Caught unhandled exception in thread."}}));
    timer.start(4);  // the mutex was released when the thread ended
    ASSERT_TRUE(waitUntilFinished(timer));
    EXPECT_EQ(frames.frames().back(), 4u);
}

TEST_F(PlaybackTimerTest, MovedTimerKeepsItsThread) {
    FrameLog frames;
    PlaybackTimer original;
    original.setRangeConstantInterval(100, 2ms);
    original.setLooped(true);
    original.setCallback(frames.callback());
    original.start(0);
    ASSERT_TRUE(frames.waitForCalls(1));

    PlaybackTimer moved(std::move(original));
    EXPECT_TRUE(moved.isRunning());
    const size_t seen = frames.count();
    ASSERT_TRUE(frames.waitForCalls(seen + 3));

    PlaybackTimer target;
    target = std::move(moved);
    EXPECT_TRUE(target.isRunning());
    target.stop();
    EXPECT_FALSE(target.isRunning());
}

}  // namespace
