// Asynchronous logging: producer-side latency and end-to-end throughput,
// against spdlog's async logger (queue of 8192, block policy) with a null
// sink, in the same run.
//
// Latency: each producer thread makes batches of 20 calls with a short pause
// between batches; a call's latency is its batch's time / 20. The counters
// p50, p99 and p999 are in nanoseconds per call.
#include <OrvantisCore.h>

#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Orvantis;
using Clock = std::chrono::steady_clock;

const std::string kCategory = "Bench::Async";  // 12 bytes
const std::string kMessage = "forty bytes of message text for the test";  // 40 bytes

constexpr int kBatch = 20;
constexpr int kBatchesPerThread = 20000;

class DroppingSink : public Log::Sink {
protected:
    void flush() override {}
    void logImpl(const LogCapture& capture) override { benchmark::DoNotOptimize(capture.message.data()); }
};

void pause(std::chrono::nanoseconds length) {
    const auto until = Clock::now() + length;
    while (Clock::now() < until) {}
}

// Runs `logOnce` in batches on `threads` producers and reports percentiles.
void measureLatency(benchmark::State& state, int threads, const std::function<void()>& logOnce) {
    std::vector<double> perCall;
    for (auto _ : state) {
        std::vector<std::vector<double>> samples(threads);
        std::vector<std::thread> producers;
        for (int t = 0; t < threads; ++t) {
            producers.emplace_back([&, t] {
                samples[t].reserve(kBatchesPerThread);
                for (int b = 0; b < kBatchesPerThread; ++b) {
                    const auto start = Clock::now();
                    for (int i = 0; i < kBatch; ++i) {
                        logOnce();
                    }
                    const auto elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
                    samples[t].push_back(elapsed / kBatch);
                    pause(std::chrono::microseconds(5));
                }
            });
        }
        for (auto& p : producers) {
            p.join();
        }
        for (auto& s : samples) {
            perCall.insert(perCall.end(), s.begin(), s.end());
        }
    }
    std::sort(perCall.begin(), perCall.end());
    const auto at = [&](double q) { return perCall[static_cast<size_t>(q * (perCall.size() - 1))]; };
    state.counters["p50_ns"] = at(0.50);
    state.counters["p99_ns"] = at(0.99);
    state.counters["p999_ns"] = at(0.999);
}

void BM_Orvantis_AsyncLatency(benchmark::State& state) {
    Log::init(Log::Trace, Log::Asynchronous);
    Log::addSink(std::make_unique<DroppingSink>());
    measureLatency(state, static_cast<int>(state.range(0)), [] { Log::log(Log::Info, kCategory, kMessage); });
    Log::deinit();
}
BENCHMARK(BM_Orvantis_AsyncLatency)->Arg(1)->Arg(2)->Iterations(1)->UseRealTime();

void BM_Spdlog_AsyncLatency(benchmark::State& state) {
    spdlog::init_thread_pool(8192, 1);
    auto logger = std::make_shared<spdlog::async_logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>(),
                                                         spdlog::thread_pool(), spdlog::async_overflow_policy::block);
    measureLatency(state, static_cast<int>(state.range(0)), [&] { logger->info("[{}] {}", kCategory, kMessage); });
    logger.reset();
    spdlog::shutdown();
}
BENCHMARK(BM_Spdlog_AsyncLatency)->Arg(1)->Arg(2)->Iterations(1)->UseRealTime();

constexpr int kThroughputRecords = 1000000;

void BM_Orvantis_AsyncThroughput(benchmark::State& state) {
    for (auto _ : state) {
        Log::init(Log::Trace, Log::Asynchronous);
        Log::addSink(std::make_unique<DroppingSink>());
        for (int i = 0; i < kThroughputRecords; ++i) {
            Log::log(Log::Info, kCategory, kMessage);
        }
        Log::deinit();  // returns once every record was delivered
    }
    state.counters["records_per_s"] =
        benchmark::Counter(static_cast<double>(kThroughputRecords) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Orvantis_AsyncThroughput)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Spdlog_AsyncThroughput(benchmark::State& state) {
    for (auto _ : state) {
        spdlog::init_thread_pool(8192, 1);
        auto logger =
            std::make_shared<spdlog::async_logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>(),
                                                   spdlog::thread_pool(), spdlog::async_overflow_policy::block);
        for (int i = 0; i < kThroughputRecords; ++i) {
            logger->info("[{}] {}", kCategory, kMessage);
        }
        logger.reset();
        spdlog::shutdown();  // joins the pool after it drained the queue
    }
    state.counters["records_per_s"] =
        benchmark::Counter(static_cast<double>(kThroughputRecords) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Spdlog_AsyncThroughput)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
