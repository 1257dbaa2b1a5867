// PlaybackTimer.h — calls a callback with each frame index at the frame's
// time, on a thread of its own.
//
// A range is a list of frame timestamps; only their differences set the
// schedule, and the first timestamp is also the pause after the last frame
// when the range loops; a first timestamp of 0 (a range relative to its
// first frame) makes that pause the mean frame interval, the last timestamp
// divided by the number of frames. start(i) fires frame i at once and every later frame
// at its due time, kept on an absolute schedule so that the error of one sleep
// never shifts later frames. When the callback or the machine falls behind and
// skipping is on (the default), the frames already overdue are dropped and the
// latest due frame is called instead; with skipping off, the overdue frames
// are called back to back until the schedule is met again.
//
// Misuse (starting twice, pausing a stopped timer, an empty range, ...) is
// logged under the category "Threading::PlaybackTimer" and otherwise ignored;
// nothing throws for it.
//
// Example:
//   Threading::PlaybackTimer timer;
//   timer.setRangeConstantFps(250, 25.0);          // ten seconds at 25 fps
//   timer.setCallback([](size_t frame) { show(frame); });
//   timer.start(0);                                // frame 0 now, frame 1 after 40 ms ...
//   timer.pause(); timer.resume(); timer.stop();
//
// Safety: every public operation belongs to the owner's thread. The callback
// runs on the timer thread while the timer's mutex is held; it may call
// pause(), but not resume() or stop() of its own timer (they would wait for
// the callback to return).
#pragma once

#include "core/Export.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace Orvantis::Threading {

class ORVANTIS_API PlaybackTimer {
public:
    // A stopped timer with no range, no callback, not looped, skipping delayed frames.
    PlaybackTimer();
    // Stops a timer thread that still exists.
    ~PlaybackTimer();

    PlaybackTimer(const PlaybackTimer&) = delete;
    PlaybackTimer& operator=(const PlaybackTimer&) = delete;
    // A moved-from timer may only be destroyed or assigned to.
    PlaybackTimer(PlaybackTimer&& other) noexcept;
    // Stops this timer's thread first, if any.
    PlaybackTimer& operator=(PlaybackTimer&& other) noexcept;

    // Replaces the range. With `relativeToFirst`, the first timestamp is
    // subtracted from all of them so that the range starts at 0.
    // A running timer keeps its range until the next start (logged at Warning).
    void setRangeTimestamps(const std::vector<std::chrono::nanoseconds>& timestamps, bool relativeToFirst);
    // The same with timestamps in seconds, truncated to whole nanoseconds.
    void setRangeTimestamps(const std::vector<double>& timestamps, bool relativeToFirst);
    // `numFrames` frames, frame i at (i + 1) * interval. A running timer keeps
    // its range until the next start (logged at Debug).
    void setRangeConstantInterval(std::size_t numFrames, std::chrono::nanoseconds interval);
    // `numFrames` frames at `fps` frames per second (interval truncated to
    // whole nanoseconds). A rate that is not a positive finite number, or too
    // small for a nanosecond count, is refused: "Invalid frame rate." at
    // Error, and the range stays as it was.
    void setRangeConstantFps(std::size_t numFrames, double fps);
    // The stored range, after conversion and shifting.
    const std::vector<std::chrono::nanoseconds>& rangeTimestamps() const;

    // Replaces the callback. A running timer keeps its callback until the
    // next start (logged at Warning).
    void setCallback(const std::function<void(std::size_t)>& callback);

    // Whether the range starts again at frame 0 after its last frame; a
    // running timer follows a change from its next frame on.
    void setLooped(bool looped);
    bool isLooped() const;
    // Whether overdue frames are dropped (default true); a running timer
    // follows a change from its next frame on.
    void setSkipDelayedFrames(bool skip);
    bool isSkippingDelayedFrames() const;

    // Starts a timer thread on copies of the range and the callback, firing
    // `startIndex` at once (an index out of range is logged and replaced by
    // 0). Refused, with a log record, while running, for an empty range and
    // for an empty callback. A finished timer may be started again.
    void start(std::size_t startIndex);
    // Ends the timer thread and waits for it. A timer sleeping toward its next
    // frame stops when that sleep ends; a paused one at once.
    void stop();
    // The timer thread stops firing from its next step on (no lock taken).
    void pause();
    // A paused timer goes on; its next frame comes one frame interval later.
    void resume();

    // A timer thread exists and has not ended; false once a range that does
    // not loop has played to its end, even before stop().
    bool isRunning() const;
    // A timer thread exists and is paused.
    bool isPaused() const;

private:
    struct State;

    static void timerThread(State& state, std::size_t startIndex,
                            const std::vector<std::chrono::nanoseconds>& timestamps,
                            const std::function<void(std::size_t)>& callback);

    std::unique_ptr<State> state;
    std::function<void(std::size_t)> callback;
    std::vector<std::chrono::nanoseconds> timestamps;
};

}  // namespace Orvantis::Threading
