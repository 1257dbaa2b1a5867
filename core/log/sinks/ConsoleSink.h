// ConsoleSink.h — log records on standard output, one line each.
//
// A record prints as "[category] message\n" ("message\n" for an empty
// category), with no time stamp or level name; with Colored the level shows
// as the line's colour (console attributes on Windows, ANSI colours on a
// terminal elsewhere; nothing but the text when output is redirected).
// Colored gives way to the environment, read once at construction: a
// non-empty NO_COLOR or TERM=dumb turns the colours off. ForceColored
// colours whatever the output is and whatever the environment says (a
// command line's "--color=always").
// Utf8 switches the Windows console to the UTF-8 code page at construction.
//
// All console output of the library goes through one channel, std::cout:
// the records, the front end's own warnings and the fallback printing
// before init. Each record is flushed at once, so the lines keep their order
// even when the host turns off sync_with_stdio.
//
// A write error (a full disk, a pipe whose reader has gone) is ignored: the
// record is lost, the process goes on.
//
// Safety: no locking of its own; the log front end serialises logImpl and
// flush. Other code writing to std::cout from other threads may interleave
// with a record only between lines.
//
// Example:
//   Log::addSink(std::make_unique<Log::ConsoleSink>(Log::ConsoleSink::Colored | Log::ConsoleSink::Utf8));
#pragma once

#include "core/Export.h"
#include "core/log/Sink.h"
#include "core/utils/Flags.h"

namespace Orvantis::Log {

class ORVANTIS_API ConsoleSink : public Sink {
public:
    enum Options : uint32_t {
        Colored = 1,
        Utf8 = 2,
        ForceColored = 4,
    };

    // The default neither colours nor changes the code page. A failure to
    // switch the code page is printed and otherwise ignored.
    explicit ConsoleSink(Flags<Options> options = Flags<Options>());
    ConsoleSink(const ConsoleSink&) = default;
    ConsoleSink& operator=(const ConsoleSink&) = default;
    ~ConsoleSink() override;

protected:
    // Flushes std::cout.
    void flush() override;
    void logImpl(const LogCapture& capture) override;

private:
    bool colored = false;
    // The standard-output handle (a Windows HANDLE); unused elsewhere.
    void* outputHandle = nullptr;
    // Whether records get ANSI colours: Colored on a terminal that wants
    // them, or ForceColored.
    bool ansi = false;
};

ORVANTIS_DECLARE_FLAG_OPERATORS(ConsoleSink::Options)

}  // namespace Orvantis::Log
