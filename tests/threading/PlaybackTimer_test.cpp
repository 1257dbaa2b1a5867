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
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Orvantis::Threading::PlaybackTimer;
using OrvantisTest::takeReports;
using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;
using Frames = std::vector<size_t>;
using Range = std::vector<nanoseconds>;
using Reports = std::vector<std::string>;

// Polls `done` for up to five seconds.
bool eventually(const std::function<bool()>& done) {
    for (const Clock::time_point deadline = Clock::now() + 5s; !done(); std::this_thread::sleep_for(1ms)) {
        if (Clock::now() > deadline) {
            return false;
        }
    }
    return true;
}

// Records the frames called and when; the first call may take a while.
struct FrameLog {
    std::mutex mutex;
    Frames frames;
    std::vector<Clock::time_point> times;

    std::function<void(size_t)> callback(std::chrono::milliseconds firstCallTakes = 0ms) {
        return [this, firstCallTakes](size_t frame) {
            std::unique_lock<std::mutex> lock(mutex);
            frames.push_back(frame);
            times.push_back(Clock::now());
            const bool first = frames.size() == 1;
            lock.unlock();
            std::this_thread::sleep_for(first ? firstCallTakes : 0ms);
        };
    }
    Frames called() {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
    bool waitForCalls(size_t n) {
        return eventually([&] { return called().size() >= n; });
    }
    nanoseconds since(Clock::time_point start, size_t call) {
        std::lock_guard<std::mutex> lock(mutex);
        return times.at(call) - start;
    }
};

bool waitUntilFinished(const PlaybackTimer& timer) {
    return eventually([&] { return !timer.isRunning(); });
}

// Each call on a stopped timer, in turn: the range it leaves and what it logs.
TEST(PlaybackTimer, StoppedTimerSetsRangesAndRefusesMisuse) {
    OrvantisTest::LogSession log;
    PlaybackTimer timer;
    const std::string prefix = "4 Threading::PlaybackTimer: ", invalid = prefix + "Invalid frame rate.";
    const auto fps = [&](double rate) { return [&timer, rate] { timer.setRangeConstantFps(5, rate); }; };
    const auto start = [&] { timer.start(0); };
    const Range at3 = {333333333ns, 666666666ns};
    const std::tuple<const char*, std::function<void()>, Range, Reports> cases[] = {
        {"start with an empty range", start, {}, {prefix + "Set of timestamps is empty."}},
        {"relative",
         [&] {
             timer.setRangeTimestamps(Range{5s, 7s}, true);
         },
         {0s, 2s},
         {}},
        {"relative, empty", [&] { timer.setRangeTimestamps(Range{}, true); }, {}, {}},
        {"seconds",
         [&] {
             timer.setRangeTimestamps(std::vector<double>{1.5e-9, -1.5e-9}, false);
         },
         {1ns, -1ns},
         {}},
        {"start without a callback", start, {1ns, -1ns}, {prefix + "Callback function is empty."}},
        {"3 fps", [&] { timer.setRangeConstantFps(2, 3.0); }, at3, {}},
        {"negative fps", fps(-25.0), at3, {invalid}},
        {"infinite fps", fps(INFINITY), at3, {invalid}},
        {"fps for an interval of 2^63 ns", fps(1e9 / 9223372036854775808.0), at3, {invalid}},
        {"pause", [&] { timer.pause(); }, at3, {prefix + "Can not pause: timer is not running."}},
        {"resume", [&] { timer.resume(); }, at3, {prefix + "Can not resume: timer is not running."}},
        {"stop", [&] { timer.stop(); }, at3, {"1 Threading::PlaybackTimer: Timer is not running."}},
    };
    for (const auto& [name, act, range, reports] : cases) {
        SCOPED_TRACE(name);
        act();
        EXPECT_EQ(timer.rangeTimestamps(), range);
        EXPECT_EQ(takeReports(*log.recording), reports);
        EXPECT_FALSE(timer.isRunning() || timer.isPaused());
    }
}

// Each case lists the first frames called and the earliest time of the last
// of them. After the last frame, frame 0 follows after the first timestamp
// or, when that is 0, the mean interval (60 / 3 = 20 ms). Of equal timestamps
// only the last is due when skipping.
TEST(PlaybackTimer, PlaysOnScheduleAndLoops) {
    const struct {
        const char* name;
        Range timestamps;
        bool looped, skip;
        size_t startIndex;
        Frames expected;
        nanoseconds earliest;
    } cases[] = {
        {"start index out of range", {0ms, 40ms, 80ms}, false, false, 3, {0, 1, 2}, 80ms},
        {"loop, pause of the mean interval", {0ms, 5ms, 60ms}, true, false, 0, {0, 1, 2, 0}, 80ms},
        {"loop from 1, pause of the first timestamp", {50ms, 55ms, 60ms}, true, false, 1, {1, 2, 0, 1, 2, 0}, 115ms},
        {"a single frame", {0ms}, false, false, 0, {0}, 0ms},
        {"equal timestamps, skipping", {0ms, 0ms, 0ms, 50ms}, false, true, 0, {2, 3}, 50ms},
        {"equal last timestamps, skipping", {0ms, 50ms, 50ms, 50ms}, false, true, 0, {0, 3}, 50ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrameLog frames;
        PlaybackTimer timer;
        timer.setRangeTimestamps(c.timestamps, false);
        timer.setLooped(c.looped);
        timer.setSkipDelayedFrames(c.skip);  // off: a slow machine must not drop frames here
        timer.setCallback(frames.callback());
        const Clock::time_point started = Clock::now();
        timer.start(c.startIndex);
        ASSERT_TRUE(frames.waitForCalls(c.expected.size()));
        timer.setLooped(false);  // read live: the current pass is the last
        ASSERT_TRUE(waitUntilFinished(timer));
        const Frames got = frames.called();
        EXPECT_EQ(Frames(got.begin(), got.begin() + c.expected.size()), c.expected);
        EXPECT_EQ(got.back(), c.timestamps.size() - 1) << "a range ends with its last frame";
        const nanoseconds last = frames.since(started, c.expected.size() - 1);
        EXPECT_TRUE(last >= c.earliest && last < c.earliest + 1s) << last.count();
    }
}

// Frames 40 ms apart; a first call of 130 ms makes frames 1 to 3 overdue.
// Frame 7 is due 280 ms after frame 0; had the slow call shifted the
// schedule, it would come 370 ms or more after it.
TEST(PlaybackTimer, OverdueFramesKeepTheSchedule) {
    for (const bool skip : {true, false}) {
        SCOPED_TRACE(skip ? "skipping" : "every frame");
        FrameLog frames;
        PlaybackTimer timer;
        timer.setRangeConstantInterval(8, 40ms);
        if (!skip) {
            timer.setSkipDelayedFrames(false);  // skipping is the default
        }
        timer.setCallback(frames.callback(130ms));
        const Clock::time_point started = Clock::now();
        timer.start(0);
        ASSERT_TRUE(waitUntilFinished(timer));
        const Frames got = frames.called();
        ASSERT_GE(got.size(), 2u);
        EXPECT_EQ(got.back(), 7u);
        EXPECT_GE(frames.since(started, got.size() - 1), 280ms);
        EXPECT_LT(frames.since(started, got.size() - 1) - frames.since(started, 0), 350ms);
        if (skip) {
            EXPECT_GE(got[1], 3u) << "frames 1 and 2 were overdue";
            EXPECT_EQ(std::adjacent_find(got.begin(), got.end(), std::greater_equal<>()), got.end()) << "ascending";
        } else {
            ASSERT_EQ(got, (Frames{0, 1, 2, 3, 4, 5, 6, 7}));
            EXPECT_LT(frames.since(started, 3) - frames.since(started, 1), 35ms) << "overdue frames back to back";
        }
    }
}

// One timer through its life. A running timer pauses, resumes and stops on
// request, and keeps its range and callback until the next start; a finished
// one starts again without stop(). The thread object is in place before the
// first frame fires, so a callback may pause its timer at once; pausing on
// the last frame ends the thread paused, and the next start is not.
TEST(PlaybackTimer, PausesResumesAndTakesChangesAtTheRestart) {
    OrvantisTest::LogSession log;
    FrameLog frames;
    std::atomic<int> calls{0};
    auto timer = std::make_unique<PlaybackTimer>();
    timer->setRangeConstantInterval(1000, 40ms);
    timer->setSkipDelayedFrames(false);
    timer->setCallback(frames.callback());
    timer->start(0);
    ASSERT_TRUE(frames.waitForCalls(3));
    timer->start(0);  // already running: changes nothing
    timer->setRangeConstantInterval(1, 1ms);
    timer->setCallback([&](size_t) {
        timer->pause();
        calls.fetch_add(1);
    });
    timer->pause();
    EXPECT_TRUE(timer->isPaused() && timer->isRunning());
    std::this_thread::sleep_for(100ms);  // at most a frame already being fired comes now
    const size_t settled = frames.called().size();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(frames.called().size(), settled) << "a paused timer fires nothing";
    const Clock::time_point resumed = Clock::now();
    timer->resume();
    EXPECT_FALSE(timer->isPaused());
    ASSERT_TRUE(frames.waitForCalls(settled + 1));
    EXPECT_GE(frames.since(resumed, settled), 40ms) << "the next frame comes one interval after resume";
    timer->pause();
    std::this_thread::sleep_for(60ms);  // the timer thread now waits
    takeReports(*log.recording);  // the refused start and the changes made while running
    timer->stop();
    EXPECT_TRUE(takeReports(*log.recording).empty()) << "stop resumes a paused timer and joins it";
    const Frames got = frames.called();
    EXPECT_EQ(got.back() + 1, got.size()) << "the first range played on from frame 0, not again";
    for (int run = 1; run <= 30; ++run) {
        timer->start(0);
        ASSERT_TRUE(eventually([&] { return calls.load() == run && !timer->isRunning(); })) << "run " << run;
    }
    timer.reset();  // stops a timer that its callback paused
    EXPECT_EQ(takeReports(*log.recording),
              Reports(29, "1 StoppableThread: Implicitly joining StoppableThread on destruction."));
}

}  // namespace
