// Capture.h — test helpers: standard output capture, a recording sink, waiting for a condition.
#pragma once

#include "core/log/Log.h"
#include "core/log/Sink.h"
#include "support/Scratch.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace OrvantisTest {

// Redirects file descriptor 1 (std::cout, stdout and direct writes alike)
// into a file of its own while it lives.
class StdoutCapture {
public:
    StdoutCapture() : file(std::fopen(dir.file("stdout").c_str(), "wb")) {
        flushAll();
        saved = ::dup(STDOUT_FILENO);
        ::dup2(::fileno(file), STDOUT_FILENO);
    }
    ~StdoutCapture() {
        flushAll();
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        std::fclose(file);
    }
    // Everything written since the capture began; the capture goes on.
    std::string text() {
        flushAll();
        return readFile(dir.file("stdout"));
    }

private:
    static void flushAll() {
        std::cout.flush();
        std::fflush(stdout);
    }

    TempDir dir;
    std::FILE* file;
    int saved = -1;
};

// Polls `done` every millisecond for up to five seconds; its last answer.
template <class Done>
bool eventually(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// How a process ended by a Fatal record, exit(-106), reads back.
#ifdef _WIN32
constexpr int kFatalExitStatus = -106;  // the process's 32-bit exit code
#else
constexpr int kFatalExitStatus = -106 & 0xFF;  // as the shell sees it
#endif

// What a RecordingSink saw; shared so that it outlives the sink.
struct Recording {
    std::mutex mutex;
    std::vector<Orvantis::Log::Sink::LogCapture> records;
    int flushes = 0;
    bool destroyed = false;
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
    explicit LogSession(Orvantis::Log::Mode mode = Orvantis::Log::Synchronous)
        : recording(std::make_shared<Recording>()) {
        Orvantis::Log::init(Orvantis::Log::Trace, mode);
        Orvantis::Log::addSink(std::make_unique<RecordingSink>(recording));
    }
    ~LogSession() {
        if (Orvantis::Log::isInitialized()) {
            Orvantis::Log::deinit();
        }
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
