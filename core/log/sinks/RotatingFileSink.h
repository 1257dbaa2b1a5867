// RotatingFileSink.h — log records in a file of bounded size, with a fixed
// number of older files kept beside it.
//
// Lines are those of FileSink (or JSON objects with FileSink::Json). When a
// record would take the file past `maxBytes`, the file is closed,
// "path.1" … "path.(maxFiles-1)" move up by one (the oldest is dropped),
// "path" becomes "path.1" and a new "path" is started. A record longer than
// `maxBytes` still goes whole into a file of its own. With maxFiles 1 the
// file is simply started anew.
//
// Example:
//   // at most 5 files of 10 MiB: app.log, app.log.1 … app.log.4
//   Log::addSink(std::make_unique<Log::RotatingFileSink>("/var/log/app/app.log", 10 << 20, 5));
//
// Errors: the constructor throws std::runtime_error("Could not open log file
// '<path>' for writing.") as FileSink does. A rotation that fails (a
// read-only directory, a full disk) is reported once at Error to the other
// sinks, and the records go on into the current file: none is lost. The
// next attempt comes after another `maxBytes`. When the file was renamed by
// someone else (an external log rotation), the next rotation just starts a
// new file.
//
// Safety: no locking of its own; the log front end serialises logImpl and
// flush, in both logging modes.
#pragma once

#include "core/Export.h"
#include "core/log/sinks/FileSink.h"
#include "core/log/Sink.h"

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

namespace Orvantis::Log {

namespace detail {
class RecordFormatter;
}

class ORVANTIS_API RotatingFileSink : public Sink {
public:
    // Appends to `path` (creating missing directories) unless Truncate is
    // given; maxFiles counts the current file, and 0 counts as 1.
    RotatingFileSink(const std::string& path, uint64_t maxBytes, unsigned maxFiles,
                     Flags<FileSink::Options> options = Flags<FileSink::Options>());
    RotatingFileSink(const RotatingFileSink&) = delete;
    RotatingFileSink& operator=(const RotatingFileSink&) = delete;
    ~RotatingFileSink() override;

protected:
    void flush() override;
    void logImpl(const LogCapture& capture) override;

private:
    // Moves the files up by one and opens a new current file; false (and
    // the current file reopened for appending) when a step failed.
    bool rotate(std::string& reason);
    bool open(bool truncate);
    void setEmergencyDescriptor(bool open);

    std::string path;
    uint64_t maxBytes;
    unsigned maxFiles;
    bool json;
    std::ofstream stream;
    uint64_t size = 0;  // bytes in the current file
    uint64_t rotateAfter = 0;  // the size past which the next rotation is tried
    bool failureReported = false;  // one report per run of failed rotations
    int emergencyFd = -1;  // the current file for the crash reporter's last resort
    std::unique_ptr<detail::RecordFormatter> formatter;
    std::string line;
};

}  // namespace Orvantis::Log
