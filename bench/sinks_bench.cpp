// Records per second through the server sinks, each beside its spdlog peer:
//   - RotatingFileSink (1 MiB files, 3 kept, text or JSON lines) against
//     spdlog's rotating_file_sink_mt flushed on every record (ours hands
//     every record to the system at once);
//   - SyslogSink through syslog(3) against spdlog's syslog_sink_mt, both to
//     /dev/log; when nothing listens there, the benchmark binds a datagram
//     socket of its own at /dev/log for the run and drains it;
//   - JournalSink into a draining socket of its own (spdlog's journal sink
//     needs libsystemd, which this build does not use).
// Synchronous mode, one thread, the same 60-byte message everywhere.
#include <OrvantisCore.h>

#include <benchmark/benchmark.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/syslog_sink.h>
#include <spdlog/spdlog.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace Orvantis;

const std::string kCategory = "Bench::Sink";
const std::string kMessage = "sixty bytes of message text, as one record in the log file!!";  // 60 bytes
constexpr uint64_t kMaxBytes = 1 << 20;
constexpr unsigned kMaxFiles = 3;

std::string scratchFile(const std::string& name) {
    return Filesystem::Path::tempDirectory() + "/orvantis-bench-" + std::to_string(::getpid()) + "-" + name;
}

void removeRotated(const std::string& file) {
    std::remove(file.c_str());
    for (unsigned i = 1; i <= kMaxFiles; ++i) {
        std::remove((file + "." + std::to_string(i)).c_str());
    }
}

// A datagram socket bound at `path` whose datagrams a thread reads and drops.
class DrainingSocket {
public:
    explicit DrainingSocket(const std::string& socketPath) : path(socketPath) {
        fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        timeval wait{0, 100000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        reader = std::thread([this] {
            static char buffer[1 << 16];
            while (!stop.load()) {
                (void)::recv(fd, buffer, sizeof buffer, 0);
            }
        });
    }
    ~DrainingSocket() {
        stop.store(true);
        reader.join();
        ::close(fd);
        if (bound) {
            std::remove(path.c_str());
        }
    }
    bool bound = false;

private:
    std::string path;
    int fd = -1;
    std::atomic<bool> stop{false};
    std::thread reader;
};

// Something listening at /dev/log for the syslog benchmarks.
std::unique_ptr<DrainingSocket> devLogListener() {
    return std::filesystem::exists("/dev/log") ? nullptr : std::make_unique<DrainingSocket>("/dev/log");
}

void runOrvantis(benchmark::State& state, std::unique_ptr<Log::Sink> sink) {
    Log::init(Log::Trace, Log::Synchronous);
    Log::addSink(std::move(sink));
    for (auto _ : state) {
        Log::log(Log::Info, kCategory, kMessage);
    }
    state.SetItemsProcessed(state.iterations());
    Log::deinit();
}

void runSpdlog(benchmark::State& state, std::shared_ptr<spdlog::sinks::sink> sink, const std::string& pattern) {
    auto logger = std::make_shared<spdlog::logger>("Bench::Sink", std::move(sink));
    logger->set_level(spdlog::level::trace);
    logger->flush_on(spdlog::level::trace);
    logger->set_pattern(pattern);
    for (auto _ : state) {
        logger->info(kMessage);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Orvantis_RotatingFileSink(benchmark::State& state) {
    const std::string file = scratchFile("rotating.log");
    runOrvantis(state, std::make_unique<Log::RotatingFileSink>(file, kMaxBytes, kMaxFiles, Log::FileSink::Truncate));
    removeRotated(file);
}
BENCHMARK(BM_Orvantis_RotatingFileSink)->UseRealTime();

void BM_Orvantis_RotatingFileSinkJson(benchmark::State& state) {
    const std::string file = scratchFile("rotating.jsonl");
    runOrvantis(state, std::make_unique<Log::RotatingFileSink>(file, kMaxBytes, kMaxFiles,
                                                               Log::FileSink::Truncate | Log::FileSink::Json));
    removeRotated(file);
}
BENCHMARK(BM_Orvantis_RotatingFileSinkJson)->UseRealTime();

void BM_Spdlog_RotatingFileSink(benchmark::State& state) {
    const std::string file = scratchFile("spdlog-rotating.log");
    runSpdlog(state, std::make_shared<spdlog::sinks::rotating_file_sink_mt>(file, kMaxBytes, kMaxFiles),
              "%Y-%m-%d %T.%e\t%l\t[%n] %v");
    removeRotated(file);
}
BENCHMARK(BM_Spdlog_RotatingFileSink)->UseRealTime();

void BM_Orvantis_SyslogSink(benchmark::State& state) {
    const auto listener = devLogListener();
    runOrvantis(state, std::make_unique<Log::SyslogSink>("orvantis-bench", LOG_USER));
}
BENCHMARK(BM_Orvantis_SyslogSink)->UseRealTime();

void BM_Spdlog_SyslogSink(benchmark::State& state) {
    const auto listener = devLogListener();
    runSpdlog(state, std::make_shared<spdlog::sinks::syslog_sink_mt>("spdlog-bench", LOG_PID, LOG_USER, false),
              "[%n] %v");
}
BENCHMARK(BM_Spdlog_SyslogSink)->UseRealTime();

void BM_Orvantis_JournalSink(benchmark::State& state) {
    const std::string socket = scratchFile("journal.sock");
    DrainingSocket journal(socket);
    runOrvantis(state, std::make_unique<Log::JournalSink>("orvantis-bench", socket));
}
BENCHMARK(BM_Orvantis_JournalSink)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
