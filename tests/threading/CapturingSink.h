// A sink that keeps what it receives, and a fixture that logs synchronously
// at Trace into one for each test.
#pragma once

#include <OrvantisCore.h>
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace ThreadingTest {

struct Record {
    Orvantis::Log::Level level;
    std::string category;
    std::string message;
    bool operator==(const Record& o) const { return level == o.level && category == o.category && message == o.message; }
};

inline std::ostream& operator<<(std::ostream& out, const Record& r) {
    return out << "{" << static_cast<int>(r.level) << ", \"" << r.category << "\", \"" << r.message << "\"}";
}

class CapturingSink : public Orvantis::Log::Sink {
public:
    // Returns the records received so far and forgets them.
    std::vector<Record> take() {
        std::vector<Record> out;
        std::lock_guard<std::mutex> lock(mutex);
        out.swap(captured);
        return out;
    }

protected:
    void flush() override {}
    void logImpl(const LogCapture& c) override {
        std::lock_guard<std::mutex> lock(mutex);
        captured.push_back({c.level, c.category, c.message});
    }

private:
    std::mutex mutex;
    std::vector<Record> captured;
};

class LogCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        Orvantis::Log::init(Orvantis::Log::Trace, Orvantis::Log::Synchronous);
        auto owned = std::make_unique<CapturingSink>();
        sink = owned.get();
        Orvantis::Log::addSink(std::move(owned));
    }
    void TearDown() override {
        Orvantis::Log::setGlobalLevel(Orvantis::Log::Trace);
        Orvantis::Log::deinit();
    }

    CapturingSink* sink = nullptr;
};

}  // namespace ThreadingTest
