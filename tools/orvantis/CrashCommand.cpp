// `orvantis crash KIND`: crashes on purpose so that a person can see the
// fatal-exception report and the exit status (150, from exit(-106)).
#include "Command.h"

#include <OrvantisCore.h>

#include <cstdio>
#include <iostream>
#include <map>

namespace OrvantisTool {
namespace {

__attribute__((noinline)) int divideByZero(int numerator) {
    // Both operands opaque: GCC turns 1 / x into a comparison without idiv.
    volatile int dividend = numerator;
    volatile int zero = 0;
    return dividend / zero;
}

__attribute__((noinline)) void writeThroughNull() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

__attribute__((noinline)) int recurseForever(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return recurseForever(depth + 1) + frame[0];
}

__attribute__((noinline)) void executeIllegalInstruction() {
    __builtin_trap();
}

int runCrash(const Arguments& args) {
    const std::map<std::string, void (*)()> kinds = {
        {"divzero", [] { std::printf("%d\n", divideByZero(1)); }},
        {"segv", [] { writeThroughNull(); }},
        {"overflow", [] { std::printf("%d\n", recurseForever(0)); }},
        {"illegal", [] { executeIllegalInstruction(); }},
    };
    if (args.empty() || kinds.count(args[0]) == 0) {
        throw UsageError("KIND must be one of divzero, segv, overflow, illegal");
    }
    std::string logPath = (Orvantis::Filesystem::Path(Orvantis::Filesystem::Path::tempDirectory()) / "orvantis-crash.log").string();
    if (args.size() == 3 && args[1] == "--log") {
        logPath = args[2];
    } else if (args.size() != 1) {
        throw UsageError("unexpected arguments after KIND");
    }
    using namespace Orvantis;
    Log::init(Log::Trace, Log::Synchronous);
    Log::addSink(std::make_unique<Log::ConsoleSink>(Log::ConsoleSink::Colored | Log::ConsoleSink::Utf8));
    Log::addSink(std::make_unique<Log::FileSink>(logPath));
    std::cout << "The report also goes to " << logPath << "; the exit status will be 150.\n";
    Log::log(Log::Info, "orvantis crash", "crashing on purpose: " + args[0]);
    kinds.at(args[0])();
    std::cerr << "orvantis crash: the crash did not happen\n";
    return 1;
}

const Command::Registration registration{
    {"crash", "KIND [--log FILE]", "crash on purpose (divzero, segv, overflow, illegal) to show the report", &runCrash}};

}  // namespace
}  // namespace OrvantisTool
