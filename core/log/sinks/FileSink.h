// FileSink.h — log records appended to a text file, one line each.
//
// Every accepted record becomes one line:
//   "2024-05-17 14:03:09.5\tERROR\t[Filesystem::File] Can not open file 'x'.\n"
// that is the local date and time ("%F %T"), a full stop, the milliseconds
// without leading zeros, a tab, the level name ("TRACE", "DEBUG", "INFO ",
// "WARN ", "ERROR", "FATAL"; nothing for other values), a tab, the category
// in brackets followed by a blank (nothing for an empty category), the
// message and a line feed. The stream is flushed after every record, so a
// crash loses at most the record being written.
//
// Without Truncate the records are appended; when the file already has
// content, two line feeds separate it from the new records. Missing parent
// directories are created.
//
// With Json each record is one JSON object a line instead, for log shippers:
//   {"time":"2024-05-17T14:03:09.512+02:00","level":"error",
//    "category":"Filesystem::File","message":"Can not open file 'x'.","thread":4711}
// (local time with its UTC offset, the level in lower case, the id of the
// thread that made the record). The text is always valid UTF-8: bytes that
// are not UTF-8 become U+FFFD, and every control character is escaped.
//
// Example:
//   Log::addSink(std::make_unique<Log::FileSink>("/var/log/app/app.log"));
//
// Errors: the constructor tries five times, 100 ms apart, and then throws
// std::runtime_error("Could not open log file '<path>' for writing.").
// A FIFO without a reader counts as a failed attempt (it is never waited
// for); a pipe whose reader goes away later fails the write, not the process.
// Once a write fails, the sink drops every later record silently and
// flush() does nothing.
//
// Safety: no locking of its own; the log front end serialises logImpl and
// flush. Other processes may write the same file at the same time.
#pragma once

#include "core/Export.h"
#include "core/log/Sink.h"
#include "core/utils/Flags.h"

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

namespace Orvantis::Log {

namespace detail {
class RecordFormatter;
}

class ORVANTIS_API FileSink : public Sink {
public:
    enum Options : uint32_t {
        Truncate = 1,  // empty the file when it is opened
        Json = 2,  // one JSON object a line instead of the text line
    };

    // Opens (and if needed creates) the file; throws std::runtime_error when
    // that fails five times in a row.
    explicit FileSink(const std::string& path, Flags<Options> options = Flags<Options>());
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    // Closes the file; a failing close is ignored.
    ~FileSink() override;

protected:
    // Flushes the stream unless a write has failed.
    void flush() override;
    // Writes and flushes one line; does nothing once the stream has failed.
    void logImpl(const LogCapture& capture) override;

private:
    std::string path;
    std::ofstream stream;

    bool json = false;
    // Formats the lines; keeps the local time of the last second written.
    std::unique_ptr<detail::RecordFormatter> formatter;
    // Scratch space for the line being written, kept between records.
    std::string line;
    // Whether the file is a pipe or a socket, whose writes may raise SIGPIPE.
    bool pipeLike = false;
    // The same file opened once more for the crash reporter's last-resort
    // report (-1: none).
    int emergencyFd = -1;
};

ORVANTIS_DECLARE_FLAG_OPERATORS(FileSink::Options)

}  // namespace Orvantis::Log
