// FilesystemTesting.h — helpers for the tests of paths, files, directories
// and the file sink: scratch directories and files (Scratch.h), a compact
// view of captured log records, and a scoped working directory.
#pragma once

#include "support/Capture.h"
#include "support/Scratch.h"

#include <boost/filesystem/operations.hpp>

#include <string>
#include <vector>

namespace OrvantisTest {

inline void makeDirectories(const std::string& path) {
    boost::filesystem::create_directories(path);
}

// "level category: message" for each record, in order.
inline std::vector<std::string> reports(Recording& recording) {
    std::lock_guard<std::mutex> lock(recording.mutex);
    std::vector<std::string> out;
    for (const auto& r : recording.records) {
        out.push_back(std::to_string(static_cast<int>(r.level)) + " " + r.category + ": " + r.message);
    }
    return out;
}

inline void clearReports(Recording& recording) {
    std::lock_guard<std::mutex> lock(recording.mutex);
    recording.records.clear();
}

// Runs in another working directory until the scope ends.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& path) : m_saved(boost::filesystem::current_path()) {
        boost::filesystem::current_path(path);
    }
    ~WorkingDirectory() {
        boost::system::error_code ec;
        boost::filesystem::current_path(m_saved, ec);
    }

private:
    boost::filesystem::path m_saved;
};

}  // namespace OrvantisTest
