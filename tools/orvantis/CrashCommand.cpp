// CrashCommand.cpp — `orvantis crash KIND`: crashes on purpose so that a
// person can see the fatal-exception report and the exit status (150, from
// exit(-106)). The report goes to the console and to a log file: --log FILE,
// or a fresh file in the temporary directory whose name is printed.
#include "Tool.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <map>

namespace OrvantisTool {
namespace {

// The faults are the point: sanitizer builds must let them happen.
__attribute__((noinline, no_sanitize("integer-divide-by-zero"))) int divideByZero(int numerator) {
    // Both operands opaque: GCC turns 1 / x into a comparison without idiv.
    volatile int dividend = numerator;
    volatile int zero = 0;
    return dividend / zero;
}

__attribute__((noinline, no_sanitize("null"))) void writeThroughNull() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) int recurseForever(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return recurseForever(depth + 1) + frame[0];
}
#pragma GCC diagnostic pop

__attribute__((noinline)) void executeIllegalInstruction() {
    __builtin_trap();
}

}  // namespace

// A new, private file "orvantis-WHAT-XXXXXX.log" in the temporary directory:
// nobody else's file is overwritten and no planted link is followed.
std::string freshLogFile(const std::string& what) {
    std::string name = Orvantis::Filesystem::Path::tempDirectory() + "/orvantis-" + what + "-XXXXXX.log";
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) {
        throw Failure("cannot create a log file in " + Orvantis::Filesystem::Path::tempDirectory());
    }
    close(fd);
    return name;
}

int runCrash(const std::vector<std::string>& args) {
    const std::map<std::string, void (*)()> kinds = {
        {"divzero", [] { std::printf("%d\n", divideByZero(1)); }},
        {"segv", [] { writeThroughNull(); }},
        {"overflow", [] { std::printf("%d\n", recurseForever(0)); }},
        {"illegal", [] { executeIllegalInstruction(); }},
    };
    const Arguments a =
        parse(args, {"KIND",
                     "Crashes on purpose with a console and a file sink registered, to show the\n"
                     "fatal-exception report. KIND: divzero, segv, overflow or illegal.",
                     {{"log", 0, "FILE", "the log file (default: a new one in $TMPDIR or /tmp)"}, colorOption},
                     1,
                     1});
    const std::string kind = a.operands[0];
    if (kinds.count(kind) == 0) {
        throw UsageError("KIND must be one of divzero, segv, overflow, illegal");
    }
    using namespace Orvantis;
    const auto console = consoleOptions(a);
    const std::string logPath = a.has("log") ? a.value("log") : freshLogFile("crash");
    Log::init(Log::Trace, Log::Synchronous);
    Log::addSink(std::make_unique<Log::ConsoleSink>(console));
    Log::addSink(std::make_unique<Log::FileSink>(logPath));
    std::cout << "The report also goes to " << logPath << "; the exit status will be 150." << std::endl;
    Log::log(Log::Info, "orvantis crash", "crashing on purpose: " + kind);
    kinds.at(kind)();
    throw Failure("the crash did not happen");
}

}  // namespace OrvantisTool
