// The threading step of `orvantis demo`: one second of playback at 25 fps,
// then a small thread pool with results and an exception coming back through
// futures.
#include "Command.h"

#include <OrvantisCore.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <iostream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace OrvantisTool {
namespace {

using namespace Orvantis;
using Clock = std::chrono::steady_clock;

void playOneSecond() {
    std::cout << "PlaybackTimer: 25 frames at 25 fps, frame 0 at once, then one every 40 ms.\n";
    Threading::PlaybackTimer timer;
    timer.setRangeConstantFps(25, 25.0);
    const Clock::time_point started = Clock::now();
    timer.setCallback([started](std::size_t frame) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
        std::cout << "  frame " << (frame < 10 ? " " : "") << frame << " at " << ms << " ms\n" << std::flush;
    });
    timer.start(0);
    while (timer.isRunning()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::cout << "The range has played to its end: isRunning() = " << std::boolalpha << timer.isRunning()
              << ". stop() releases the finished thread (its Debug record follows):\n";
    timer.stop();
    std::cout << "Misuse is logged and otherwise ignored, e.g. pause() on a stopped timer:\n";
    timer.pause();
}

std::uint64_t sumOfSquares(std::uint64_t from, std::uint64_t to) {
    std::uint64_t sum = 0;
    for (std::uint64_t i = from; i < to; ++i) {
        sum += i * i;
    }
    return sum;
}

void runSmallPool() {
    Threading::ThreadPool pool(2);
    std::cout << "\nThreadPool with " << pool.numThreads() << " workers: four slices of a sum of squares.\n";
    std::vector<std::future<std::uint64_t>> parts;
    for (std::uint64_t slice = 0; slice < 4; ++slice) {
        parts.push_back(pool.enqueue(sumOfSquares, slice * 250000, (slice + 1) * 250000));
    }
    auto failing = pool.enqueue([]() -> int { throw std::runtime_error("this task failed"); });
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::uint64_t part = parts[i].get();
        std::cout << "  slice " << i << ": " << part << "\n";
        total += part;
    }
    std::cout << "  sum of i*i for i < 1000000 = " << total << "\n";
    try {
        failing.get();
    } catch (const std::exception& e) {
        std::cout << "A task's exception comes back through its future: \"" << e.what() << "\"\n";
    }
    pool.join();
    std::cout << "join() drained the queue: " << pool.numWaitingTasks() << " tasks waiting.\n";
}

void runThreadingStep() {
    playOneSecond();
    runSmallPool();
}

const DemoStep::Registration registration{{60, "Threading: playback timer and thread pool", &runThreadingStep}};

}  // namespace
}  // namespace OrvantisTool
