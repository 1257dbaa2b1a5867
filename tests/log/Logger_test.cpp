// The asynchronous logger under load: many producers, flushes during
// flat-out production, sinks that come and go, failing sinks, and Fatal
// records that meet other threads.
#include "core/log/Log.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <thread>

namespace {

using namespace Orvantis;
using OrvantisTest::LogSession;
using OrvantisTest::RecordingSink;

#ifdef _WIN32
constexpr int kFatalExitStatus = -106;  // the process's 32-bit exit code
#else
constexpr int kFatalExitStatus = -106 & 0xFF;
#endif

// Starts `threads` threads that log at level(t) until `done`, or `count` records "<i>" under category "<t>".
std::vector<std::thread> produce(int threads, std::atomic<bool>& done, Log::Level (*level)(int), int count = -1) {
    std::vector<std::thread> started;
    for (int t = 0; t < threads; ++t) {
        started.emplace_back([&done, level, t, count] {
            for (int i = 0; i != count && !done; ++i) {
                Log::log(level(t), std::to_string(t), std::to_string(i));
            }
        });
    }
    return started;
}

Log::Level info(int) {
    return Log::Info;
}

// Sinks come and go while eight producers log: every record arrives once, complete and in order.
TEST(AsyncLogger, ManyProducersDeliverEveryRecordOnceInOrder) {
    constexpr int kThreads = 8, kCount = 50000;
    LogSession session(Log::Asynchronous);
    std::atomic<bool> never{false};
    std::vector<std::thread> producers = produce(kThreads, never, info, kCount);
    for (int i = 0; i < 200; ++i) {
        auto temporary = std::make_unique<RecordingSink>(std::make_shared<OrvantisTest::Recording>());
        Log::Sink* handle = temporary.get();
        Log::addSink(std::move(temporary));
        Log::removeSink(*handle);
    }
    for (auto& p : producers) {
        p.join();
    }
    Log::deinit();
    const auto records = session.takeRecords();
    ASSERT_EQ(records.size(), static_cast<size_t>(kThreads) * kCount);
    std::vector<int> next(kThreads, 0);
    for (const auto& r : records) {
        ASSERT_EQ(std::stoi(r.message), next[std::stoi(r.category)]++) << "producer " << r.category;
    }
}

// Producers faster than the logger thread: each flush still gets its turn,
// writes the marker queued before it, and returns (a hang meets the alarm).
TEST(AsyncLogger, FlushReturnsUnderFlatOutProducers) {
    EXPECT_EXIT(
        {
#ifndef _WIN32  // on Windows the test's time limit ends a hang
            ::alarm(20);
#endif
            struct SlowSink : Log::Sink {  // a microsecond per record
                std::atomic<int> markers{0};
                void flush() override {}
                void logImpl(const LogCapture& c) override {
                    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(1);
                    while (std::chrono::steady_clock::now() < until) {}
                    markers += c.category == "main" ? 1 : 0;
                }
            };
            Log::init(Log::Trace, Log::Asynchronous);
            auto sink = std::make_unique<SlowSink>();
            SlowSink* slow = sink.get();
            Log::addSink(std::move(sink));
            std::atomic<bool> done{false};
            std::vector<std::thread> noise = produce(8, done, [](int) { return Log::Debug; });
            bool inOrder = true;
            for (int round = 0; round < 3; ++round) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                Log::log(Log::Info, "main", "marker");
                Log::flush();
                inOrder = inOrder && slow->markers == round + 1;
            }
            done = true;
            for (auto& t : noise) {
                t.join();
            }
            std::_Exit(inOrder ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// The record that makes the sink throw is lost alone: the thread stops, the
// next flush throws once, and what follows still reaches the sinks.
TEST(AsyncLogger, ThrowingRecordIsLostAloneAndFatalStillEndsTheProcess) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";  // a forked child would lack the logger thread
    LogSession session(Log::Asynchronous);
    Log::addSink(std::make_unique<OrvantisTest::ThrowingSink>());
    OrvantisTest::StdoutCapture capture;
    Log::log(Log::Info, "", "throw");
    // Once the recording sink (first) has the record, the thread is about to fail on the next sink.
    for (int i = 0; i < 1000 && session.recording->messages().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Log::log(Log::Info, "", "throw");
    Log::log(Log::Info, "", "after the failure");
    EXPECT_THROW(Log::flush(), std::runtime_error);
    Log::flush();  // the rest, delivered on this thread
    EXPECT_NE(capture.text().find("Caught unhandled exception sink failed in async logger thread. Stopping logger."),
              std::string::npos);
    EXPECT_EQ(session.recording->messages(), (std::vector<std::string>{"throw", "throw", "after the failure"}));

    Log::log(Log::Info, "", "throw");
    EXPECT_EXIT(
        {
            try {
                Log::deinit();  // meets the throwing record
            } catch (const std::runtime_error&) {}
            Log::log(Log::Fatal, "", "throw");
        },
        ::testing::ExitedWithCode(kFatalExitStatus), "");
    EXPECT_THROW(Log::flush(), std::runtime_error);  // this process still has the record
}

}  // namespace
