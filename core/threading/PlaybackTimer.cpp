#include "core/threading/PlaybackTimer.h"

#include "core/log/Log.h"
#include "core/threading/StoppableThread.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace Orvantis::Threading {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

constexpr char kCategory[] = "Threading::PlaybackTimer";

// A running timer thread took copies of the range and the callback at its
// start: a change made now waits for the next start, which is logged.
void warnIfRunning(bool running, Log::Level level, const char* what) {
    if (running) {
        ORVANTIS_LOG(level, kCategory,
                     "Timer is currently running, setting " << what << " has no effect until restart.");
    }
}

// The kernel rounds every sleep up by the thread's timer slack (50 us by
// default) to batch wake-ups; a frame timer wants the finest it may have.
void requestFinestTimerSlack() {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

// The frame to call when frame `next` fires `lateness` after its due time:
// the last one of the frames from `next` on whose time has already come.
// Frames between `next` and it are dropped.
std::size_t latestDueFrame(const std::vector<nanoseconds>& timestamps, std::size_t next, nanoseconds lateness) {
    const nanoseconds target = timestamps[next] + lateness;
    std::size_t position = next;
    while (position < timestamps.size() && timestamps[position] <= target) {
        ++position;
    }
    return position - 1;
}

// The pause between the last frame and frame 0 of the next pass: the first
// timestamp, or the mean frame interval when the range starts at 0.
nanoseconds loopPause(const std::vector<nanoseconds>& timestamps) {
    if (timestamps.front() != nanoseconds::zero()) {
        return timestamps.front();
    }
    return timestamps.back() / static_cast<nanoseconds::rep>(timestamps.size());
}

// The interval that leads up to frame `next`.
nanoseconds intervalBefore(const std::vector<nanoseconds>& timestamps, std::size_t next) {
    return next > 0 ? timestamps[next] - timestamps[next - 1] : timestamps.front();
}

}  // namespace

struct PlaybackTimer::State {
    std::unique_ptr<StoppableThread> worker;
    std::condition_variable condition;
    std::mutex mutex;
    std::atomic<bool> looped{false};
    std::atomic<bool> paused{false};
    std::atomic<bool> skipDelayedFrames{true};
};

PlaybackTimer::PlaybackTimer() : state(std::make_unique<State>()) {}

PlaybackTimer::~PlaybackTimer() {
    if (state && state->worker) {
        stop();
    }
}

PlaybackTimer::PlaybackTimer(PlaybackTimer&& other) noexcept = default;

PlaybackTimer& PlaybackTimer::operator=(PlaybackTimer&& other) noexcept {
    if (this != &other) {
        if (state && state->worker) {
            stop();
        }
        state = std::move(other.state);
        callback = std::move(other.callback);
        timestamps = std::move(other.timestamps);
    }
    return *this;
}

void PlaybackTimer::setRangeTimestamps(const std::vector<nanoseconds>& newTimestamps, bool relativeToFirst) {
    timestamps = newTimestamps;
    if (relativeToFirst && !timestamps.empty()) {
        const nanoseconds first = timestamps.front();
        for (nanoseconds& t : timestamps) {
            t -= first;
        }
    }
    warnIfRunning(isRunning(), Log::Warning, "new timestamps");
}

void PlaybackTimer::setRangeTimestamps(const std::vector<double>& seconds, bool relativeToFirst) {
    std::vector<nanoseconds> converted;
    converted.reserve(seconds.size());
    for (double s : seconds) {
        converted.emplace_back(static_cast<std::int64_t>(s * 1e9));
    }
    setRangeTimestamps(converted, relativeToFirst);
}

void PlaybackTimer::setRangeConstantInterval(std::size_t numFrames, nanoseconds interval) {
    timestamps.resize(numFrames);
    for (std::size_t i = 0; i < numFrames; ++i) {
        timestamps[i] = interval * static_cast<nanoseconds::rep>(i + 1);
    }
    warnIfRunning(isRunning(), Log::Debug, "new timestamps");
}

void PlaybackTimer::setRangeConstantFps(std::size_t numFrames, double fps) {
    // 2^63: the first interval that no longer fits a signed 64-bit count.
    constexpr double kFirstTooLong = 9223372036854775808.0;
    const double interval = 1e9 / fps;
    if (!std::isfinite(fps) || fps <= 0.0 || !(interval < kFirstTooLong)) {
        ORVANTIS_LOG(Log::Error, kCategory, "Invalid frame rate.");
        return;
    }
    setRangeConstantInterval(numFrames, nanoseconds(static_cast<std::int64_t>(interval)));
}

const std::vector<nanoseconds>& PlaybackTimer::rangeTimestamps() const {
    return timestamps;
}

void PlaybackTimer::setCallback(const std::function<void(std::size_t)>& newCallback) {
    callback = newCallback;
    warnIfRunning(isRunning(), Log::Warning, "a new callback function");
}

