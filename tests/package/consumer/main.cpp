// A host program built against an installed OrvantisCore: it sees only the
// umbrella header and the exported target, and logs through the logger thread
// to a sink of its own. <sys/sysmacros.h> (glibc) comes first on purpose: its
// major() and minor() macros must not break the library's headers.
#ifndef _WIN32
#include <sys/sysmacros.h>
#endif

#include <OrvantisCore.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

bool signalsWork();  // signals.cpp

struct Collector : Orvantis::Log::Sink {
    std::vector<std::string>* lines;
    explicit Collector(std::vector<std::string>* out) : lines(out) {}
    void flush() override {}
    void logImpl(const LogCapture& c) override { lines->push_back(c.category + "|" + c.message); }
};

int main() {
    using namespace Orvantis;
    std::vector<std::string> lines;
    Log::init(Log::Info, Log::Asynchronous);
    Log::addSink(std::make_unique<Collector>(&lines));
    ORVANTIS_LOG(Log::Warning, "host", "answer=" << 42);
    Log::deinit();
    const bool ok = lines == std::vector<std::string>{"host|answer=42"} && Utils::Version(1, 2, 3).minor == 2 &&
                    Filesystem::Path("logs/host.log").extension() == "log" && signalsWork();
    std::puts(ok ? "consumer: ok" : "consumer: the library did not behave as expected");
    return ok ? 0 : 1;
}
