// Capture.h — test helpers: standard output capture and a recording sink.
#pragma once

#include "core/log/Log.h"
#include "core/log/Sink.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

namespace OrvantisTest {

// Redirects file descriptor 1 (std::cout, stdout and direct writes alike)
// into a temporary file while it lives.
class StdoutCapture {
public:
    StdoutCapture() {
        std::cout.flush();
        std::fflush(stdout);
        file = std::tmpfile();
        saved = ::dup(STDOUT_FILENO);
        ::dup2(::fileno(file), STDOUT_FILENO);
    }
    ~StdoutCapture() {
        flushAll();
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        std::fclose(file);
    }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Everything written since the capture began; the capture goes on.
    std::string text() {
        flushAll();
        std::string result;
        char buffer[4096];
#ifdef _WIN32
        // No pread: read from the start, then put back the offset that the
        // duplicated standard output shares.
        const int fd = ::fileno(file);
        const long long end = _lseeki64(fd, 0, SEEK_CUR);
        _lseeki64(fd, 0, SEEK_SET);
        for (int n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            result.append(buffer, static_cast<size_t>(n));
        }
        _lseeki64(fd, end, SEEK_SET);
        return result;
#else
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(::fileno(file), buffer, sizeof buffer, at);
            if (n <= 0) {
                return result;
            }
            result.append(buffer, static_cast<size_t>(n));
            at += n;
        }
#endif
    }

private:
    static void flushAll() {
        std::cout.flush();
        std::fflush(stdout);
    }

    std::FILE* file = nullptr;
    int saved = -1;
};

// What a RecordingSink saw; shared so that it outlives the sink.
struct Recording {
    std::mutex mutex;
    std::vector<Orvantis::Log::Sink::LogCapture> records;
    int flushes = 0;
    bool destroyed = false;

    size_t size() {
        std::lock_guard<std::mutex> lock(mutex);
        return records.size();
    }
};

// The records seen so far, each as "<level number> <category>: <message>"
// (an Error of "Filesystem::File" reads "4 Filesystem::File: ..."); they are
// then forgotten, so that each step of a test sees only its own.
inline std::vector<std::string> takeReports(Recording& recording) {
    std::lock_guard<std::mutex> lock(recording.mutex);
    std::vector<std::string> out;
    for (const auto& r : recording.records) {
        out.push_back(std::to_string(static_cast<int>(r.level)) + " " + r.category + ": " + r.message);
    }
    recording.records.clear();
    return out;
}

// A sink that records every accepted record into a shared Recording.
class RecordingSink : public Orvantis::Log::Sink {
public:
    explicit RecordingSink(std::shared_ptr<Recording> shared) : recording(std::move(shared)) {}
    ~RecordingSink() override { recording->destroyed = true; }

protected:
    void flush() override {
        std::lock_guard<std::mutex> lock(recording->mutex);
        ++recording->flushes;
    }
    void logImpl(const LogCapture& capture) override {
        std::lock_guard<std::mutex> lock(recording->mutex);
        recording->records.push_back(capture);
    }

private:
    std::shared_ptr<Recording> recording;
};

// Starts logging with one recording sink; ends it when the scope ends.
class LogSession {
public:
    explicit LogSession(Orvantis::Log::Mode mode = Orvantis::Log::Synchronous,
                        Orvantis::Log::Level level = Orvantis::Log::Trace)
        : recording(std::make_shared<Recording>()) {
        Orvantis::Log::init(level, mode);
        Orvantis::Log::addSink(std::make_unique<RecordingSink>(recording));
    }
    ~LogSession() {
        if (Orvantis::Log::isInitialized()) {
            Orvantis::Log::deinit();
        }
        Orvantis::Log::setGlobalLevel(Orvantis::Log::Trace);
    }
    std::shared_ptr<Recording> recording;
};

// Throws std::runtime_error("sink failed") for the message "throw".
class ThrowingSink : public Orvantis::Log::Sink {
protected:
    void flush() override {}
    void logImpl(const LogCapture& capture) override {
        if (capture.message == "throw") {
            throw std::runtime_error("sink failed");
        }
    }
};

}  // namespace OrvantisTest
