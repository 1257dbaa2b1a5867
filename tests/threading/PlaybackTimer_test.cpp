// Times are checked only where a loaded machine cannot break them: lower
// bounds that follow from the schedule (counted from the start call, since a
// sleep never ends early), generous upper bounds, and the order and count of
// the frames called.
#include "threading/LogRecords.h"

#include <algorithm>
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
using Frames = std::vector<size_t>;

const char* const kCategory = "Threading::PlaybackTimer";
const std::string kNewRange = "Timer is currently running, setting new timestamps has no effect until restart.";

std::vector<Record> timerLog(Log::Level level, const std::string& message) {
    return {{level, kCategory, message}};
}

std::vector<nanoseconds> ms(std::initializer_list<long> values) {
    std::vector<nanoseconds> out;
    for (long v : values) {
        out.push_back(std::chrono::milliseconds(v));
    }
    return out;
}

// Records the frames called and when; the first call may take a while.
class FrameLog {
public:
    std::function<void(size_t)> callback(std::chrono::milliseconds firstCallTakes = 0ms) {
        return [this, firstCallTakes](size_t frame) {
            std::unique_lock<std::mutex> lock(mutex);
            frames.push_back(frame);
            times.push_back(Clock::now());
            changed.notify_all();
            if (frames.size() == 1) {
                lock.unlock();
                std::this_thread::sleep_for(firstCallTakes);
            }
        };
    }
    bool waitForCalls(size_t n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return frames.size() >= n; });
    }
    Frames called() const {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
    nanoseconds since(Clock::time_point start, size_t call) const {
        std::lock_guard<std::mutex> lock(mutex);
        return times.at(call) - start;
    }

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    Frames frames;
    std::vector<Clock::time_point> times;
};

