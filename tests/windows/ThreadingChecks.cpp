// The threading tools on Windows threads: a stoppable thread sees its stop
// request, a pool runs every task once, the playback timer fires each frame
// in order.
#include "Harness.h"

#include "core/threading/PlaybackTimer.h"
#include "core/threading/StoppableThread.h"
#include "core/threading/ThreadPool.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace Orvantis::Threading;

WTEST(StoppableThreadEndsOnRequest) {
    std::atomic<bool> sawStop{false};
    StoppableThread worker([&sawStop] {
        while (!StoppableThread::isStopRequested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        sawStop = true;
    });
    worker.requestStop();
    worker.join();
    WCHECK(!worker.isRunning());
    WCHECK(sawStop.load());
}

WTEST(ThreadPoolRunsEveryTaskOnce) {
    std::atomic<int> sum{0};
    std::vector<std::future<int>> results;
    {
        ThreadPool pool(3);
        for (int i = 1; i <= 1000; ++i) {
            results.push_back(pool.enqueue([&sum, i] {
                sum += i;
                return i * 2;
            }));
        }
    }
    WCHECK_EQ(sum.load(), 500500);
    WCHECK_EQ(results[999].get(), 2000);
}

WTEST(PlaybackTimerFiresFramesInOrder) {
    std::mutex mutex;
    std::vector<std::size_t> frames;
    PlaybackTimer timer;
    timer.setRangeConstantFps(10, 200.0);
    timer.setSkipDelayedFrames(false);
    timer.setCallback([&](std::size_t index) {
        std::lock_guard<std::mutex> lock(mutex);
        frames.push_back(index);
    });
    timer.start(0);
    for (int i = 0; i < 200 && timer.isRunning(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    timer.stop();
    std::lock_guard<std::mutex> lock(mutex);
    WCHECK_EQ(frames.size(), std::size_t{10});
    for (std::size_t i = 0; i < frames.size(); ++i) {
        WCHECK_EQ(frames[i], i);
    }
}

}  // namespace
