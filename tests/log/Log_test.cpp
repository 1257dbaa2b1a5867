#include "core/log/Log.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using namespace Orvantis;
using OrvantisTest::LogSession;
using OrvantisTest::Record;
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

// A second init and a second deinit only warn; removing a sink destroys it at once, deinit the rest in order.
TEST(Log, LifecycleAndSinkList) {
    struct OrderedSink : OrvantisTest::RecordingSink {
        OrderedSink(std::vector<int>* log, int id)
            : RecordingSink(std::make_shared<OrvantisTest::Recording>()), log_(log), id_(id) {}
        ~OrderedSink() override { log_->push_back(id_); }
        std::vector<int>* log_;
        int id_;
    };
    std::vector<int> destroyed;
    StdoutCapture capture;
    Log::init(Log::Error, Log::Synchronous);
    Log::init(Log::Debug, Log::Asynchronous);
    for (int id = 1; id <= 3; ++id) {
        Log::addSink(std::make_unique<OrderedSink>(&destroyed, id));
    }
    Log::addSink(nullptr);
    OrderedSink stranger(&destroyed, 0);
    Log::removeSink(stranger);
    Log::removeSink(*Log::getSinks()[1]);
    EXPECT_EQ(destroyed, std::vector<int>{2});
    Log::log(Log::Error, "", "delivered to real sinks only");
    Log::deinit();
    Log::deinit();
    EXPECT_EQ(destroyed, (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(Log::g_globalLevel, Log::Error);
    EXPECT_EQ(capture.text(),
              "[Orvantis::Log::init] Warning: Logging already initialized, subsequent calls to init() have no effect.\n"
              "[Orvantis::Log::deinit] Warning: Logging not initialized\n");
    Log::setGlobalLevel(Log::Trace);
}

// Records reach the sinks as logged, stamped with the time; only the helper macro tests the level. A sink's
// exception reaches the caller of a synchronous log, which leaves the logger usable.
TEST(Log, RecordsReachTheSinksAsLogged) {
    LogSession session;
    Log::setGlobalLevel(Log::Error);
    const auto before = std::chrono::time_point_cast<Log::Sink::Duration>(std::chrono::system_clock::now());
    Log::log(Log::Debug, "direct", "delivered");
    EXPECT_GE(session.recording->records.at(0).time, before);
    EXPECT_LE(session.recording->records.at(0).time, std::chrono::system_clock::now());
    int formatted = 0;
    ORVANTIS_LOG(Log::Debug, "macro", "skipped " << ++formatted);
    ORVANTIS_LOG(Log::Error, "macro", "kept " << ++formatted);
    Log::addSink(std::make_unique<OrvantisTest::ThrowingSink>());
    EXPECT_THROW(Log::log(Log::Info, "", "throw"), std::runtime_error);
    Log::log(Log::Info, "", "after");  // would deadlock if the mutex stayed locked
    EXPECT_EQ(session.takeRecords(), (std::vector<Record>{{Log::Debug, "direct", "delivered"},
                                                          {Log::Error, "macro", "kept 1"},
                                                          {Log::Info, "", "throw"},
                                                          {Log::Info, "", "after"}}));
}

// A sink's report goes to the other sinks after the record; two sinks that report on every record, reports
// included, give up after a few rounds, each record bringing as many reports as the one before.
TEST(Log, SinkReportsGoToTheOtherSinks) {
    struct EchoSink : Log::Sink {
        void flush() override {}
        void logImpl(const LogCapture& c) override { Log::log(Log::Error, "echo", c.message); }
    };
    LogSession session;
    Log::addSink(std::make_unique<EchoSink>());
    Log::log(Log::Info, "", "first");
    EXPECT_EQ(session.takeRecords(), (std::vector<Record>{{Log::Info, "", "first"}, {Log::Error, "echo", "first"}}));
    Log::addSink(std::make_unique<EchoSink>());
    Log::log(Log::Info, "", "second");
    const size_t perRecord = session.takeRecords().size();
    Log::log(Log::Info, "", "third");
    EXPECT_EQ(session.takeRecords().size(), perRecord);
}

void startLogging(Log::Mode mode) {
#ifndef _WIN32  // on Windows the test's time limit ends a hang
    ::alarm(30);
#endif
    Log::init(Log::Trace, mode);
}

// In both modes a Fatal record ends the process with -106 once every sink has it and was flushed, also when a
// sink throws on it while two threads log Fatal among others inside the logger and its sinks (nothing is destroyed
// under the others' feet: the sanitizer builds check that). Ending without deinit is a clean exit.
TEST(Log, FatalEndsTheProcess) {
    struct StderrSink : Log::Sink {
        void flush() override { std::fputs("flushed\n", stderr); }
        void logImpl(const LogCapture& c) override { std::fprintf(stderr, "got %s\n", c.message.c_str()); }
    };
    for (const Log::Mode mode : {Log::Synchronous, Log::Asynchronous}) {
        SCOPED_TRACE(mode);
        for (int run = 0; run < 5; ++run) {
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
                ::testing::ExitedWithCode(kFatalExitStatus),
                "got before\n(got n\n)*got throw\n(got [a-z]+\n)*flushed\n");
        }
        EXPECT_EXIT(
            {
                startLogging(mode);
                Log::addSink(std::make_unique<StderrSink>());
                Log::log(Log::Info, "", "m");
                Log::flush();
                std::exit(0);  // the logger thread waits for records
            },
            ::testing::ExitedWithCode(0), "");
    }
}

}  // namespace