bool waitUntilFinished(const PlaybackTimer& timer) {
    const Clock::time_point deadline = Clock::now() + 5s;
    while (timer.isRunning() && Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    return !timer.isRunning();
}

class PlaybackTimerTest : public ThreadingTest::LogCaptureTest {};

TEST_F(PlaybackTimerTest, RangeConversionsAndInvalidFrameRates) {
    PlaybackTimer timer;
    EXPECT_FALSE(timer.isLooped());
    EXPECT_TRUE(timer.isSkippingDelayedFrames());
    struct Case {
        const char* name;
        std::function<void(PlaybackTimer&)> set;
        std::vector<nanoseconds> expected;
    };
    const std::vector<Case> cases = {
        {"relative", [](auto& t) { t.setRangeTimestamps(ms({5000, 7000, 12000}), true); }, ms({0, 2000, 7000})},
        {"absolute", [](auto& t) { t.setRangeTimestamps(ms({5000, 7000, 12000}), false); }, ms({5000, 7000, 12000})},
        {"relative, empty", [](auto& t) { t.setRangeTimestamps(std::vector<nanoseconds>{}, true); }, {}},
        {"seconds", [](auto& t) { t.setRangeTimestamps(std::vector<double>{5, 7, 12}, true); }, ms({0, 2000, 7000})},
        {"seconds truncated", [](auto& t) { t.setRangeTimestamps(std::vector<double>{1.5e-9, -1.5e-9}, false); },
         {1ns, -1ns}},
        {"interval", [](auto& t) { t.setRangeConstantInterval(3, 10ms); }, ms({10, 20, 30})},
        {"3 fps truncated", [](auto& t) { t.setRangeConstantFps(2, 3.0); }, {333333333ns, 666666666ns}},
        {"25 fps", [](auto& t) { t.setRangeConstantFps(3, 25.0); }, ms({40, 80, 120})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.set(timer);
        EXPECT_EQ(timer.rangeTimestamps(), c.expected);
    }
    EXPECT_TRUE(takeRecords().empty()) << "a stopped timer has nothing to report";

    const double inf = std::numeric_limits<double>::infinity();
    for (const double fps : {0.0, -25.0, std::nan(""), inf, -inf, 1e-300}) {
        SCOPED_TRACE(fps);
        timer.setRangeConstantFps(5, fps);
        EXPECT_EQ(timer.rangeTimestamps(), ms({40, 80, 120}));
        EXPECT_EQ(takeRecords(), timerLog(Log::Error, "Invalid frame rate."));
    }
}

TEST_F(PlaybackTimerTest, MisuseOfAStoppedTimer) {
    FrameLog log;
    struct Case {
        const char* name;
        Log::Level globalLevel;
        std::function<void(PlaybackTimer&)> act;
        std::vector<Record> expected;
    };
    const std::vector<Case> cases = {
        {"stop", Log::Trace, [](auto& t) { t.stop(); }, timerLog(Log::Debug, "Timer is not running.")},
        {"stop, Debug not produced", Log::Info, [](auto& t) { t.stop(); }, {}},
        {"pause", Log::Trace, [](auto& t) { t.pause(); }, timerLog(Log::Error, "Can not pause: timer is not running.")},
        {"resume", Log::Error, [](auto& t) { t.resume(); },
         timerLog(Log::Error, "Can not resume: timer is not running.")},
        {"no range", Log::Trace, [&](auto& t) { t.setCallback(log.callback()); t.start(0); },
         timerLog(Log::Error, "Set of timestamps is empty.")},
        {"no callback", Log::Trace, [](auto& t) { t.setRangeConstantInterval(2, 1ms); t.start(0); },
         timerLog(Log::Error, "Callback function is empty.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log::setGlobalLevel(c.globalLevel);
        PlaybackTimer timer;
        c.act(timer);
        EXPECT_FALSE(timer.isRunning());
        EXPECT_FALSE(timer.isPaused());
        EXPECT_EQ(takeRecords(), c.expected);
    }
    EXPECT_TRUE(log.called().empty());
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
        {"start", [&] { timer.start(0); }, timerLog(Log::Debug, "Timer is already running.")},
        {"resume", [&] { timer.resume(); }, timerLog(Log::Debug, "Resume not needed: timer is not paused.")},
        {"timestamps", [&] { timer.setRangeTimestamps(ms({0, 1}), false); }, timerLog(Log::Warning, kNewRange)},
        {"seconds", [&] { timer.setRangeTimestamps(std::vector<double>{0, 1}, false); },
         timerLog(Log::Warning, kNewRange)},
        {"interval", [&] { timer.setRangeConstantInterval(2, 20ms); }, timerLog(Log::Debug, kNewRange)},
        {"fps", [&] { timer.setRangeConstantFps(2, 50.0); }, timerLog(Log::Debug, kNewRange)},
        {"callback", [&] { timer.setCallback(second.callback()); },
         timerLog(Log::Warning,
                  "Timer is currently running, setting a new callback function has no effect until restart.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.act();
        EXPECT_TRUE(timer.isRunning());
        EXPECT_EQ(takeRecords(), c.expected);
    }
    const size_t seen = first.called().size();
    ASSERT_TRUE(first.waitForCalls(seen + 3));
    EXPECT_GT(first.called().back(), 1u) << "the old 1000-frame range is still playing";
    timer.stop();
    EXPECT_EQ(takeRecords(), timerLog(Log::Debug, "Resume not needed: timer is not paused."));
    EXPECT_TRUE(second.called().empty());

    timer.setLooped(false);
    timer.setSkipDelayedFrames(false);
    timer.start(0);  // picks up the 50 fps range and the new callback
    ASSERT_TRUE(waitUntilFinished(timer));
    EXPECT_EQ(second.called(), (Frames{0, 1}));
}

// Each case lists the frames called and the earliest time of each call.
TEST_F(PlaybackTimerTest, PlaysOnScheduleAndLoops) {
    struct Case {
        const char* name;
        std::vector<nanoseconds> timestamps;
        bool relativeToFirst;
        bool looped;
        size_t startIndex;
        Frames expected;
        std::vector<nanoseconds> earliest;
    };
    const std::vector<Case> cases = {
        {"once", ms({1000, 1040, 1080}), true, false, 0, {0, 1, 2}, ms({0, 40, 80})},
        {"once from 1", ms({1000, 1040, 1080}), true, false, 1, {1, 2}, ms({0, 40})},
        {"start index out of range", ms({1000, 1040, 1080}), true, false, 7, {0, 1, 2}, ms({0, 40, 80})},
        // After the last frame, frame 0 follows after the first timestamp or,
        // when that is 0, the mean interval: 30 / 3 = 10 ms, 50 ms, 60 / 3 = 20 ms.
        {"loop, mean", ms({100, 110, 130}), true, true, 0, {0, 1, 2, 0, 1, 2, 0}, ms({0, 10, 30, 40, 50, 70, 80})},
        {"loop from 1, first", ms({50, 55, 60}), false, true, 1, {1, 2, 0, 1, 2, 0}, ms({0, 5, 55, 60, 65, 115})},
        {"loop, mean of uneven", ms({0, 5, 60}), false, true, 0, {0, 1, 2, 0}, ms({0, 5, 60, 80})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        takeRecords();  // what the previous case's timer logged when it went
        FrameLog log;
        PlaybackTimer timer;
        timer.setRangeTimestamps(c.timestamps, c.relativeToFirst);
        timer.setLooped(c.looped);
        timer.setSkipDelayedFrames(false);  // a slow machine must not drop frames here
        timer.setCallback(log.callback());
        const Clock::time_point started = Clock::now();
        timer.start(c.startIndex);
        ASSERT_TRUE(log.waitForCalls(c.expected.size()));
        timer.setLooped(false);  // read live: the current pass is the last
        ASSERT_TRUE(waitUntilFinished(timer));
        EXPECT_FALSE(timer.isPaused());

        const Frames got = log.called();
        ASSERT_GE(got.size(), c.expected.size());
        EXPECT_EQ(Frames(got.begin(), got.begin() + c.expected.size()), c.expected);
        EXPECT_EQ(got.back(), 2u) << "a range ends with its last frame";
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_GE(log.since(started, i), c.earliest[i]) << "call " << i;
            EXPECT_LT(log.since(started, i), c.earliest[i] + 1s) << "call " << i;
        }
        const bool badIndex = c.startIndex >= c.timestamps.size();
        EXPECT_EQ(takeRecords(),
                  badIndex ? timerLog(Log::Error, "Invalid start index, starting from the beginning.")
                           : std::vector<Record>{});
    }
}

TEST_F(PlaybackTimerTest, DelayedFrames) {
    struct Case {
        const char* name;
        std::vector<nanoseconds> timestamps;
        bool skip;
        std::chrono::milliseconds firstCallTakes;
    };
    // Frames 40 ms apart; a first call of 130 ms makes frames 1 to 3 overdue.
    const std::vector<nanoseconds> steady = ms({40, 80, 120, 160, 200, 240, 280, 320});
    const std::vector<Case> cases = {
        {"equal timestamps, skipping", ms({0, 0, 0, 50}), true, 0ms},
        {"equal timestamps, every frame", ms({0, 0, 0, 50}), false, 0ms},
        {"slow call, skipping", steady, true, 130ms},
        {"slow call, every frame", steady, false, 130ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrameLog log;
        PlaybackTimer timer;
        timer.setRangeTimestamps(c.timestamps, false);
        timer.setSkipDelayedFrames(c.skip);
        timer.setCallback(log.callback(c.firstCallTakes));
        const Clock::time_point started = Clock::now();
        timer.start(0);
        ASSERT_TRUE(waitUntilFinished(timer));
        const Frames got = log.called();
        if (c.timestamps == steady) {
            ASSERT_GE(got.size(), 2u);
            EXPECT_EQ(got.front(), 0u);
            EXPECT_EQ(got.back(), 7u);
            // Frame 7 is due 280 ms after frame 0; had the slow call shifted the
            // schedule, it would come 370 ms or more after it.
            EXPECT_GE(log.since(started, got.size() - 1), 280ms);
            EXPECT_LT(log.since(started, got.size() - 1) - log.since(started, 0), 350ms);
            if (c.skip) {
                EXPECT_GE(got[1], 3u) << "frames 1 and 2 were overdue";
                EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));
                EXPECT_EQ(std::adjacent_find(got.begin(), got.end()), got.end());
            } else {
                ASSERT_EQ(got, (Frames{0, 1, 2, 3, 4, 5, 6, 7}));
                EXPECT_LT(log.since(started, 3) - log.since(started, 1), 35ms) << "overdue frames back to back";
            }
        } else {
            EXPECT_EQ(got, (c.skip ? Frames{2, 3} : Frames{0, 1, 2, 3})) << "only the last equal one is due";
        }
    }
}

TEST_F(PlaybackTimerTest, PauseResumeAndStopWhilePaused) {
    FrameLog log;
    PlaybackTimer timer;
    timer.setRangeConstantInterval(1000, 40ms);
    timer.setCallback(log.callback());
    timer.start(0);
    ASSERT_TRUE(log.waitForCalls(3));

    timer.pause();
    EXPECT_TRUE(timer.isPaused());
    EXPECT_TRUE(timer.isRunning());
    const size_t atPause = log.called().size();
    std::this_thread::sleep_for(100ms);
    const size_t settled = log.called().size();
    EXPECT_LE(settled, atPause + 1) << "at most a frame already being fired";
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.called().size(), settled) << "a paused timer fires nothing";

    const Clock::time_point resumed = Clock::now();
    timer.resume();
    EXPECT_FALSE(timer.isPaused());
    ASSERT_TRUE(log.waitForCalls(settled + 1));
    EXPECT_GE(log.since(resumed, settled), 40ms) << "the next frame comes one interval after resume";
    const Frames got = log.called();
    EXPECT_EQ(got[settled], got[settled - 1] + 1) << "nothing is dropped for the time spent paused";

    timer.pause();
    std::this_thread::sleep_for(60ms);  // the timer thread now waits
    const size_t beforeStop = log.called().size();
    takeRecords();
    const Clock::time_point stopping = Clock::now();
    timer.stop();
    EXPECT_LT(Clock::now() - stopping, 1s) << "stop wakes a paused timer";
    EXPECT_EQ(log.called().size(), beforeStop);
    EXPECT_FALSE(timer.isRunning());
    EXPECT_FALSE(timer.isPaused());
    EXPECT_TRUE(takeRecords().empty()) << "stop resumes a paused timer without complaint";
}

TEST_F(PlaybackTimerTest, StopWaitsForTheSleepTowardAFarFrame) {
    FrameLog log;
    PlaybackTimer timer;
    timer.setRangeTimestamps(ms({0, 300}), true);
    timer.setCallback(log.callback());
    const Clock::time_point started = Clock::now();
    timer.start(0);
    ASSERT_TRUE(log.waitForCalls(1));
    std::this_thread::sleep_for(50ms);  // well into the sleep toward frame 1
    timer.stop();
    EXPECT_GE(Clock::now() - started, 300ms);
    EXPECT_EQ(log.called(), Frames{0}) << "a stopped timer does not fire the frame it slept toward";
}

TEST_F(PlaybackTimerTest, FinishedTimerStartsAgainAfterEndOrException) {
    FrameLog log;
    const auto record = log.callback();
    PlaybackTimer timer;
    timer.setRangeTimestamps(ms({0, 10, 20}), true);
    timer.setSkipDelayedFrames(false);
    timer.setCallback(record);
    timer.start(0);
    ASSERT_TRUE(waitUntilFinished(timer));
    timer.start(1);  // no stop() in between
    ASSERT_TRUE(waitUntilFinished(timer));
    EXPECT_EQ(log.called(), (Frames{0, 1, 2, 1, 2}));
    EXPECT_EQ(takeRecords(),
              (std::vector<Record>{{Log::Debug, "StoppableThread", "Implicitly joining StoppableThread on destruction."}}));

    timer.setCallback([&](size_t frame) {
        record(frame);
        if (frame == 1) {
            throw std::runtime_error("callback failed");
        }
    });
    timer.stop();
    timer.start(0);
    ASSERT_TRUE(waitUntilFinished(timer));
    EXPECT_EQ(log.called(), (Frames{0, 1, 2, 1, 2, 0, 1}));
    timer.stop();
    timer.stop();
    EXPECT_EQ(takeRecords(), (std::vector<Record>{{Log::Debug, kCategory, "Resume not needed: timer is not paused."},
                                                 {Log::Error, "", "Caught unhandled exception in thread."},
                                                 {Log::Debug, kCategory, "Resume not needed: timer is not paused."},
                                                 {Log::Debug, kCategory, "Timer is not running."}}));
}

TEST_F(PlaybackTimerTest, MovedTimerKeepsItsThread) {
    FrameLog log;
    PlaybackTimer original;
    original.setRangeConstantInterval(100, 2ms);
    original.setLooped(true);
    original.setCallback(log.callback());
    original.start(0);
    PlaybackTimer moved(std::move(original));
    ASSERT_TRUE(log.waitForCalls(3));
    PlaybackTimer target;
    target = std::move(moved);
    EXPECT_TRUE(target.isRunning());
    target.stop();
    EXPECT_FALSE(target.isRunning());
}

}  // namespace
