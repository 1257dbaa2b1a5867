#include "core/log/FileSink.h"

#include "core/filesystem/Directory.h"
#include "core/filesystem/File.h"
#include "core/filesystem/Path.h"
#include "core/filesystem/detail/StreamName.h"

#include <charconv>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <thread>

namespace Orvantis::Log {

namespace {

constexpr int kOpenAttempts = 5;
constexpr std::chrono::milliseconds kRetryPause(100);

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerMillisecond = 10000;

// The five-character level names; other values have none.
const char* levelName(Level level) {
    switch (level) {
        case Trace: return "TRACE";
        case Debug: return "DEBUG";
        case Info: return "INFO ";
        case Warning: return "WARN ";
        case Error: return "ERROR";
        case Fatal: return "FATAL";
        default: return "";
    }
}

// Broken-down local time of `seconds` since 1970, by the machine's zone
// and daylight-saving rules.
std::tm localTime(int64_t seconds) {
    std::tm broken{};
#if defined(_WIN32)
    const __time64_t t = seconds;
    _localtime64_s(&broken, &t);
#else
    const std::time_t t = static_cast<std::time_t>(seconds);
    ::localtime_r(&t, &broken);
#endif
    return broken;
}

}  // namespace

FileSink::FileSink(const std::string& filePath, Flags<Options> options) : path(filePath) {
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
        stream.clear();
        stream.open(Filesystem::detail::streamName(path).c_str(), mode);
        if (stream.good()) {
            break;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
    if (!stream.good()) {
        throw std::runtime_error("Could not open log file '" + path + "' for writing.");
    }
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
    stream.close();
}

void FileSink::flush() {
    if (!stream.fail()) {
        stream.flush();
    }
}

void FileSink::logImpl(const LogCapture& capture) {
    if (stream.rdstate() != std::ios_base::goodbit) {
        return;
    }
    const int64_t ticks = capture.time.time_since_epoch().count();
    const int64_t seconds = ticks / kTicksPerSecond;
    const int64_t milliseconds = ticks / kTicksPerMillisecond - seconds * 1000;

    if (seconds != stampSecond || stampText.empty()) {
        // The text std::put_time gives for "%F %T", spelt out: the older
        // Windows C runtimes know neither %F nor %T.
        const std::tm broken = localTime(seconds);
        char text[64];
        const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &broken);
        stampText.assign(text, length);
        stampSecond = seconds;
    }

    line.clear();
    line.append(stampText).append(1, '.');
    char digits[24];
    const auto converted = std::to_chars(digits, digits + sizeof digits, milliseconds);
    line.append(digits, converted.ptr);
    line.append(1, '\t').append(levelName(capture.level)).append(1, '\t');
    if (!capture.category.empty()) {
        line.append(1, '[').append(capture.category).append("] ");
    }
    line.append(capture.message).append(1, '\n');

    stream.write(line.data(), static_cast<std::streamsize>(line.size()));
    stream.flush();
}

}  // namespace Orvantis::Log
