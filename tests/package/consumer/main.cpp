// A host program built against an installed OrvantisCore: it sees only the
// umbrella header and the exported target. <sys/sysmacros.h> comes first on
// purpose: its major() and minor() macros must not break the library's headers.
#include <sys/sysmacros.h>

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
    std::puts("consumer: ok");
    return 0;
}
