// Sink.h — the abstract base of every log output, and its filters.
//
// The log front end hands each record to Sink::log, which applies the enable
// flag and the filter lists and calls logImpl for accepted records:
//   - a non-empty whitelist alone decides: the first rule whose level is at
//     most the record's level and whose category occurs in the record's
//     category accepts it; no match drops it;
//   - otherwise the first blacklist rule whose level is at least the
//     record's level and whose category occurs in the record's category drops
//     it; no match writes it.
// An empty rule category occurs in every category.
//
// Example:
//   sink->addBlacklistFilter(Log::Info, "Filesystem");
//   // hides Trace..Info of "Filesystem::File", lets Warning and above pass
//
// Ownership: Log::addSink takes the sink by unique ownership; the logger
// owns it from then on and destroys it at removeSink or deinit (never after
// a Fatal record: then it stays alive until the process ends).
//
// Errors: an exception from logImpl leaves Log::log in Synchronous mode (the
// other sinks may have missed that record) and the logger stays usable; in
// Asynchronous mode it ends the logger thread, which prints one line to
// std::cout, and later records wait for flush or deinit. During a Fatal
// record or a crash report, sink exceptions are caught and ignored.
//
// Safety: Sink takes no lock. The front end serialises log, logImpl and flush
// on one sink; change the filters before registering the sink or while no
// record is being delivered.
#pragma once

#include "core/Export.h"
#include "core/log/Level.h"

#include <chrono>
#include <cstdint>
#include <ratio>
#include <string>
#include <vector>

namespace Orvantis::Log {

namespace detail {
class Logger;
}

class ORVANTIS_API Sink {
public:
    // System-clock time in 100-nanosecond ticks since 1970-01-01 UTC.
    using Clock = std::chrono::system_clock;
    using Duration = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
    using TimePoint = std::chrono::time_point<Clock, Duration>;

    // One record, filled by the front end; sinks only read it.
    struct LogCapture {
        TimePoint time;
        Level level = Trace;
        std::string category;
        std::string message;
        // The system's id of the thread that made the record.
        uint64_t thread = 0;
    };

    // One rule: a level bound and a text the record's category must contain.
    struct Filter {
        Level level = Trace;
        std::string category;
    };

    Sink() = default;
    Sink(const Sink&) = default;
    Sink& operator=(const Sink&) = default;
    virtual ~Sink();

    // Applies the enable flag and the filters; calls logImpl if accepted.
    void log(const LogCapture& capture);

    bool isEnabled() const { return enabled; }
    void setEnabled(bool value) { enabled = value; }

    void addWhitelistFilter(Level level, const std::string& category);
    // The same as addWhitelistFilter.
    void addFilter(Level level, const std::string& category);
    void addBlacklistFilter(Level level, const std::string& category);
    // Removes from both lists every rule whose category equals `category`.
    void removeFilters(const std::string& category);
    void clearFilters();

    // The whitelist (the same list as whitelistFilters()).
    const std::vector<Filter>& filters() const { return whitelist; }
    const std::vector<Filter>& whitelistFilters() const { return whitelist; }
    const std::vector<Filter>& blacklistFilters() const { return blacklist; }

protected:
    // For a sink that must report a problem of its own (a failed rotation,
    // a lost connection) while it writes a record: the report goes to every
    // other registered sink once the current record is delivered, never
    // back to this one. Outside a delivery it is an ordinary Log::log call.
    void reportToOtherSinks(Level level, const std::string& category, const std::string& message);

    // Pushes buffered output to its destination.
    virtual void flush() = 0;
    // Writes one accepted record.
    virtual void logImpl(const LogCapture& capture) = 0;

private:
    friend class detail::Logger;

    std::vector<Filter> whitelist;
    std::vector<Filter> blacklist;
    bool enabled = true;
};

}  // namespace Orvantis::Log
