// The asynchronous logger under load: many producers, flushes and
// de-initialisation during bursts, sinks that come and go, a failing sink.
#include "core/log/Log.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace Orvantis;
using OrvantisTest::Recording;
using OrvantisTest::RecordingSink;
using OrvantisTest::StdoutCapture;
using OrvantisTest::LogSession;
using OrvantisTest::ThrowingSink;

// Logs "<i>" under category "<t>" for i in [0, count) on each of `threads`.
void produce(int threads, int count) {
    std::vector<std::thread> producers;
    for (int t = 0; t < threads; ++t) {
        producers.emplace_back([t, count] {
            const std::string category = std::to_string(t);
            for (int i = 0; i < count; ++i) {
                Log::log(Log::Info, category, std::to_string(i));
            }
        });
    }
    for (auto& p : producers) {
        p.join();
    }
}

// Every producer's records arrived exactly once, complete and in order.
void expectEveryRecordOnceInOrder(Recording& recording, int threads, int count) {
    std::lock_guard<std::mutex> lock(recording.mutex);
    ASSERT_EQ(recording.records.size(), static_cast<size_t>(threads) * count);
    std::vector<int> next(threads, 0);
    for (const auto& r : recording.records) {
        const int t = std::stoi(r.category);
        ASSERT_EQ(std::stoi(r.message), next[t]) << "producer " << t;
        ++next[t];
    }
}

TEST(AsyncLogger, ManyProducersDeliverEveryRecordOnceInOrder) {
    auto recording = std::make_shared<Recording>();
    Log::init(Log::Trace, Log::Asynchronous);
    Log::addSink(std::make_unique<RecordingSink>(recording));
    constexpr int kThreads = 8;
    constexpr int kPerThread = 100000;
    produce(kThreads, kPerThread);
    Log::deinit();
    expectEveryRecordOnceInOrder(*recording, kThreads, kPerThread);
}

TEST(AsyncLogger, FlushDuringABurstWritesEverythingQueuedBeforeIt) {
    auto recording = std::make_shared<Recording>();
    Log::init(Log::Trace, Log::Asynchronous);
    auto sink = std::make_unique<RecordingSink>(recording);
    sink->addWhitelistFilter(Log::Trace, "main");  // the noise passes the queue only
    Log::addSink(std::move(sink));
    std::atomic<bool> done{false};
    std::thread noise([&done] {
        while (!done) {
            Log::log(Log::Debug, "noise", "n");
        }
    });
    for (int round = 0; round < 50; ++round) {
        const std::string marker = "marker " + std::to_string(round);
        Log::log(Log::Info, "main", marker);
        Log::flush();
        ASSERT_EQ(recording->messages().back(), marker);
    }
    done = true;
    noise.join();
    Log::deinit();
}

TEST(AsyncLogger, SinksComeAndGoWhileOthersLog) {
    auto stable = std::make_shared<Recording>();
    Log::init(Log::Trace, Log::Asynchronous);
    Log::addSink(std::make_unique<RecordingSink>(stable));
    std::thread producers([] { produce(2, 20000); });
    for (int i = 0; i < 200; ++i) {
        auto temporary = std::make_unique<RecordingSink>(std::make_shared<Recording>());
        Log::Sink* handle = temporary.get();
        Log::addSink(std::move(temporary));
        Log::removeSink(*handle);
    }
    producers.join();
    Log::deinit();
    expectEveryRecordOnceInOrder(*stable, 2, 20000);
}

TEST(AsyncLogger, FlushDeliversEverythingQueuedAndFlushesTheSinks) {
    LogSession session(Log::Asynchronous);
    produce(4, 2000);
    Log::flush();
    EXPECT_GE(session.recording->flushes, 1);
    expectEveryRecordOnceInOrder(*session.recording, 4, 2000);
}

TEST(AsyncLogger, DeinitDeliversABurstBeforeReturning) {
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

TEST(AsyncLogger, ThrowingSinkStopsThreadAndFlushDeliversTheRest) {
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
