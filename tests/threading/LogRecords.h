// Log records as the threading tests compare them: level, category and
// message, taken from a synchronous Trace session that lives for each test.
#pragma once

#include "support/Capture.h"

#include <OrvantisCore.h>
#include <gtest/gtest.h>

#include <mutex>
#include <ostream>
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

class LogCaptureTest : public ::testing::Test {
protected:
    // Returns the records logged so far and forgets them.
    std::vector<Record> takeRecords() {
        std::lock_guard<std::mutex> lock(session.recording->mutex);
        std::vector<Record> out;
        for (const auto& r : session.recording->records) {
            out.push_back({r.level, r.category, r.message});
        }
        session.recording->records.clear();
        return out;
    }

    OrvantisTest::LogSession session;
};

}  // namespace ThreadingTest
