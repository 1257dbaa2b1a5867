// Threading benchmarks; results and how to read them are in bench/RESULTS.md.
//
// Timer lateness: 1,200 frames at 120 fps (10 s per run). Each call's
// lateness is its steady-clock time minus its due time, the due times being
// the first call's time plus k frame intervals. Three players:
//   PlaybackTimer          the library's timer (its thread asks for 1 ns slack)
//   SleepLoop/defaultSlack the same schedule as a bare sleep_for loop on a
//                          thread with the kernel's default slack (50 us)
//   SleepLoop/finestSlack  that loop with 1 ns slack, for comparison
// Counters are in microseconds: p50_us, p99_us, max_us; dropped counts frames
// the timer skipped.
//
// Pool throughput: 1,000,000 empty tasks submitted from one thread, each with
// a future, two workers; the pool is created and joined inside the timing.
// Peer: boost::asio::thread_pool with boost::asio::post of a
// std::packaged_task.
//
// Mixed work: 1,000 tasks that each spin for 0 to 100 us (fixed seed), two
// workers, submitted with futures; the wall time runs from the first submit
// until the last task ends. vs_ideal is that time divided by the ideal (total
// work / 2).
#include <OrvantisCore.h>
#include <benchmark/benchmark.h>

#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <future>
#include <random>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

using namespace Orvantis;
using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

// ---- timer lateness ------------------------------------------------------

constexpr std::size_t kFrames = 1200;
constexpr double kFps = 120.0;

struct FrameCalls {
    std::vector<std::size_t> frames;
    std::vector<Clock::time_point> times;

    FrameCalls() {
        frames.reserve(kFrames);
        times.reserve(kFrames);
    }
    void record(std::size_t frame) {
        times.push_back(Clock::now());
        frames.push_back(frame);
    }
};

long currentTimerSlack() {
#ifdef __linux__
    return prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL);
#else
    return -1;
#endif
}

double percentileUs(std::vector<std::int64_t> sortedNs, double p) {
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sortedNs.size())));
    return static_cast<double>(sortedNs[std::max<std::size_t>(rank, 1) - 1]) / 1000.0;
}

void reportLateness(benchmark::State& state, const FrameCalls& calls, nanoseconds interval, long slack) {
    std::vector<std::int64_t> lateness;
    lateness.reserve(calls.times.size());
    for (std::size_t i = 0; i < calls.times.size(); ++i) {
        const Clock::time_point due =
            calls.times.front() + interval * static_cast<nanoseconds::rep>(calls.frames[i] - calls.frames.front());
        lateness.push_back((calls.times[i] - due).count());
    }
    std::sort(lateness.begin(), lateness.end());
    state.counters["p50_us"] = percentileUs(lateness, 50);
    state.counters["p99_us"] = percentileUs(lateness, 99);
    state.counters["max_us"] = static_cast<double>(lateness.back()) / 1000.0;
    state.counters["dropped"] = static_cast<double>(kFrames - calls.frames.size());
    state.counters["slack_ns"] = static_cast<double>(slack);
}

void BM_TimerLateness_PlaybackTimer(benchmark::State& state) {
    for (auto _ : state) {
        FrameCalls calls;
        long slack = -1;
        std::promise<void> lastFrame;  // the caller sleeps until then, as the loop's caller does
        Threading::PlaybackTimer timer;
        timer.setRangeConstantFps(kFrames, kFps);
        timer.setCallback([&](std::size_t frame) {
            calls.record(frame);
            if (frame == 0) {
                slack = currentTimerSlack();
            }
            if (frame + 1 == kFrames) {
                lastFrame.set_value();
            }
        });
        timer.start(0);
        lastFrame.get_future().wait();
        timer.stop();
        reportLateness(state, calls, timer.rangeTimestamps().front(), slack);
    }
}

// The timer's schedule as a bare loop: absolute due times, sleep_for the rest.
void BM_TimerLateness_SleepLoop(benchmark::State& state) {
    const bool finest = state.range(0) != 0;
    const nanoseconds interval(static_cast<std::int64_t>(1e9 / kFps));
    for (auto _ : state) {
        FrameCalls calls;
        long slack = -1;
        std::thread player([&] {
#ifdef __linux__
            if (finest) {
                prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
            }
#endif
            slack = currentTimerSlack();
            Clock::time_point due = Clock::now();
            for (std::size_t frame = 0; frame < kFrames;) {
                const nanoseconds remaining = due - Clock::now();
                if (remaining > nanoseconds::zero()) {
                    std::this_thread::sleep_for(remaining);
                    continue;
                }
                due += interval;
                calls.record(frame++);
            }
        });
        player.join();
        reportLateness(state, calls, interval, slack);
    }
}

