#include "core/log/Log.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using namespace Orvantis;
using OrvantisTest::Recording;
using OrvantisTest::RecordingSink;
using OrvantisTest::StdoutCapture;
using OrvantisTest::LogSession;
using OrvantisTest::ThrowingSink;

constexpr int kFatalExitStatus = -106 & 0xFF;  // exit(-106) as the shell sees it

TEST(LogFallback, WarnsOnceThenPrintsBracketedLines) {
    // The warned flag lives for the whole process, so check it in a fresh one.
    EXPECT_EXIT(
        {
            StdoutCapture capture;
            Log::log(Log::Info, "", "x");
            Log::log(Log::Fatal, "Cat", "still running");
            const std::string expected =
                "[Orvantis::Log::log] Warning: Logging not initialized, messages are printed to console only.\n"
                "[] x\n"
                "[Cat] still running\n";
            std::exit(capture.text() == expected ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(LogFrontEnd, RepeatedInitAndDeinitOnlyWarn) {
    {
        LogSession session(Log::Synchronous, Log::Warning);
        StdoutCapture capture;
        Log::init(Log::Debug, Log::Asynchronous);
        EXPECT_EQ(capture.text(),
                  "[Orvantis::Log::init] Warning: Logging already initialized, subsequent calls to init() have no "
                  "effect.\n");
        EXPECT_EQ(Log::g_globalLevel, Log::Warning);
        // Still synchronous: the record is there as soon as log returns.
        Log::log(Log::Info, "", "sync");
        EXPECT_EQ(session.recording->messages(), std::vector<std::string>{"sync"});
    }
    StdoutCapture capture;
    Log::deinit();
    EXPECT_EQ(capture.text(), "[Orvantis::Log::deinit] Warning: Logging not initialized\n");
    EXPECT_FALSE(Log::isInitialized());
}

TEST(LogFrontEnd, SinksWithoutLoggerAreDestroyedAndListsEmpty) {
    auto recording = std::make_shared<Recording>();
    Log::addSink(std::make_unique<RecordingSink>(recording));
    EXPECT_TRUE(recording->destroyed);
    EXPECT_TRUE(Log::getSinks().empty());
    Log::flush();  // no logger: nothing happens, nothing throws
}

TEST(LogFrontEnd, RemoveSinkByIdentityDestroysItAtOnce) {
    LogSession session;
    auto other = std::make_shared<Recording>();
    auto second = std::make_unique<RecordingSink>(other);
    Log::Sink* secondPtr = second.get();
    Log::addSink(std::move(second));
    Log::addSink(std::make_unique<RecordingSink>(std::make_shared<Recording>()));
    ASSERT_EQ(Log::getSinks().size(), 3u);

    RecordingSink stranger(std::make_shared<Recording>());
    Log::removeSink(stranger);
    EXPECT_EQ(Log::getSinks().size(), 3u);

    Log::removeSink(*secondPtr);
    EXPECT_TRUE(other->destroyed);
    const auto sinks = Log::getSinks();
    ASSERT_EQ(sinks.size(), 2u);
    EXPECT_EQ(sinks[0], session.sink_);  // order of the rest kept
}

TEST(LogFrontEnd, DeinitDestroysSinksInOrderKeepsLevelAndIgnoresNull) {
    std::vector<int> destroyed;
    struct OrderedSink : Log::Sink {
        OrderedSink(std::vector<int>* log, int id) : log_(log), id_(id) {}
        ~OrderedSink() override { log_->push_back(id_); }
        void flush() override {}
        void logImpl(const LogCapture&) override {}
        std::vector<int>* log_;
        int id_;
    };
    for (const Log::Mode mode : {Log::Synchronous, Log::Asynchronous}) {
        destroyed.clear();
        Log::init(Log::Error, mode);
        for (int id = 1; id <= 3; ++id) {
            Log::addSink(std::make_unique<OrderedSink>(&destroyed, id));
        }
        Log::addSink(nullptr);
        EXPECT_EQ(Log::getSinks().size(), 3u);
        Log::log(Log::Info, "", "delivered to real sinks only");
        Log::deinit();
        EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(Log::g_globalLevel, Log::Error);
    }
    Log::setGlobalLevel(Log::Trace);
}

TEST(LogFrontEnd, RecordsCarryTheirFieldsAndOnlyTestingProducersSkipThem) {
    LogSession session;
    Log::setGlobalLevel(Log::Error);
    const auto before = std::chrono::system_clock::now();
    Log::log(Log::Debug, "direct", "delivered");
    const auto after = std::chrono::system_clock::now();
    int formatted = 0;
    const auto count = [&formatted] { return ++formatted; };
    ORVANTIS_LOG(Log::Debug, "macro", "skipped " << count());
    ORVANTIS_LOG(Log::Error, "macro", "kept " << count());
    EXPECT_EQ(formatted, 1);
    ASSERT_EQ(session.recording->messages(), (std::vector<std::string>{"delivered", "kept 1"}));
    const auto& record = session.recording->records[0];
    EXPECT_EQ(record.level, Log::Debug);
    EXPECT_EQ(record.category, "direct");
    EXPECT_GE(record.time, std::chrono::time_point_cast<Log::Sink::Duration>(before));
    EXPECT_LE(record.time, after);
}

TEST(LogFrontEnd, SynchronousSinkExceptionReachesCallerAndLoggerStaysUsable) {
    LogSession session;
    Log::addSink(std::make_unique<ThrowingSink>());
    EXPECT_THROW(Log::log(Log::Info, "", "throw"), std::runtime_error);
    Log::log(Log::Info, "", "after");  // would deadlock if the mutex stayed locked
    Log::flush();
    EXPECT_EQ(session.recording->messages(), (std::vector<std::string>{"throw", "after"}));
}

// A sink that throws on the Fatal record (registered after the other, which
// must still be flushed) does not keep the process alive.
TEST(LogFatal, FlushesEverySinkAndExitsWithMinus106) {
    for (const Log::Mode mode : {Log::Synchronous, Log::Asynchronous}) {
        EXPECT_EXIT(
            {
                struct StderrSink : Log::Sink {
                    void flush() override { std::fputs("flushed\n", stderr); }
                    void logImpl(const LogCapture& c) override { std::fprintf(stderr, "got %s\n", c.message.c_str()); }
                };
                Log::init(Log::Trace, mode);
                Log::addSink(std::make_unique<StderrSink>());
                Log::addSink(std::make_unique<ThrowingSink>());
                Log::log(Log::Info, "", "before");
                Log::log(Log::Fatal, "", "throw");
                std::fputs("survived\n", stderr);
            },
            ::testing::ExitedWithCode(kFatalExitStatus), "got before\ngot throw\nflushed\n");
    }
}

}  // namespace
