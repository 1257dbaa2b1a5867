// `orvantis demo`: a guided tour of the library. Logging is set up first with
// a coloured console sink and a file sink that keeps the tour's records in
// the system's temporary directory; every subsystem's step runs in between;
// logging is shut down last and the log file's path is printed.
#include "Command.h"

#include <OrvantisCore.h>

#include <iostream>

namespace OrvantisTool {
namespace {

int runDemo(const Arguments& args) {
    if (!args.empty()) {
        throw UsageError("takes no arguments");
    }
    using namespace Orvantis;
    std::cout << "OrvantisCore " << ORVANTIS_VERSION_TEXT << " - a short tour\n";
    demoHeading("Logging: init");
    const std::string logFile = Filesystem::Path::tempDirectory() + "/orvantis-demo.log";
    std::cout << "Log::init(Trace, Synchronous), a ConsoleSink(Colored | Utf8)\n"
              << "and a FileSink(\"" << logFile << "\", Truncate) that keeps every record of the tour.\n";
    Log::init(Log::Trace, Log::Synchronous);
    Log::addSink(std::make_unique<Log::ConsoleSink>(Log::ConsoleSink::Colored | Log::ConsoleSink::Utf8));
    Log::addSink(std::make_unique<Log::FileSink>(logFile, Log::FileSink::Truncate));

    for (const DemoStep& step : demoSteps()) {
        demoHeading(step.title);
        step.run();
    }

    demoHeading("Logging: deinit");
    Log::deinit();
    std::cout << "Log::isInitialized() = " << std::boolalpha << Log::isInitialized() << "\n"
              << "After deinit, records fall back to plain standard output:\n";
    Log::log(Log::Info, "Demo", "this line was printed by the fallback");
    std::cout << "\nThe tour's " << Filesystem::File(logFile).readText().size() << " records are in " << logFile
              << "\n";
    return 0;
}

const Command::Registration registration{{"demo", "", "a guided tour of the library", &runDemo}};

}  // namespace
}  // namespace OrvantisTool
