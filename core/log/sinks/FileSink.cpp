#include "core/log/sinks/FileSink.h"

#include "core/filesystem/Directory.h"
#include "core/filesystem/File.h"
#include "core/filesystem/Path.h"
#include "core/platform/detail/StreamName.h"
#include "core/log/detail/EmergencyReport.h"
#include "core/log/detail/RecordFormat.h"
#include "core/log/detail/SigpipeGuard.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>

#if !defined(_WIN32)
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Orvantis::Log {

namespace {

constexpr int kOpenAttempts = 5;
constexpr std::chrono::milliseconds kRetryPause(100);

#if !defined(_WIN32)
// Whether `path` is a pipe or a socket, whose reader can go away.
bool isPipeLike(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

// Opening a FIFO for writing waits for a reader, without end if none comes.
// A non-blocking open answers at once; no reader counts as a failed attempt.
bool isFifoWithoutReader(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISFIFO(status.st_mode)) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENXIO;
    }
    ::close(fd);
    return false;
}
#endif

}  // namespace

FileSink::FileSink(const std::string& filePath, Flags<Options> options)
    : path(filePath), json(options.testFlag(Json)), formatter(std::make_unique<detail::RecordFormatter>()) {
    const bool truncate = options.testFlag(Truncate);
    // Unbuffered: each record is built whole and handed to the system in one
    // write, which is the flush after every record. Nothing is ever left in
    // a buffer, so bytes refused once are not written later by close().
    stream.rdbuf()->pubsetbuf(nullptr, 0);
    const std::ios_base::openmode mode = std::ios_base::out | (truncate ? std::ios_base::trunc : std::ios_base::app);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const Filesystem::Path parent = Filesystem::File(path).parentDirectory();
        if (!parent.exists()) {
            Filesystem::Directory(parent).createRecursive();  // a failure shows as a failed open
        }
#if !defined(_WIN32)
        if (isFifoWithoutReader(path)) {
            std::this_thread::sleep_for(kRetryPause);
            continue;
        }
#endif
        stream.clear();
        stream.open(Platform::detail::streamName(path).c_str(), mode);
        if (stream.good()) {
            break;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
    if (!stream.is_open() || !stream.good()) {
        throw std::runtime_error("Could not open log file '" + path + "' for writing.");
    }
#if !defined(_WIN32)
    pipeLike = isPipeLike(path);
    // A second descriptor for the crash reporter's last-resort report, which
    // cannot go through the stream. Non-blocking: a crash report must not
    // wait for a slow reader.
    emergencyFd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
    if (emergencyFd >= 0) {
        detail::registerEmergencyDescriptor(emergencyFd);
    }
#endif
    if (!truncate) {
        // Appended records go after the existing content whatever the put
        // position says, so the end is asked of the buffer directly (a pipe
        // or a device that cannot seek just answers -1 or 0).
        const auto end = stream.rdbuf()->pubseekoff(0, std::ios_base::end, std::ios_base::out);
        if (end != std::streampos(-1) && end > 0) {
            stream.write("\n\n", 2);
        }
    }
}

FileSink::~FileSink() {
#if !defined(_WIN32)
    if (emergencyFd >= 0) {
        detail::unregisterEmergencyDescriptor(emergencyFd);
        ::close(emergencyFd);
    }
#endif
    stream.close();
}

void FileSink::flush() {
    if (!stream.fail()) {
        std::optional<detail::SigpipeGuard> noSigpipe;
        if (pipeLike) {
            noSigpipe.emplace();
        }
        stream.flush();
    }
}

void FileSink::logImpl(const LogCapture& capture) {
    if (stream.rdstate() != std::ios_base::goodbit) {
        return;
    }
    line.clear();
    json ? formatter->appendJson(capture, line) : formatter->appendText(capture, line);

    // Only a pipe or a socket can raise SIGPIPE; a plain file skips the
    // signal-mask calls.
    std::optional<detail::SigpipeGuard> noSigpipe;
    if (pipeLike) {
        noSigpipe.emplace();
    }
    stream.write(line.data(), static_cast<std::streamsize>(line.size()));
    stream.flush();
}

}  // namespace Orvantis::Log
