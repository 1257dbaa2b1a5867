// Scratch.h — small helpers for tests that work with files and output.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <system_error>

namespace OrvantisTest {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    // Named after the process and a count, which no other running test shares; one that an ended process left
    // behind is emptied first.
    TempDir() {
        static std::atomic<int> count{0};
        path = std::filesystem::temp_directory_path() /
               ("orvantis-test-" + std::to_string(::getpid()) + "-" + std::to_string(count++));
        std::filesystem::remove_all(path);
        std::filesystem::create_directory(path);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // With forward slashes on every platform, as the library writes paths.
    std::string file(const std::string& name) const { return (path / name).generic_string(); }

    std::filesystem::path path;
};

// The bytes a text-mode stream writes for `text`: "\r\n" for each "\n" on Windows.
inline std::string onDisk(std::string text) {
#ifdef _WIN32
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
        text.insert(at, 1, '\r');
    }
#endif
    return text;
}

inline std::string readFile(const std::filesystem::path& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

// `n` reproducible pseudo-random bytes.
inline std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

}  // namespace OrvantisTest
