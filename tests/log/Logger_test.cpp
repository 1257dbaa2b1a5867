// The asynchronous logger under load: many producers, flushes during flat-out production, sinks that come and go,
// and a failing sink.
#include "core/log/Log.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace Orvantis;

// Takes a microsecond per record, slower than the producers below, and counts per producer the records that
// arrive out of order.
struct SlowSink : Log::Sink {
    std::vector<int> next = std::vector<int>(8);
    int misplaced = 0;
    std::atomic<int> markers{0};
    void flush() override {}
    void logImpl(const LogCapture& c) override {
        for (const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(1);
             std::chrono::steady_clock::now() < until;) {}
        if (c.category == "main") {
            ++markers;
        } else {
            misplaced += std::stoi(c.message) != next[std::stoi(c.category)]++;
        }
    }
};

// Eight producers log flat out while sinks come and go: a flush still gets its turn and delivers the marker queued
// before it (a hang meets the test's time limit); afterwards the logger thread delivers on its own again, and in
// the end every record has arrived once, complete and in order.
TEST(AsyncLogger, ManyProducersDeliverEveryRecordOnceInOrder) {
    Log::init(Log::Trace, Log::Asynchronous);
    auto owned = std::make_unique<SlowSink>();
    SlowSink& sink = *owned;
    Log::addSink(std::move(owned));
    std::atomic<bool> done{false};
    std::vector<int> produced(8);
    std::vector<std::thread> producers;
    for (int t = 0; t < 8; ++t) {
        producers.emplace_back([&, t] {
            for (int& i = produced[t]; !done; ++i) {
                Log::log(Log::Info, std::to_string(t), std::to_string(i));
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        auto temporary = std::make_unique<OrvantisTest::RecordingSink>(std::make_shared<OrvantisTest::Recording>());
        Log::Sink* handle = temporary.get();
        Log::addSink(std::move(temporary));
        Log::removeSink(*handle);
    }
    Log::log(Log::Info, "main", "marker");
    Log::flush();
    EXPECT_EQ(sink.markers, 1);
    done = true;
    for (auto& p : producers) {
        p.join();
    }
    Log::log(Log::Info, "main", "marker");
    for (int i = 0; i < 1000 && sink.markers < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(sink.markers, 2) << "the logger thread no longer delivers";
    Log::flush();
    EXPECT_EQ(sink.next, produced);
    EXPECT_EQ(sink.misplaced, 0);
    Log::deinit();
}

// The record that makes the sink throw is lost alone: the thread stops, the next flush throws once, and what
// follows still reaches the sinks, delivered by the flush.
TEST(AsyncLogger, ThrowingRecordIsLostAlone) {
    OrvantisTest::LogSession session(Log::Asynchronous);
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
    Log::flush();
    EXPECT_EQ(capture.text(), "Caught unhandled exception sink failed in async logger thread. Stopping logger.");
    EXPECT_EQ(session.recording->messages(), (std::vector<std::string>{"throw", "throw", "after the failure"}));
}

}  // namespace
