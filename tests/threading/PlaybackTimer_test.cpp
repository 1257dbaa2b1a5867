// Times are checked only where a loaded machine cannot break them: lower
// bounds that follow from the schedule (counted from before the start call,
// since a sleep never ends early), generous upper bounds, and the order and
// count of the frames called.
#include "core/threading/PlaybackTimer.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Orvantis::Threading::PlaybackTimer;
using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;
using Frames = std::vector<size_t>;
using Range = std::vector<nanoseconds>;
using OrvantisTest::eventually;

// Records the frames called and when, counted from its creation; the first
// call may take a while.
struct FrameLog {
    const Clock::time_point created = Clock::now();
    std::mutex mutex;
    Frames frames;
    std::vector<nanoseconds> times;

    std::function<void(size_t)> callback(std::chrono::milliseconds firstCallTakes = 0ms) {
        return [this, firstCallTakes](size_t frame) {
            std::lock_guard<std::mutex> lock(mutex);
            frames.push_back(frame);
            times.push_back(Clock::now() - created);
            std::this_thread::sleep_for(frames.size() == 1 ? firstCallTakes : 0ms);
        };
    }
    std::pair<Frames, std::vector<nanoseconds>> calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return {frames, times};
    }
};

// Ranges set in turn; a refused frame rate leaves the range as it was.
TEST(PlaybackTimer, SetsRanges) {
    PlaybackTimer timer;
    const auto set = [&](Range r, bool relative) { return [=, &timer] { timer.setRangeTimestamps(r, relative); }; };
    const auto seconds = [&](std::vector<double> s) { return [=, &timer] { timer.setRangeTimestamps(s, false); }; };
    const auto fps = [&](double rate) { return [&timer, rate] { timer.setRangeConstantFps(5, rate); }; };
    const Range at3 = {333333333ns, 666666666ns};
    const std::tuple<const char*, std::function<void()>, Range> cases[] = {
        {"relative", set({5s, 7s}, true), {0s, 2s}},
        {"relative, empty", set({}, true), {}},
        {"seconds, truncated", seconds({1.5e-9, -1.5e-9}), {1ns, -1ns}},
        {"interval", [&] { timer.setRangeConstantInterval(2, 40ms); }, {40ms, 80ms}},
        {"3 fps, truncated", [&] { timer.setRangeConstantFps(2, 3.0); }, at3},
        {"negative fps", fps(-25.0), at3},
        {"infinite fps", fps(INFINITY), at3},
        {"fps for an interval of 2^63 ns", fps(1e9 / 9223372036854775808.0), at3},
    };
    for (const auto& [name, act, range] : cases) {
        SCOPED_TRACE(name);
        act();
        EXPECT_EQ(timer.rangeTimestamps(), range);
    }
}

// Each case lists the first frames called and the earliest time of the last
// of them. After the last frame, frame 0 follows after the first timestamp
// or, when that is 0, the mean interval (60 / 3 = 20 ms). Of equal timestamps
// only the last is due when skipping, also at the end of the range; a start
// index out of range means 0.
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
        {"equal last timestamps, skipping", {0ms, 1000000h, 1000000h, 1000000h}, false, true, 1, {3}, 0ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrameLog log;
        PlaybackTimer timer;
        timer.setRangeTimestamps(c.timestamps, false);
        timer.setLooped(c.looped);
        timer.setSkipDelayedFrames(c.skip);  // off: a slow machine must not drop frames here
        timer.setCallback(log.callback());
        timer.start(c.startIndex);
        ASSERT_TRUE(eventually([&] { return log.calls().first.size() >= c.expected.size(); }));
        timer.setLooped(false);  // read live: the current pass is the last
        ASSERT_TRUE(eventually([&] { return !timer.isRunning(); }));
        const auto [frames, times] = log.calls();
        EXPECT_EQ(Frames(frames.begin(), frames.begin() + c.expected.size()), c.expected);
        EXPECT_EQ(frames.back(), c.timestamps.size() - 1) << "a range ends with its last frame";
        const nanoseconds last = times[c.expected.size() - 1];
        EXPECT_TRUE(last >= c.earliest && last < c.earliest + 1s) << last.count();
    }
}

// One timer through its life. Frames overdue after a slow call are dropped
// (skipping is the default) and the schedule stays where it was. A running
// timer pauses, resumes and stops on request, and keeps its range and
// callback until the next start; a finished one starts again without stop().
// The thread object is in place before the first frame fires, so a callback
// may pause its timer at once; pausing on the last frame ends the thread
// paused, and the next start is not.
TEST(PlaybackTimer, PausesResumesAndTakesChangesAtTheRestart) {
    OrvantisTest::LogSession session;
    FrameLog log;
    std::atomic<int> calls{0};
    auto timer = std::make_unique<PlaybackTimer>();
    timer->pause();  // refused while stopped, and so is a start without a range
    timer->start(0);
    EXPECT_EQ(OrvantisTest::takeReports(*session.recording).size(), 2u);
    timer->setRangeConstantInterval(1000, 40ms);
    timer->setCallback(log.callback(130ms));
    timer->start(0);
    ASSERT_TRUE(eventually([&] { return log.calls().first.size() >= 3; }));
    const auto [early, times] = log.calls();
    EXPECT_GE(early[1], 3u) << "frames 1 and 2 were overdue after a first call of 130 ms";
    EXPECT_LT(times[2] - times[0], std::chrono::milliseconds(40 * early[2] + 70)) << "the schedule did not shift";
    timer->start(0);  // already running: changes nothing
    timer->setRangeConstantFps(1, 1000.0);
    timer->setCallback([&](size_t) {
        timer->pause();
        calls.fetch_add(1);
    });
    timer->pause();
    EXPECT_TRUE(timer->isPaused());
    std::this_thread::sleep_for(100ms);  // at most a frame already being fired comes now
    const size_t settled = log.calls().first.size();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.calls().first.size(), settled) << "a paused timer fires nothing";
    const nanoseconds resumed = Clock::now() - log.created;
    timer->resume();
    ASSERT_TRUE(eventually([&] { return log.calls().first.size() > settled; }));
    EXPECT_GE(log.calls().second[settled] - resumed, 40ms) << "the next frame comes one interval after resume";
    timer->pause();
    std::this_thread::sleep_for(60ms);  // the timer thread now waits
    OrvantisTest::takeReports(*session.recording);  // the refused start and the changes made while running
    const auto stopping = Clock::now();
    timer->stop();
    EXPECT_LT(Clock::now() - stopping, 5s) << "stop ends the thread instead of playing out the range";
    EXPECT_TRUE(OrvantisTest::takeReports(*session.recording).empty()) << "stop resumes a paused timer and joins it";
    const Frames frames = log.calls().first;
    EXPECT_EQ(std::adjacent_find(frames.begin(), frames.end(), std::greater_equal<>()), frames.end())
        << "the first range played on, not again from frame 0";
    for (int run = 1; run <= 30; ++run) {
        timer->start(0);
        ASSERT_TRUE(eventually([&] { return calls.load() == run && !timer->isRunning(); })) << "run " << run;
    }
    timer.reset();  // stops a timer that its callback paused
    EXPECT_EQ(OrvantisTest::takeReports(*session.recording),
              std::vector<std::string>(29, "1 StoppableThread: Implicitly joining StoppableThread on destruction."));
}

}  // namespace
