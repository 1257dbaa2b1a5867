// The asynchronous logger under load: many producers and flushes during flat-out production; and a sink that fails.
#include "support/Capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using namespace Orvantis;
using OrvantisTest::eventually;

// Takes a microsecond per record, slower than the producers, and counts the records of each producer (category
// "<t>", messages "0", "1", ...) that arrived, and those out of order; the counts outlive the sink.
struct SlowSink : Log::Sink {
    static inline std::atomic<int> next[9] = {};
    static inline int misplaced = 0;
    static inline int flushes = 0;
    void flush() override { ++flushes; }
    void logImpl(const LogCapture& c) override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(1);
        while (std::chrono::steady_clock::now() < until) {}
        misplaced += std::stoi(c.message) != next[std::stoi(c.category)]++;
    }
};

// Eight producers log flat out: a flush still gets its turn and delivers the marker that the main thread ("8")
// queued before it (a hang meets the test's time limit), and afterwards the logger thread delivers on its own
// again. deinit delivers what is still queued. Every record arrives once, complete and in order.
TEST(AsyncLogger, ManyProducersDeliverEveryRecordOnceInOrder) {
    std::fill(std::begin(SlowSink::next), std::end(SlowSink::next), 0);  // for repeated runs
    SlowSink::flushes = 0;
    Log::init(Log::Trace, Log::Asynchronous);
    Log::addSink(std::make_unique<SlowSink>());
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
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the queue grows
    Log::log(Log::Info, "8", "0");
    Log::flush();
    EXPECT_EQ(SlowSink::next[8], 1);
    EXPECT_EQ(SlowSink::flushes, 1);
    done = true;
    for (auto& p : producers) {
        p.join();
    }
    Log::log(Log::Info, "8", "1");
    EXPECT_TRUE(eventually([&] { return SlowSink::next[8] == 2; })) << "the logger thread no longer delivers";
    for (int i = 2; i < 1000; ++i) {
        Log::log(Log::Info, "8", std::to_string(i));
    }
    Log::deinit();
    for (int t = 0; t < 8; ++t) {
        EXPECT_EQ(SlowSink::next[t], produced[t]) << "producer " << t;
    }
    EXPECT_EQ(SlowSink::next[8], 1000);
    EXPECT_EQ(SlowSink::misplaced, 0);
}

// The record that makes a sink throw is lost alone: the thread stops, the next flush throws once, and later
// records still arrive, delivered by the flush.
TEST(AsyncLogger, ThrowingRecordIsLostAlone) {
    OrvantisTest::LogSession session(Log::Asynchronous);
    Log::addSink(std::make_unique<OrvantisTest::ThrowingSink>());
    OrvantisTest::StdoutCapture capture;
    Log::log(Log::Info, "", "throw");
    EXPECT_TRUE(eventually([&] { return !capture.text().empty(); }));  // the thread has failed and stopped
    Log::log(Log::Info, "", "throw");
    Log::log(Log::Info, "", "after the failure");
    EXPECT_THROW(Log::flush(), std::runtime_error);
    Log::flush();
    EXPECT_EQ(capture.text(), "Caught unhandled exception sink failed in async logger thread. Stopping logger.");
    EXPECT_EQ(OrvantisTest::takeReports(*session.recording),
              (std::vector<std::string>{"2 : throw", "2 : throw", "2 : after the failure"}));
}

}  // namespace
