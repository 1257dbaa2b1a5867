// A host program built against an installed OrvantisCore: it sees only the
// umbrella header and the exported target. It logs to a sink of its own and
// to a file, and lists the file's directory. <sys/sysmacros.h> (glibc) comes
// first on purpose: its major() and minor() macros must not break the
// library's headers.
#ifndef _WIN32
#include <sys/sysmacros.h>
#endif

#include <OrvantisCore.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

bool signalsWork();  // signals.cpp

namespace {

struct Collector : Orvantis::Log::Sink {
    std::vector<std::string>* lines;
    explicit Collector(std::vector<std::string>* out) : lines(out) {}
    void flush() override {}
    void logImpl(const LogCapture& c) override { lines->push_back(c.category + "|" + c.message); }
};

}  // namespace

int main() {
    using namespace Orvantis;
    std::vector<std::string> lines;
    Log::init(Log::Debug, Log::Synchronous);
    auto sink = std::make_unique<Collector>(&lines);
    sink->addBlacklistFilter(Log::Info, "noisy");
    Log::addSink(std::move(sink));
    Log::log(Log::Info, "noisy", "dropped");
    Log::log(Log::Warning, "noisy", "kept");
    ORVANTIS_LOG(Log::Error, "host", "answer=" << 42);
    Log::deinit();
    const std::vector<std::string> expected = {"noisy|kept", "host|answer=42"};
    if (Utils::Version(1, 2, 3).minor != 2 || !signalsWork()) {
        std::fprintf(stderr, "consumer: version or signals failed\n");
        return 1;
    }
    if (lines != expected) {
        std::fprintf(stderr, "consumer: unexpected records (%zu)\n", lines.size());
        return 1;
    }

    // A log file in a fresh directory, found again by listing that directory.
    Filesystem::Directory folder(Filesystem::Path(Filesystem::Path::tempDirectory(), "orvantis-consumer"));
    folder.removeRecursive();
    const Filesystem::Path logPath(folder.path().string(), "host.log");
    Log::init(Log::Info, Log::Asynchronous);
    Log::addSink(std::make_unique<Log::FileSink>(logPath.string(), Log::FileSink::Truncate));
    Log::log(Log::Warning, "host", "to the file");
    Log::deinit();
    const auto listed = folder.scan([](const Filesystem::Path& p) { return p.extension() == "log"; });
    const std::vector<std::string> written = Filesystem::File(logPath).readText();
    folder.removeRecursive();
    const std::string tail = "\tWARN \t[host] to the file";
    if (listed.size() != 1 || listed[0] != logPath || written.size() != 1 || written[0].size() < tail.size() ||
        written[0].compare(written[0].size() - tail.size(), tail.size(), tail) != 0) {
        std::fprintf(stderr, "consumer: the log file was not listed or not written as expected\n");
        return 1;
    }
    std::puts("consumer: ok");
    return 0;
}
