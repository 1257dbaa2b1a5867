// Times are checked only where a loaded machine cannot break them: lower
// bounds that follow from the schedule (counted from the start call, since a
// sleep never ends early), generous upper bounds, and the order and count of
// the frames called.
#include "core/threading/PlaybackTimer.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Orvantis::Threading::PlaybackTimer;
using OrvantisTest::takeReports;
using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;
using Frames = std::vector<size_t>;
using Reports = std::vector<std::string>;

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
            const bool first = frames.size() == 1;
            lock.unlock();
            std::this_thread::sleep_for(first ? firstCallTakes : 0ms);
        };
    }
    bool waitForCalls(size_t n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return frames.size() >= n; });
    }
    Frames called() {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
    nanoseconds since(Clock::time_point start, size_t call) {
        std::lock_guard<std::mutex> lock(mutex);
        return times.at(call) - start;
    }

private:
    std::mutex mutex;
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

TEST(PlaybackTimer, RangeConversionsAndInvalidFrameRates) {
    OrvantisTest::LogSession log;
    PlaybackTimer timer;
    EXPECT_FALSE(timer.isLooped());
    EXPECT_TRUE(timer.isSkippingDelayedFrames());
    const std::tuple<const char*, std::function<void()>, std::vector<nanoseconds>> cases[] = {
        {"relative", [&] { timer.setRangeTimestamps(ms({5000, 7000, 12000}), true); }, ms({0, 2000, 7000})},
        {"absolute", [&] { timer.setRangeTimestamps(ms({5000, 7000, 12000}), false); }, ms({5000, 7000, 12000})},
        {"relative, empty", [&] { timer.setRangeTimestamps(std::vector<nanoseconds>{}, true); }, {}},
        {"seconds", [&] { timer.setRangeTimestamps(std::vector<double>{5, 7, 12}, true); }, ms({0, 2000, 7000})},
        {"seconds truncated", [&] { timer.setRangeTimestamps(std::vector<double>{1.5e-9, -1.5e-9}, false); }, {1ns, -1ns}},
        {"interval", [&] { timer.setRangeConstantInterval(3, 10ms); }, ms({10, 20, 30})},
        {"3 fps truncated", [&] { timer.setRangeConstantFps(2, 3.0); }, {333333333ns, 666666666ns}},
        {"25 fps", [&] { timer.setRangeConstantFps(3, 25.0); }, ms({40, 80, 120})},
    };
    for (const auto& [name, set, expected] : cases) {
        SCOPED_TRACE(name);
        set();
        EXPECT_EQ(timer.rangeTimestamps(), expected);
    }
    EXPECT_TRUE(takeReports(*log.recording).empty()) << "a stopped timer has nothing to report";
    const double inf = std::numeric_limits<double>::infinity();
    for (const double fps : {0.0, -25.0, std::nan(""), inf, -inf, 1e-300}) {
        SCOPED_TRACE(fps);
        timer.setRangeConstantFps(5, fps);
        EXPECT_EQ(timer.rangeTimestamps(), ms({40, 80, 120}));
        EXPECT_EQ(takeReports(*log.recording), Reports{"4 Threading::PlaybackTimer: Invalid frame rate."});
    }
}

TEST(PlaybackTimer, MisuseOfAStoppedTimerIsReported) {
    OrvantisTest::LogSession log;
    FrameLog frames;
    const std::pair<std::function<void(PlaybackTimer&)>, std::string> cases[] = {
        {[](auto& t) { t.stop(); }, "1 Threading::PlaybackTimer: Timer is not running."},
        {[](auto& t) { t.pause(); }, "4 Threading::PlaybackTimer: Can not pause: timer is not running."},
        {[](auto& t) { t.resume(); }, "4 Threading::PlaybackTimer: Can not resume: timer is not running."},
        {[&](auto& t) { t.setCallback(frames.callback()); t.start(0); }, "4 Threading::PlaybackTimer: Set of timestamps is empty."},
        {[](auto& t) { t.setRangeConstantInterval(2, 1ms); t.start(0); }, "4 Threading::PlaybackTimer: Callback function is empty."},
    };
    for (const auto& [act, report] : cases) {
        SCOPED_TRACE(report);
        PlaybackTimer timer;
        act(timer);
        EXPECT_FALSE(timer.isRunning());
        EXPECT_FALSE(timer.isPaused());
        EXPECT_EQ(takeReports(*log.recording), Reports{report});
    }
    EXPECT_TRUE(frames.called().empty());
}

TEST(PlaybackTimer, ChangesWhileRunningWaitForTheRestart) {
    OrvantisTest::LogSession log;
    FrameLog first, second;
    PlaybackTimer timer;
    timer.setRangeConstantInterval(1000, 2ms);
    timer.setLooped(true);
    timer.setCallback(first.callback());
    timer.start(0);
    ASSERT_TRUE(first.waitForCalls(2));
    timer.start(0);  // already running: changes nothing
    EXPECT_EQ(takeReports(*log.recording), Reports{"1 Threading::PlaybackTimer: Timer is already running."});
    timer.setRangeConstantFps(2, 50.0);
    timer.setCallback(second.callback());
    ASSERT_TRUE(first.waitForCalls(first.called().size() + 3));
    EXPECT_GT(first.called().back(), 1u) << "the old 1000-frame range is still playing";
    EXPECT_TRUE(timer.isRunning());
    timer.stop();
    EXPECT_TRUE(second.called().empty());
    timer.setLooped(false);
    timer.setSkipDelayedFrames(false);
    timer.start(0);
    ASSERT_TRUE(waitUntilFinished(timer));
    EXPECT_EQ(second.called(), (Frames{0, 1}));
}

// Each case lists the frames called and the earliest time of each call.
TEST(PlaybackTimer, PlaysOnScheduleAndLoops) {
    OrvantisTest::LogSession log;
    const struct {
        const char* name;
        std::vector<nanoseconds> timestamps;
        bool relativeToFirst, looped;
        size_t startIndex;
        Frames expected;
        std::vector<nanoseconds> earliest;
    } cases[] = {
        {"once", ms({1000, 1040, 1080}), true, false, 0, {0, 1, 2}, ms({0, 40, 80})},
        {"once from 1", ms({1000, 1040, 1080}), true, false, 1, {1, 2}, ms({0, 40})},
        {"start index out of range", ms({1000, 1040, 1080}), true, false, 7, {0, 1, 2}, ms({0, 40, 80})},
        // After the last frame, frame 0 follows after the first timestamp or,
        // when that is 0, the mean interval: 30 / 3 = 10 ms, 50 ms, 60 / 3 = 20 ms.
        {"loop, mean", ms({100, 110, 130}), true, true, 0, {0, 1, 2, 0, 1, 2, 0}, ms({0, 10, 30, 40, 50, 70, 80})},
        {"loop from 1, first", ms({50, 55, 60}), false, true, 1, {1, 2, 0, 1, 2, 0}, ms({0, 5, 55, 60, 65, 115})},
        {"loop, mean of uneven", ms({0, 5, 60}), false, true, 0, {0, 1, 2, 0}, ms({0, 5, 60, 80})},
        {"a single frame", ms({0}), false, false, 0, {0}, ms({0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        takeReports(*log.recording);  // what the previous case's timer logged when it went
        FrameLog frames;
        PlaybackTimer timer;
        timer.setRangeTimestamps(c.timestamps, c.relativeToFirst);
        timer.setLooped(c.looped);
        timer.setSkipDelayedFrames(false);  // a slow machine must not drop frames here
        timer.setCallback(frames.callback());
        const Clock::time_point started = Clock::now();
        timer.start(c.startIndex);
        ASSERT_TRUE(frames.waitForCalls(c.expected.size()));
        timer.setLooped(false);  // read live: the current pass is the last
        ASSERT_TRUE(waitUntilFinished(timer));
        const Frames got = frames.called();
        EXPECT_EQ(Frames(got.begin(), got.begin() + c.expected.size()), c.expected);
        EXPECT_EQ(got.back(), c.timestamps.size() - 1) << "a range ends with its last frame";
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_GE(frames.since(started, i), c.earliest[i]) << "call " << i;
            EXPECT_LT(frames.since(started, i), c.earliest[i] + 1s) << "call " << i;
        }
        const bool badIndex = c.startIndex >= c.timestamps.size();
        EXPECT_EQ(takeReports(*log.recording),
                  badIndex ? Reports{"4 Threading::PlaybackTimer: Invalid start index, starting from the beginning."} : Reports{});
    }
}

TEST(PlaybackTimer, DelayedFrames) {
    OrvantisTest::LogSession log;
    // Frames 40 ms apart; a first call of 130 ms makes frames 1 to 3 overdue.
    const std::vector<nanoseconds> steady = ms({40, 80, 120, 160, 200, 240, 280, 320});
    const std::tuple<const char*, std::vector<nanoseconds>, bool, std::chrono::milliseconds> cases[] = {
        {"equal timestamps, skipping", ms({0, 0, 0, 50}), true, 0ms},
        {"equal timestamps, every frame", ms({0, 0, 0, 50}), false, 0ms},
        {"slow call, skipping", steady, true, 130ms},
        {"slow call, every frame", steady, false, 130ms},
    };
    for (const auto& [name, timestamps, skip, firstCallTakes] : cases) {
        SCOPED_TRACE(name);
        FrameLog frames;
        PlaybackTimer timer;
        timer.setRangeTimestamps(timestamps, false);
        timer.setSkipDelayedFrames(skip);
        timer.setCallback(frames.callback(firstCallTakes));
        const Clock::time_point started = Clock::now();
        timer.start(0);
        ASSERT_TRUE(waitUntilFinished(timer));
        const Frames got = frames.called();
        if (timestamps != steady) {
            EXPECT_EQ(got, (skip ? Frames{2, 3} : Frames{0, 1, 2, 3})) << "only the last equal one is due";
            continue;
        }
        ASSERT_GE(got.size(), 2u);
        EXPECT_EQ(got.front(), 0u);
        EXPECT_EQ(got.back(), 7u);
        // Frame 7 is due 280 ms after frame 0; had the slow call shifted the
        // schedule, it would come 370 ms or more after it.
        EXPECT_GE(frames.since(started, got.size() - 1), 280ms);
        EXPECT_LT(frames.since(started, got.size() - 1) - frames.since(started, 0), 350ms);
        if (skip) {
            EXPECT_GE(got[1], 3u) << "frames 1 and 2 were overdue";
            EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));
            EXPECT_EQ(std::adjacent_find(got.begin(), got.end()), got.end());
        } else {
            ASSERT_EQ(got, (Frames{0, 1, 2, 3, 4, 5, 6, 7}));
            EXPECT_LT(frames.since(started, 3) - frames.since(started, 1), 35ms) << "overdue frames back to back";
        }
    }
}

TEST(PlaybackTimer, PauseResumeAndStopWhilePaused) {
    OrvantisTest::LogSession log;
    FrameLog frames;
    PlaybackTimer timer;
    timer.setRangeConstantInterval(1000, 40ms);
    timer.setCallback(frames.callback());
    timer.start(0);
    ASSERT_TRUE(frames.waitForCalls(3));
    timer.pause();
    EXPECT_TRUE(timer.isPaused() && timer.isRunning());
    std::this_thread::sleep_for(100ms);  // at most a frame already being fired comes now
    const size_t settled = frames.called().size();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(frames.called().size(), settled) << "a paused timer fires nothing";
    const Clock::time_point resumed = Clock::now();
    timer.resume();
    EXPECT_FALSE(timer.isPaused());
    ASSERT_TRUE(frames.waitForCalls(settled + 1));
    EXPECT_GE(frames.since(resumed, settled), 40ms) << "the next frame comes one interval after resume";
    EXPECT_EQ(frames.called()[settled], frames.called()[settled - 1] + 1) << "nothing is dropped while paused";
    timer.pause();
    std::this_thread::sleep_for(60ms);  // the timer thread now waits
    const size_t beforeStop = frames.called().size();
    const Clock::time_point stopping = Clock::now();
    timer.stop();
    EXPECT_LT(Clock::now() - stopping, 1s) << "stop wakes a paused timer";
    EXPECT_EQ(frames.called().size(), beforeStop);
    EXPECT_FALSE(timer.isRunning() || timer.isPaused());
    EXPECT_TRUE(takeReports(*log.recording).empty()) << "stop resumes a paused timer without complaint";
}

// The thread object must be in place before the first frame fires.
TEST(PlaybackTimer, PauseFromTheFirstCallbackIsNeverRefused) {
    OrvantisTest::LogSession log;
    for (int run = 0; run < 40; ++run) {
        PlaybackTimer timer;
        std::atomic<int> calls{0};
        timer.setRangeConstantInterval(3, 1ms);
        timer.setCallback([&](size_t) { timer.pause(); calls.fetch_add(1); });
        timer.start(0);
        while (calls.load() == 0) {
            std::this_thread::yield();
        }
        timer.stop();
        EXPECT_EQ(calls.load(), 1) << "run " << run;
        EXPECT_TRUE(takeReports(*log.recording).empty()) << "run " << run;
    }
}

TEST(PlaybackTimer, FinishedTimerStartsAgainAfterEndOrException) {
    OrvantisTest::LogSession log;
    FrameLog frames;
    const auto record = frames.callback();
    PlaybackTimer timer;
    timer.setRangeTimestamps(ms({0, 10, 20}), true);
    timer.setSkipDelayedFrames(false);
    timer.setCallback(record);
    timer.start(0);
    ASSERT_TRUE(waitUntilFinished(timer));
    timer.start(1);  // no stop() in between
    ASSERT_TRUE(waitUntilFinished(timer));
    EXPECT_EQ(frames.called(), (Frames{0, 1, 2, 1, 2}));
    EXPECT_EQ(takeReports(*log.recording), Reports{"1 StoppableThread: Implicitly joining StoppableThread on destruction."});

    timer.setCallback([&](size_t frame) {
        record(frame);
        if (frame == 1) {
            throw std::runtime_error("callback failed");
        }
    });
    timer.stop();
    timer.start(0);
    ASSERT_TRUE(waitUntilFinished(timer));
    EXPECT_EQ(frames.called(), (Frames{0, 1, 2, 1, 2, 0, 1}));
    EXPECT_EQ(takeReports(*log.recording), (Reports{"1 Threading::PlaybackTimer: Resume not needed: timer is not paused.",
                                                    "4 : Caught unhandled exception in thread."}));
}

}  // namespace