BENCHMARK(BM_TimerLateness_PlaybackTimer)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TimerLateness_SleepLoop)
    ->ArgName("finestSlack")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- pool throughput -----------------------------------------------------

constexpr std::size_t kEmptyTasks = 1000000;

void BM_PoolEmptyTasks_Orvantis(benchmark::State& state) {
    std::vector<std::future<void>> futures;
    futures.reserve(kEmptyTasks);
    for (auto _ : state) {
        futures.clear();
        Threading::ThreadPool pool(2);
        for (std::size_t i = 0; i < kEmptyTasks; ++i) {
            futures.push_back(pool.enqueue([] {}));
        }
        for (auto& f : futures) {
            f.get();
        }
        pool.join();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kEmptyTasks));
}

void BM_PoolEmptyTasks_AsioThreadPool(benchmark::State& state) {
    std::vector<std::future<void>> futures;
    futures.reserve(kEmptyTasks);
    for (auto _ : state) {
        futures.clear();
        boost::asio::thread_pool pool(2);
        for (std::size_t i = 0; i < kEmptyTasks; ++i) {
            std::packaged_task<void()> task([] {});
            futures.push_back(task.get_future());
            boost::asio::post(pool, std::move(task));
        }
        for (auto& f : futures) {
            f.get();
        }
        pool.join();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kEmptyTasks));
}

BENCHMARK(BM_PoolEmptyTasks_Orvantis)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PoolEmptyTasks_AsioThreadPool)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- mixed work ----------------------------------------------------------

constexpr std::size_t kMixedTasks = 1000;

std::vector<nanoseconds> mixedWork() {
    std::mt19937 random(42);
    std::uniform_int_distribution<int> micros(0, 100);
    std::vector<nanoseconds> work;
    for (std::size_t i = 0; i < kMixedTasks; ++i) {
        work.push_back(std::chrono::microseconds(micros(random)));
    }
    return work;
}

void spinFor(nanoseconds duration) {
    const Clock::time_point end = Clock::now() + duration;
    while (Clock::now() < end) {}
}

template <class Submit>
void runMixed(benchmark::State& state, Submit submit) {
    const std::vector<nanoseconds> work = mixedWork();
    nanoseconds total{0};
    for (nanoseconds w : work) {
        total += w;
    }
    std::vector<std::future<void>> futures;
    futures.reserve(kMixedTasks);
    nanoseconds wall{0};
    for (auto _ : state) {
        // The caller sleeps once, until the last task ends, rather than once
        // per future: its own wake-ups would otherwise be counted as the pool's.
        std::atomic<std::size_t> left{kMixedTasks};
        std::promise<void> allDone;
        const Clock::time_point start = Clock::now();
        futures.clear();
        for (nanoseconds w : work) {
            futures.push_back(submit([w, &left, &allDone] {
                spinFor(w);
                if (left.fetch_sub(1) == 1) {
                    allDone.set_value();
                }
            }));
        }
        allDone.get_future().wait();
        wall += Clock::now() - start;
        for (auto& f : futures) {
            f.get();
        }
    }
    const nanoseconds ideal = total / 2 * static_cast<nanoseconds::rep>(state.iterations());
    state.counters["vs_ideal"] = static_cast<double>(wall.count()) / static_cast<double>(ideal.count());
    state.counters["ideal_ms"] = std::chrono::duration<double, std::milli>(total / 2).count();
}

void BM_PoolMixedWork_Orvantis(benchmark::State& state) {
    Threading::ThreadPool pool(2);
    runMixed(state, [&](auto task) { return pool.enqueue(std::move(task)); });
}

void BM_PoolMixedWork_AsioThreadPool(benchmark::State& state) {
    boost::asio::thread_pool pool(2);
    runMixed(state, [&](auto task) {
        std::packaged_task<void()> packaged(std::move(task));
        auto future = packaged.get_future();
        boost::asio::post(pool, std::move(packaged));
        return future;
    });
    pool.join();
}

BENCHMARK(BM_PoolMixedWork_Orvantis)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PoolMixedWork_AsioThreadPool)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // Stopping a finished timer logs a Debug record; keep it off the output.
    Log::setGlobalLevel(Log::Warning);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
