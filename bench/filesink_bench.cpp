// Log files and whole-file I/O.
//
// Records per second through Log::log in Synchronous mode into one FileSink
// (which hands every record to the system at once), from 1 and 2 threads,
// against spdlog's basic_file_sink_mt flushed on every record, with the same
// 60-byte message, a similar line layout and files in the same directory.
// Then File::readBinary / writeBinary of 64 MiB against a plain
// std::ifstream / std::ofstream doing the same.
#include <OrvantisCore.h>

#include <benchmark/benchmark.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

namespace {

using namespace Orvantis;

const std::string kCategory = "Bench::File";
const std::string kMessage = "sixty bytes of message text, as one record in the log file!!";  // 60 bytes

// A file name in the system's temporary directory, unique to this process.
std::string scratchFile(const std::string& name) {
    return Filesystem::Path::tempDirectory() + "/orvantis-bench-" + std::to_string(::getpid()) + "-" + name;
}

void BM_Orvantis_FileSink(benchmark::State& state) {
    const std::string file = scratchFile("orvantis.log");
    if (state.thread_index() == 0) {
        Log::init(Log::Trace, Log::Synchronous);
        Log::addSink(std::make_unique<Log::FileSink>(file, Log::FileSink::Truncate));
    }
    for (auto _ : state) {
        Log::log(Log::Info, kCategory, kMessage);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        Log::deinit();
        std::remove(file.c_str());
    }
}
BENCHMARK(BM_Orvantis_FileSink)->Threads(1)->Threads(2)->UseRealTime();

std::shared_ptr<spdlog::logger> spdlogFileLogger;

void BM_Spdlog_FileSinkFlushEveryRecord(benchmark::State& state) {
    const std::string file = scratchFile("spdlog.log");
    if (state.thread_index() == 0) {
        auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(file, true);
        spdlogFileLogger = std::make_shared<spdlog::logger>("bench", sink);
        spdlogFileLogger->set_level(spdlog::level::trace);
        spdlogFileLogger->flush_on(spdlog::level::trace);
        // The same layout: local time with milliseconds, level, category, message.
        spdlogFileLogger->set_pattern("%Y-%m-%d %T.%e\t%l\t[%n] %v");
    }
    for (auto _ : state) {
        spdlogFileLogger->info(kMessage);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        spdlogFileLogger.reset();
        std::remove(file.c_str());
    }
}
BENCHMARK(BM_Spdlog_FileSinkFlushEveryRecord)->Threads(1)->Threads(2)->UseRealTime();

constexpr size_t kFileBytes = size_t(64) << 20;

// Writes back what earlier benchmarks left dirty in the page cache, so that
// each file benchmark starts from the same state instead of paying for the
// one before it.
void settle() {
    ::sync();
}

const std::string& fileContent() {
    static const std::string content = [] {
        std::string bytes(kFileBytes, '\0');
        uint32_t x = 2463534242u;
        for (char& c : bytes) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            c = static_cast<char>(x);
        }
        return bytes;
    }();
    return content;
}

void BM_Orvantis_WriteBinary64MiB(benchmark::State& state) {
    const std::string file = scratchFile("write.bin");
    const std::string& content = fileContent();
    // The view only reads: the same bytes as the ofstream baseline writes.
    const ByteBufferView bytes(const_cast<char*>(content.data()), content.size());
    Filesystem::File target(file);
    settle();
    for (auto _ : state) {
        if (!target.writeBinary(bytes)) {
            state.SkipWithError("writeBinary failed");
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileBytes));
    std::remove(file.c_str());
}
BENCHMARK(BM_Orvantis_WriteBinary64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Ofstream_Write64MiB(benchmark::State& state) {
    const std::string file = scratchFile("write.bin");
    const std::string& content = fileContent();
    settle();
    for (auto _ : state) {
        std::ofstream out(file, std::ios_base::binary | std::ios_base::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            state.SkipWithError("ofstream write failed");
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileBytes));
    std::remove(file.c_str());
}
BENCHMARK(BM_Ofstream_Write64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Orvantis_ReadBinary64MiB(benchmark::State& state) {
    const std::string file = scratchFile("read.bin");
    std::ofstream(file, std::ios_base::binary) << fileContent();
    const Filesystem::File source(file);
    settle();
    for (auto _ : state) {
        const ByteBuffer content = source.readBinary();
        if (content.size() != kFileBytes) {
            state.SkipWithError("readBinary failed");
        }
        benchmark::DoNotOptimize(content.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileBytes));
    std::remove(file.c_str());
}
BENCHMARK(BM_Orvantis_ReadBinary64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Ifstream_Read64MiB(benchmark::State& state) {
    const std::string file = scratchFile("read.bin");
    std::ofstream(file, std::ios_base::binary) << fileContent();
    settle();
    for (auto _ : state) {
        std::ifstream in(file, std::ios_base::binary | std::ios_base::ate);
        const std::streamoff size = in.tellg();
        in.seekg(0);
        std::unique_ptr<char[]> content(new char[static_cast<size_t>(size)]);
        in.read(content.get(), size);
        if (in.gcount() != static_cast<std::streamsize>(kFileBytes)) {
            state.SkipWithError("ifstream read failed");
        }
        benchmark::DoNotOptimize(content.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileBytes));
    std::remove(file.c_str());
}
BENCHMARK(BM_Ifstream_Read64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
