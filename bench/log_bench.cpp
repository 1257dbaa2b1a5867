// Per-call cost of synchronous logging into a sink that drops everything,
// against spdlog's synchronous logger with its null_sink_mt, and the cost of
// a record suppressed by the global level.
#include <OrvantisCore.h>

#include <benchmark/benchmark.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <string>

namespace {

using namespace Orvantis;

const std::string kCategory = "Bench::Sync1";  // 12 bytes
const std::string kMessage = "forty bytes of message text for the test";  // 40 bytes

class DroppingSink : public Log::Sink {
protected:
    void flush() override {}
    void logImpl(const LogCapture& capture) override { benchmark::DoNotOptimize(capture.message.data()); }
};

void BM_Orvantis_SyncLog(benchmark::State& state) {
    Log::init(Log::Trace, Log::Synchronous);
    Log::addSink(std::make_unique<DroppingSink>());
    for (auto _ : state) {
        Log::log(Log::Info, kCategory, kMessage);
    }
    Log::deinit();
}
BENCHMARK(BM_Orvantis_SyncLog);

void BM_Spdlog_SyncLog(benchmark::State& state) {
    auto logger = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::trace);
    for (auto _ : state) {
        // The category goes in as text, as a category prefix would.
        logger->info("[{}] {}", kCategory, kMessage);
    }
}
BENCHMARK(BM_Spdlog_SyncLog);

void BM_Spdlog_SyncLogPlain(benchmark::State& state) {
    auto logger = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::trace);
    for (auto _ : state) {
        logger->info(kMessage);
    }
}
BENCHMARK(BM_Spdlog_SyncLogPlain);

void BM_Orvantis_SuppressedRecord(benchmark::State& state) {
    Log::init(Log::Error, Log::Synchronous);
    Log::addSink(std::make_unique<DroppingSink>());
    int value = 42;
    for (auto _ : state) {
        ORVANTIS_LOG(Log::Debug, kCategory, "value " << value);
        benchmark::DoNotOptimize(value);
    }
    Log::deinit();
    Log::setGlobalLevel(Log::Trace);
}
BENCHMARK(BM_Orvantis_SuppressedRecord);

void BM_Spdlog_SuppressedRecord(benchmark::State& state) {
    auto logger = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::err);
    int value = 42;
    for (auto _ : state) {
        logger->debug("value {}", value);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_Spdlog_SuppressedRecord);

}  // namespace

BENCHMARK_MAIN();
