#include "core/log/sinks/RotatingFileSink.h"

#include "core/filesystem/Directory.h"
#include "core/filesystem/File.h"
#include "core/filesystem/Path.h"
#include "core/platform/detail/StreamName.h"
#include "core/log/detail/EmergencyReport.h"
#include "core/log/detail/RecordFormat.h"

#include <boost/filesystem/operations.hpp>

#include <chrono>
#include <stdexcept>
#include <thread>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace Orvantis::Log {

namespace {

constexpr int kOpenAttempts = 5;
constexpr std::chrono::milliseconds kRetryPause(100);
constexpr char kCategory[] = "Log::RotatingFileSink";

std::string numbered(const std::string& path, unsigned index) {
    return path + "." + std::to_string(index);
}

}  // namespace

RotatingFileSink::RotatingFileSink(const std::string& filePath, uint64_t maxFileBytes, unsigned maxFileCount,
                                   Flags<FileSink::Options> options)
    : path(filePath),
      maxBytes(maxFileBytes),
      maxFiles(maxFileCount == 0 ? 1 : maxFileCount),
      json(options.testFlag(FileSink::Json)),
      formatter(std::make_unique<detail::RecordFormatter>()) {
    bool opened = false;
    for (int attempt = 0; attempt < kOpenAttempts && !opened; ++attempt) {
        const Filesystem::Path parent = Filesystem::File(path).parentDirectory();
        if (!parent.exists()) {
            Filesystem::Directory(parent).createRecursive();  // a failure shows as a failed open
        }
        opened = open(options.testFlag(FileSink::Truncate));
        if (!opened) {
            std::this_thread::sleep_for(kRetryPause);
        }
    }
    if (!opened) {
        throw std::runtime_error("Could not open log file '" + path + "' for writing.");
    }
    rotateAfter = maxBytes;
}

RotatingFileSink::~RotatingFileSink() {
    setEmergencyDescriptor(false);
    stream.close();
}

void RotatingFileSink::setEmergencyDescriptor(bool open) {
#if !defined(_WIN32)
    if (emergencyFd >= 0) {
        detail::unregisterEmergencyDescriptor(emergencyFd);
        ::close(emergencyFd);
        emergencyFd = -1;
    }
    // The crash reporter's last-resort report goes to the current file
    // through a descriptor of its own.
    if (open) {
        emergencyFd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
        if (emergencyFd >= 0) {
            detail::registerEmergencyDescriptor(emergencyFd);
        }
    }
#else
    (void)open;
#endif
}

bool RotatingFileSink::open(bool truncate) {
    stream.close();
    stream.clear();
    // Unbuffered, as in FileSink: each record reaches the system in one write.
    stream.rdbuf()->pubsetbuf(nullptr, 0);
    stream.open(Platform::detail::streamName(path).c_str(),
                std::ios_base::out | (truncate ? std::ios_base::trunc : std::ios_base::app));
    if (!stream.good()) {
        return false;
    }
    const auto end = stream.rdbuf()->pubseekoff(0, std::ios_base::end, std::ios_base::out);
    size = end == std::streampos(-1) ? 0 : static_cast<uint64_t>(end);
    setEmergencyDescriptor(true);
    return true;
}

bool RotatingFileSink::rotate(std::string& reason) {
    namespace fs = boost::filesystem;
    stream.close();
    boost::system::error_code error;
    bool moved = true;
    if (maxFiles > 1) {
        fs::remove(numbered(path, maxFiles - 1), error);  // the oldest; a missing one is no failure
        for (unsigned index = maxFiles - 1; index-- > 1 && moved;) {
            const std::string from = numbered(path, index);
            if (fs::exists(from, error)) {
                fs::rename(from, numbered(path, index + 1), error);
                moved = !error;
            }
        }
        // A current file that someone else moved away needs no renaming.
        if (moved && fs::exists(path, error)) {
            fs::rename(path, numbered(path, 1), error);
            moved = !error;
        }
    } else {
        fs::remove(path, error);
        moved = !error;
    }
    if (!moved) {
        reason = error.message();
    }
    if (!open(false)) {
        if (reason.empty()) {
            reason = "the new file cannot be opened";
        }
        return false;
    }
    return moved;
}

void RotatingFileSink::flush() {
    if (!stream.fail()) {
        stream.flush();
    }
}

void RotatingFileSink::logImpl(const LogCapture& capture) {
    line.clear();
    json ? formatter->appendJson(capture, line) : formatter->appendText(capture, line);
    if (size > 0 && size + line.size() > rotateAfter) {
        std::string reason;
        if (rotate(reason)) {
            failureReported = false;
            rotateAfter = maxBytes;
        } else {
            rotateAfter = size + maxBytes;  // try again after another maxBytes
            if (!failureReported) {
                failureReported = true;
                reportToOtherSinks(Error, kCategory, "Could not rotate log file '" + path + "': " + reason);
            }
        }
    }
    if (stream.rdstate() != std::ios_base::goodbit) {
        return;
    }
    stream.write(line.data(), static_cast<std::streamsize>(line.size()));
    stream.flush();
    if (stream.good()) {
        // The position, not the line's length: a text-mode stream on Windows
        // writes two bytes for each line feed.
        const auto at = stream.tellp();
        size = at != std::streampos(-1) ? static_cast<uint64_t>(at) : size + line.size();
    }
}

}  // namespace Orvantis::Log
