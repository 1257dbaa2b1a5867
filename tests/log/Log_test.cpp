#include "core/log/Log.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using namespace Orvantis;
using OrvantisTest::LogSession;
using OrvantisTest::Recording;
using OrvantisTest::RecordingSink;
using OrvantisTest::StdoutCapture;

#ifdef _WIN32
constexpr int kFatalExitStatus = -106;  // exit(-106): the process's 32-bit exit code, read back signed
#else
constexpr int kFatalExitStatus = -106 & 0xFF;  // exit(-106) as the shell sees it
#endif

TEST(Log, FallbackWarnsOnceThenPrintsBracketedLines) {
    // The warned flag lives for the whole process, so check it in a fresh one.
    EXPECT_EXIT(
        {
            StdoutCapture capture;
            Log::log(Log::Info, "", "x");
            Log::log(Log::Fatal, "Cat", "still running");
            std::exit(capture.text() ==
                              "[Orvantis::Log::log] Warning: Logging not initialized, messages are printed "
                              "to console only.\n[] x\n[Cat] still running\n"
                          ? 0
                          : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Log, RepeatedInitAndDeinitOnlyWarn) {
    {
        LogSession session(Log::Synchronous, Log::Warning);
        StdoutCapture capture;
        Log::init(Log::Debug, Log::Asynchronous);
        EXPECT_EQ(capture.text(),
                  "[Orvantis::Log::init] Warning: Logging already initialized, subsequent calls to "
                  "init() have no effect.\n");
        EXPECT_EQ(Log::g_globalLevel, Log::Warning);
        Log::log(Log::Info, "", "sync");  // still synchronous: there as soon as log returns
        EXPECT_EQ(session.recording->messages(), std::vector<std::string>{"sync"});
    }
    StdoutCapture capture;
    Log::deinit();
    EXPECT_EQ(capture.text(), "[Orvantis::Log::deinit] Warning: Logging not initialized\n");
    auto recording = std::make_shared<Recording>();
    Log::addSink(std::make_unique<RecordingSink>(recording));  // no logger: destroyed at once
    EXPECT_TRUE(recording->destroyed);
}

// A process that ends without deinit while the logger thread waits for records exits cleanly.
TEST(Log, ExitWithoutDeinitEndsCleanly) {
    EXPECT_EXIT(
        {
#ifndef _WIN32  // on Windows the test's time limit ends a hang
            ::alarm(10);
#endif
            Log::init(Log::Trace, Log::Asynchronous);
            Log::addSink(std::make_unique<RecordingSink>(std::make_shared<Recording>()));
            Log::log(Log::Info, "", "m");
            Log::flush();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Log, SinkListAndDeinitOrder) {
    struct OrderedSink : RecordingSink {
        OrderedSink(std::vector<int>* log, int id) : RecordingSink(std::make_shared<Recording>()), log_(log), id_(id) {}
        ~OrderedSink() override { log_->push_back(id_); }
        std::vector<int>* log_;
        int id_;
    };
    for (const Log::Mode mode : {Log::Synchronous, Log::Asynchronous}) {
        SCOPED_TRACE(mode);
        std::vector<int> destroyed;
        Log::init(Log::Error, mode);
        for (int id = 1; id <= 3; ++id) {
            Log::addSink(std::make_unique<OrderedSink>(&destroyed, id));
        }
        Log::addSink(nullptr);
        RecordingSink stranger(std::make_shared<Recording>());
        Log::removeSink(stranger);
        Log::removeSink(*Log::getSinks()[1]);
        EXPECT_EQ(destroyed, std::vector<int>{2});  // removed and destroyed at once
        Log::log(Log::Error, "", "delivered to real sinks only");
        Log::deinit();
        EXPECT_EQ(destroyed, (std::vector<int>{2, 1, 3}));
        EXPECT_EQ(Log::g_globalLevel, Log::Error);
        EXPECT_TRUE(Log::getSinks().empty());
    }
    Log::setGlobalLevel(Log::Trace);
}

TEST(Log, RecordFieldsAndTheMacroLevelGate) {
    LogSession session;
    Log::setGlobalLevel(Log::Error);
    const auto before = std::chrono::system_clock::now();
    Log::log(Log::Debug, "direct", "delivered");
    const auto after = std::chrono::system_clock::now();
    int formatted = 0;
    ORVANTIS_LOG(Log::Debug, "macro", "skipped " << ++formatted);
    ORVANTIS_LOG(Log::Error, "macro", "kept " << ++formatted);
    ASSERT_EQ(session.recording->messages(), (std::vector<std::string>{"delivered", "kept 1"}));
    const auto& record = session.recording->records[0];
    EXPECT_EQ(record.level, Log::Debug);
    EXPECT_EQ(record.category, "direct");
    EXPECT_GE(record.time, std::chrono::time_point_cast<Log::Sink::Duration>(before));
    EXPECT_LE(record.time, after);
}

TEST(Log, SynchronousSinkExceptionReachesCallerAndLoggerStaysUsable) {
    LogSession session;
    Log::addSink(std::make_unique<OrvantisTest::ThrowingSink>());
    EXPECT_THROW(Log::log(Log::Info, "", "throw"), std::runtime_error);
    Log::log(Log::Info, "", "after");  // would deadlock if the mutex stayed locked
    EXPECT_EQ(session.recording->messages(), (std::vector<std::string>{"throw", "after"}));
}

// Two sinks that report on every record, reports included, give up after a few rounds: each record
// brings the same number of reports, none left over from the one before.
TEST(Log, SinkReportsSettleInBoundedRounds) {
    LogSession session;
    struct EchoSink : Log::Sink {
        void flush() override {}
        void logImpl(const LogCapture& c) override { Log::log(Log::Error, "echo", c.message); }
    };
    Log::addSink(std::make_unique<EchoSink>());
    Log::addSink(std::make_unique<EchoSink>());
    Log::log(Log::Info, "", "first");
    const size_t perRecord = session.takeRecords().size();
    Log::log(Log::Info, "", "second");
    EXPECT_EQ(session.takeRecords().size(), perRecord);
}

// A Fatal record ends the process with -106 in both modes, also when a sink throws on it (registered after
// another, which must still be flushed) or when two threads log Fatal among others inside the logger and its
// sinks (nothing destroyed under the others' feet: the sanitizer builds check that).
TEST(Log, FatalFlushesEverySinkAndExits) {
    struct StderrSink : Log::Sink {
        void flush() override { std::fputs("flushed\n", stderr); }
        void logImpl(const LogCapture& c) override { std::fprintf(stderr, "got %s\n", c.message.c_str()); }
    };
    struct Case {
        const char* what;
        void (*run)();
        const char* printed;
        int runs;
    };
    const Case cases[] = {
        {"a throwing sink",
         [] {
             Log::addSink(std::make_unique<StderrSink>());
             Log::addSink(std::make_unique<OrvantisTest::ThrowingSink>());
             Log::log(Log::Info, "", "before");
             Log::log(Log::Fatal, "", "throw");
         },
         "got before\ngot throw\nflushed\n", 1},
        {"two Fatal records among other threads",
         [] {
             Log::addSink(std::make_unique<RecordingSink>(std::make_shared<Recording>()));
             std::vector<std::thread> producers;
             for (int t = 0; t < 4; ++t) {
                 producers.emplace_back([t] {
                     while (true) {
                         Log::log(t < 2 ? Log::Info : Log::Fatal, "", "n");
                     }
                 });
             }
             for (auto& t : producers) {
                 t.join();
             }
         },
         "", 5},
    };
    for (const Case& c : cases) {
        for (const Log::Mode mode : {Log::Synchronous, Log::Asynchronous}) {
            SCOPED_TRACE(std::string(c.what) + (mode == Log::Asynchronous ? " asynchronous" : " synchronous"));
            for (int run = 0; run < c.runs; ++run) {
                EXPECT_EXIT(
                    {
#ifndef _WIN32  // on Windows the test's time limit ends a hang
                        ::alarm(30);
#endif
                        Log::init(Log::Trace, mode);
                        c.run();
                        std::fputs("survived\n", stderr);
                    },
                    ::testing::ExitedWithCode(kFatalExitStatus), c.printed);
            }
        }
    }
}

}  // namespace
