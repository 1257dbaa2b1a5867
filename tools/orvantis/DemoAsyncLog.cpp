// The asynchronous part of `orvantis demo`: producers on several threads only
// queue their records; the logger thread writes them.
#include "Command.h"

#include <OrvantisCore.h>

#include <iostream>
#include <thread>
#include <vector>

namespace OrvantisTool {
namespace {

using namespace Orvantis;

void startLogging(Log::Mode mode) {
    Log::deinit();
    Log::init(Log::Trace, mode);
    Log::addSink(std::make_unique<Log::ConsoleSink>(Log::ConsoleSink::Colored | Log::ConsoleSink::Utf8));
}

void runAsyncStep() {
    std::cout << "Log::init(Trace, Asynchronous): three threads log; the logger thread writes.\n";
    startLogging(Log::Asynchronous);
    std::vector<std::thread> producers;
    for (int t = 1; t <= 3; ++t) {
        producers.emplace_back([t] {
            for (int i = 1; i <= 2; ++i) {
                Log::log(Log::Info, "Demo::Thread" + std::to_string(t), "record " + std::to_string(i));
            }
        });
    }
    for (auto& p : producers) {
        p.join();
    }
    Log::flush();  // every queued record is written before flush returns
    std::cout << "Log::flush() returned: all six records are out. Back to Synchronous.\n";
    startLogging(Log::Synchronous);
}

const DemoStep::Registration registration{{15, "Logging: asynchronous", &runAsyncStep}};

}  // namespace
}  // namespace OrvantisTool
