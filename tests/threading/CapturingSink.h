// A log sink that keeps every record it receives, for tests that check what
// the threading tools log. LogCaptureTest initialises synchronous logging at
// Trace with one such sink and shuts logging down after each test.
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

    bool operator==(const Record& o) const {
        return level == o.level && category == o.category && message == o.message;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Record& r) {
    return out << "{" << static_cast<int>(r.level) << ", \"" << r.category << "\", \"" << r.message << "\"}";
}

class CapturingSink : public Orvantis::Log::Sink {
public:
    std::vector<Record> records() const {
        std::lock_guard<std::mutex> lock(mutex);
        return captured;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex);
        captured.clear();
    }
    // How many records carry exactly this message.
    size_t count(const std::string& message) const {
        std::lock_guard<std::mutex> lock(mutex);
        size_t n = 0;
        for (const Record& r : captured) {
            n += r.message == message ? 1 : 0;
        }
        return n;
    }

protected:
    void flush() override {}
    void logImpl(const LogCapture& capture) override {
        std::lock_guard<std::mutex> lock(mutex);
        captured.push_back({capture.level, capture.category, capture.message});
    }

private:
    mutable std::mutex mutex;
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
