#include "core/log/Log.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using namespace Orvantis;
using OrvantisTest::kFatalExitStatus;

void startLogging(Log::Mode mode) {
#ifndef _WIN32  // on Windows the test's time limit ends a hang
    ::alarm(30);
#endif
    Log::init(Log::Trace, mode);
}

// Before init each record is printed as a bracketed line after a warning given once, whatever its level (only the
// helper macro tests the level, and formats nothing it skips), and a Fatal record does not end the process. Ending
// without deinit while the logger thread waits for records is a clean exit. (The warned flag lives for the whole
// process, so all this runs in a fresh one.)
TEST(Log, FallbackThenExitWithoutDeinit) {
    EXPECT_EXIT(
        {
            std::string printed;
            {
                OrvantisTest::StdoutCapture capture;  // gone (with its file) before the exit
                Log::setGlobalLevel(Log::Error);
                Log::log(Log::Info, "", "x");
                int formatted = 0;
                ORVANTIS_LOG(Log::Debug, "Cat", "skipped " << ++formatted);
                ORVANTIS_LOG(Log::Fatal, "Cat", "still running " << ++formatted);
                printed = capture.text();
            }
            startLogging(Log::Asynchronous);
            Log::addSink(std::make_unique<OrvantisTest::RecordingSink>(std::make_shared<OrvantisTest::Recording>()));
            std::exit(printed !=
                      "[Orvantis::Log::log] Warning: Logging not initialized, messages are printed to "
                      "console only.\n[] x\n[Cat] still running 1\n");
        },
        ::testing::ExitedWithCode(0), "");
}

// removeSink destroys the sink it is given before it returns, and keeps the others in order.
TEST(Log, RemoveSinkDestroysThatSinkAlone) {
    OrvantisTest::LogSession session;
    Log::addSink(std::make_unique<OrvantisTest::ThrowingSink>());
    Log::addSink(std::make_unique<OrvantisTest::ThrowingSink>());
    const std::vector<Log::Sink*> sinks = Log::getSinks();
    Log::removeSink(*sinks.at(0));
    EXPECT_TRUE(session.recording->destroyed);
    EXPECT_EQ(Log::getSinks(), (std::vector<Log::Sink*>{sinks[1], sinks[2]}));
}

// In both modes a Fatal record ends the process with -106 once every sink has it and was flushed, also when a
// sink throws on it while two threads log Fatal among others inside the logger and its sinks (nothing is destroyed
// under the others' feet: the sanitizer builds check that).
TEST(Log, FatalEndsTheProcess) {
#ifdef _WIN32  // GoogleTest's regular expressions on Windows have no groups
    const char* kDeliveredThenFlushed = "got throw\n";
#else
    const char* kDeliveredThenFlushed = "got before\n(got n\n)*got throw\n(got [a-z]+\n)*flushed\n";
#endif
    struct StderrSink : Log::Sink {
        void flush() override { std::fputs("flushed\n", stderr); }
        void logImpl(const LogCapture& c) override { std::fprintf(stderr, "got %s\n", c.message.c_str()); }
    };
    for (const Log::Mode mode : {Log::Synchronous, Log::Asynchronous}) {
        SCOPED_TRACE(mode);
        EXPECT_EXIT(
            {
                startLogging(mode);
                Log::addSink(std::make_unique<StderrSink>());
                Log::addSink(std::make_unique<OrvantisTest::ThrowingSink>());
                Log::log(Log::Info, "", "before");
                std::vector<std::thread> producers;
                for (int t = 0; t < 4; ++t) {
                    producers.emplace_back([t] {
                        while (true) {
                            Log::log(t < 2 ? Log::Info : Log::Fatal, "", t < 2 ? "n" : "throw");
                        }
                    });
                }
                producers[0].join();
            },
            ::testing::ExitedWithCode(kFatalExitStatus), kDeliveredThenFlushed);
    }
}

}  // namespace