void PlaybackTimer::setLooped(bool looped) {
    state->looped.store(looped);
}

bool PlaybackTimer::isLooped() const {
    return state->looped.load();
}

void PlaybackTimer::setSkipDelayedFrames(bool skip) {
    state->skipDelayedFrames.store(skip);
}

bool PlaybackTimer::isSkippingDelayedFrames() const {
    return state->skipDelayedFrames.load();
}

void PlaybackTimer::start(std::size_t startIndex) {
    if (isRunning()) {
        ORVANTIS_LOG(Log::Debug, kCategory, "Timer is already running.");
        return;
    }
    if (timestamps.empty()) {
        ORVANTIS_LOG(Log::Error, kCategory, "Set of timestamps is empty.");
        return;
    }
    if (!callback) {
        ORVANTIS_LOG(Log::Error, kCategory, "Callback function is empty.");
        return;
    }
    state->paused.store(false);
    // The thread works on its own copies; the state block outlives it (stop()
    // joins before the block goes) and does not move when the timer does.
    // A finished previous thread is destroyed (joined) only after the new one
    // has started.
    State* shared = state.get();
    std::unique_ptr<StoppableThread> previous;
    {
        // The timer thread takes the mutex before its first frame, so holding
        // it here publishes the thread object before any callback can run:
        // a callback may pause its own timer from the first frame on. A
        // previous thread has ended its loop and holds no lock.
        std::lock_guard<std::mutex> lock(state->mutex);
        previous = std::move(state->worker);
        state->worker = std::make_unique<StoppableThread>([shared, startIndex, range = timestamps, call = callback] {
            timerThread(*shared, startIndex, range, call);
        });
    }
}

void PlaybackTimer::stop() {
    if (!state->worker) {
        ORVANTIS_LOG(Log::Debug, kCategory, "Timer is not running.");
        return;
    }
    state->worker->requestStop();
    resume();  // wakes a paused timer thread so that it sees the stop request
    state->worker->join();
    state->worker.reset();
}

void PlaybackTimer::pause() {
    if (!state->worker) {
        ORVANTIS_LOG(Log::Error, kCategory, "Can not pause: timer is not running.");
        return;
    }
    state->paused.store(true);
}

void PlaybackTimer::resume() {
    if (!state->worker) {
        ORVANTIS_LOG(Log::Error, kCategory, "Can not resume: timer is not running.");
        return;
    }
    if (!state->paused.load()) {
        ORVANTIS_LOG(Log::Debug, kCategory, "Resume not needed: timer is not paused.");
        return;
    }
    state->paused.store(false);
    // Taking the mutex orders this wake-up after the timer thread's test of
    // the paused flag: it is either not yet tested or already waiting.
    std::lock_guard<std::mutex> lock(state->mutex);
    state->condition.notify_one();
}

bool PlaybackTimer::isRunning() const {
    return state->worker && state->worker->isRunning();
}

bool PlaybackTimer::isPaused() const {
    return state->worker && state->paused.load();
}

void PlaybackTimer::timerThread(State& state, std::size_t startIndex, const std::vector<nanoseconds>& timestamps,
                                const std::function<void(std::size_t)>& callback) {
    requestFinestTimerSlack();
    std::unique_lock<std::mutex> lock(state.mutex);
    const std::size_t n = timestamps.size();
    if (startIndex >= n) {
        ORVANTIS_LOG(Log::Error, kCategory, "Invalid start index, starting from the beginning.");
        startIndex = 0;
    }

    std::size_t next = startIndex;
    Clock::time_point due = Clock::now();  // the first frame fires at once
    while (!StoppableThread::isStopRequested()) {
        // Paused: fire nothing; after waking, the next frame is one of its
        // own intervals away.
        if (state.paused.load()) {
            state.condition.wait(lock);
            due = Clock::now() + intervalBefore(timestamps, next);
            continue;
        }

        // Waiting: sleep without the lock; stop, pause and resume take effect
        // when the sleep ends.
        const Clock::time_point now = Clock::now();
        const nanoseconds remaining = due - now;
        if (remaining > nanoseconds::zero()) {
            lock.unlock();
            std::this_thread::sleep_for(remaining);
            lock.lock();
            continue;
        }

        // Firing: the frame is due or late.
        std::size_t frame = next;
        if (state.skipDelayedFrames.load()) {
            frame = latestDueFrame(timestamps, next, -remaining);
        }
        const std::size_t previous = next;
        next = frame + 1;
        if (next >= n) {
            due = now + loopPause(timestamps);
            next = 0;
        } else {
            // Advance on the schedule, not from now: late frames do not shift later ones.
            due += timestamps[next] - timestamps[previous];
        }
        callback(frame);
        if (!state.looped.load() && next <= previous) {
            break;
        }
    }
}

}  // namespace Orvantis::Threading
