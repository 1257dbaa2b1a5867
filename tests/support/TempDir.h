// TempDir.h — test helpers: a private scratch directory per test, small file
// utilities, and a compact view of captured log records.
#pragma once

#include "support/Capture.h"

#include <boost/filesystem/operations.hpp>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace OrvantisTest {

// A fresh directory under the system's temporary directory (mkdtemp),
// removed with everything in it when the object goes.
class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/orvantis-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~TempDir() {
        boost::system::error_code ec;
        boost::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
