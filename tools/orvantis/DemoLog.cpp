// The logging step of `orvantis demo`: levels, categories and filters.
#include "Command.h"

#include <OrvantisCore.h>

#include <iostream>

namespace OrvantisTool {
namespace {

using namespace Orvantis;

void logEveryLevel(const std::string& category) {
    Log::log(Log::Trace, category, "a Trace record");
    Log::log(Log::Debug, category, "a Debug record");
    Log::log(Log::Info, category, "an Info record");
    Log::log(Log::Warning, category, "a Warning record");
    Log::log(Log::Error, category, "an Error record");
}

// Replaces the registered console sink with one that carries `configure`'s
// filters; other sinks (the tour's log file) stay.
template <class Configure>
void useConsoleSink(Configure configure) {
    for (Log::Sink* sink : Log::getSinks()) {
        if (dynamic_cast<Log::ConsoleSink*>(sink) != nullptr) {
            Log::removeSink(*sink);
        }
    }
    auto sink = std::make_unique<Log::ConsoleSink>(Log::ConsoleSink::Colored | Log::ConsoleSink::Utf8);
    configure(*sink);
    Log::addSink(std::move(sink));
}

void runLogStep() {
    std::cout << "One record of each level, without a category, then with one.\n"
                 "(Fatal is left out: it would end the process with status 150.)\n";
    logEveryLevel("");
    logEveryLevel("Demo::Levels");

    std::cout << "\nWhitelist {Warning, \"Filesystem\"}: only Warning and above of matching categories.\n";
    useConsoleSink([](Log::Sink& s) { s.addWhitelistFilter(Log::Warning, "Filesystem"); });
    logEveryLevel("Filesystem::File");
    Log::log(Log::Error, "Threading", "an Error record of another category (dropped)");

    std::cout << "\nBlacklist {Info, \"Filesystem\"}: hides Trace to Info of matching categories.\n";
    useConsoleSink([](Log::Sink& s) { s.addBlacklistFilter(Log::Info, "Filesystem"); });
    logEveryLevel("Filesystem::Directory");
    Log::log(Log::Debug, "Threading", "a Debug record of another category (kept)");

    std::cout << "\nThe producer convention: ORVANTIS_LOG formats nothing below the global level.\n";
    Log::setGlobalLevel(Log::Warning);
    useConsoleSink([](Log::Sink&) {});
    ORVANTIS_LOG(Log::Debug, "Demo", "never formatted");
    ORVANTIS_LOG(Log::Warning, "Demo", "global level is Warning; " << 2 << " + " << 2 << " = " << 2 + 2);
    Log::setGlobalLevel(Log::Trace);
}

const DemoStep::Registration registration{{10, "Logging: levels, categories, filters", &runLogStep}};

}  // namespace
}  // namespace OrvantisTool
