#include "core/log/Log.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

using namespace Orvantis;
using OrvantisTest::Recording;
using OrvantisTest::RecordingSink;
using OrvantisTest::StdoutCapture;

constexpr int kFatalExitStatus = -106 & 0xFF;  // exit(-106) as the shell sees it

// Starts logging with one recording sink; ends it when the test ends.
class LogSession {
public:
    explicit LogSession(Log::Mode mode = Log::Synchronous, Log::Level level = Log::Trace)
        : recording(std::make_shared<Recording>()) {
        Log::init(level, mode);
        auto sink = std::make_unique<RecordingSink>(recording);
        sink_ = sink.get();
        Log::addSink(std::move(sink));
    }
    ~LogSession() {
        if (Log::isInitialized()) {
            Log::deinit();
        }
        Log::setGlobalLevel(Log::Trace);
    }
    std::shared_ptr<Recording> recording;
    Log::Sink* sink_ = nullptr;
};

class ThrowingSink : public Log::Sink {
protected:
    void flush() override {}
    void logImpl(const LogCapture& capture) override {
        if (capture.message == "throw") {
            throw std::runtime_error("sink failed");
        }
    }
};

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

TEST(LogFrontEnd, DeinitDestroysSinksAndKeepsGlobalLevel) {
    auto recording = std::make_shared<Recording>();
    Log::init(Log::Error, Log::Synchronous);
    Log::addSink(std::make_unique<RecordingSink>(recording));
    Log::deinit();
    EXPECT_TRUE(recording->destroyed);
    EXPECT_GE(recording->flushes, 1);
    EXPECT_EQ(Log::g_globalLevel, Log::Error);
    Log::setGlobalLevel(Log::Trace);
}

TEST(LogFrontEnd, GlobalLevelFiltersOnlyProducersThatTestIt) {
    LogSession session;
    Log::setGlobalLevel(Log::Error);
    Log::log(Log::Debug, "direct", "delivered");
    int formatted = 0;
    const auto count = [&formatted] { return ++formatted; };
    ORVANTIS_LOG(Log::Debug, "macro", "skipped " << count());
    ORVANTIS_LOG(Log::Error, "macro", "kept " << count());
    EXPECT_EQ(formatted, 1);
    EXPECT_EQ(session.recording->messages(), (std::vector<std::string>{"delivered", "kept 1"}));
}

TEST(LogFrontEnd, RecordCarriesLevelCategoryAndTime) {
    LogSession session;
    const auto before = std::chrono::system_clock::now();
    Log::log(Log::Warning, "Filesystem::Directory", "text");
    const auto after = std::chrono::system_clock::now();
    ASSERT_EQ(session.recording->records.size(), 1u);
    const auto& record = session.recording->records[0];
    EXPECT_EQ(record.level, Log::Warning);
    EXPECT_EQ(record.category, "Filesystem::Directory");
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
                Log::log(Log::Info, "", "before");
                Log::log(Log::Fatal, "", "the end");
                std::fputs("survived\n", stderr);
            },
            ::testing::ExitedWithCode(kFatalExitStatus), "got before\ngot the end\nflushed\n");
    }
}

TEST(LogAsynchronous, KeepsEachProducersOrderAndFlushDeliversAll) {
    LogSession session(Log::Asynchronous);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
        producers.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) {
                Log::log(Log::Info, std::to_string(t), std::to_string(i));
            }
        });
    }
    for (auto& p : producers) {
        p.join();
    }
    Log::flush();
    const int flushesAfterFirstFlush = session.recording->flushes;
    EXPECT_GE(flushesAfterFirstFlush, 1);

    std::lock_guard<std::mutex> lock(session.recording->mutex);
    ASSERT_EQ(session.recording->records.size(), static_cast<size_t>(kThreads * kPerThread));
    std::vector<int> next(kThreads, 0);
    for (const auto& r : session.recording->records) {
        const int t = std::stoi(r.category);
        EXPECT_EQ(std::stoi(r.message), next[t]++) << "producer " << t;
    }
}

TEST(LogAsynchronous, DeinitDeliversABurstBeforeReturning) {
    auto recording = std::make_shared<Recording>();
    Log::init(Log::Trace, Log::Asynchronous);
    Log::addSink(std::make_unique<RecordingSink>(recording));
    for (int i = 0; i < 5000; ++i) {
        Log::log(Log::Debug, "burst", std::to_string(i));
    }
    Log::deinit();
    EXPECT_TRUE(recording->destroyed);
    ASSERT_EQ(recording->records.size(), 5000u);
    EXPECT_EQ(recording->records.back().message, "4999");
}

TEST(LogAsynchronous, ThrowingSinkStopsThreadAndFlushDeliversTheRest) {
    LogSession session(Log::Asynchronous);
    Log::addSink(std::make_unique<ThrowingSink>());
    StdoutCapture capture;
    Log::log(Log::Info, "", "throw");
    // The recording sink comes first: once it has the record, the logger
    // thread is delivering it and is about to fail on the next sink.
    for (int i = 0; i < 1000 && session.recording->messages().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Log::log(Log::Info, "", "queued after the failure");
    Log::flush();  // delivered on this thread
    Log::deinit();
    EXPECT_NE(capture.text().find("Caught unhandled exception sink failed in async logger thread. Stopping logger."),
              std::string::npos);
    const auto messages = session.recording->messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages.front(), "throw");
    EXPECT_EQ(messages.back(), "queued after the failure");
}

}  // namespace
