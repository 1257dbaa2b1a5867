// Log.h — the process-wide logging front end.
//
// The host calls init once, registers sinks with addSink, and calls deinit at
// the end. Anyone produces records with log(level, category, message). In
// Synchronous mode log() delivers to every sink before it returns; in
// Asynchronous mode it queues the record for the logger thread. A Fatal
// record flushes every sink and ends the process with exit(-106).
// Before init and after deinit, records are printed to std::cout as
// "[category] message".
//
// Producers test the level before formatting anything; ORVANTIS_LOG does
// that for you:
//   ORVANTIS_LOG(Log::Error, "Filesystem::File", "size failed: " << ec.message());
//
// Layers, bottom up: the header-only per-OS helpers (core/platform/detail);
// this log core (Log, Sink, the logger thread, the crash reporter), which
// uses nothing else of the library; the platform services and the
// filesystem, which report through it; and the concrete sinks
// (core/log/sinks), the only log code that reaches up to them.
//
// Safety: log, flush, addSink, removeSink and getSinks may be called from any
// thread. init and deinit are not synchronised with them: call them while no
// other thread logs.
#pragma once

#include "core/Export.h"
#include "core/log/Level.h"
#include "core/log/Sink.h"

#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace Orvantis::Log {

// The level below which producers skip their records (initially Trace).
// Test it with `g_globalLevel <= L` before formatting a record.
ORVANTIS_API extern std::atomic<Level> g_globalLevel;

// Starts logging: installs the fatal-exception reporter, sets g_globalLevel
// and creates the logger. A second call only prints a warning.
ORVANTIS_API void init(Level level, Mode mode);
// Flushes and stops the logger, then destroys it and its sinks in order of
// registration. Without init it only prints a warning.
ORVANTIS_API void deinit();
ORVANTIS_API bool isInitialized();
ORVANTIS_API void setGlobalLevel(Level level);

// Hands one record to the logger (or prints it, when not initialised).
// A Fatal record while initialised ends the process with exit(-106): every
// sink gets it and is flushed (a sink's exception is ignored then), and a
// second thread's Fatal record waits for the first one's exit. The logger
// and its sinks are not destroyed by that exit.
ORVANTIS_API void log(Level level, const std::string& category, const std::string& message);

// Takes ownership. Without a logger the sink is destroyed at once.
ORVANTIS_API void addSink(std::unique_ptr<Sink> sink);
// Destroys the first registered sink that is `sink` (identity); an unknown
// sink is ignored. The reference dangles afterwards.
ORVANTIS_API void removeSink(Sink& sink);
// Non-owning pointers in order of registration; valid until the sink is
// removed or logging ends.
ORVANTIS_API std::vector<Sink*> getSinks();
// Delivers every queued record, then flushes every sink; producers wait
// meanwhile. A sink's exception propagates and loses only the record it
// failed on.
ORVANTIS_API void flush();

}  // namespace Orvantis::Log

// Logs `streamed` (anything that can follow `<<` on an ostream) at `level`
// under `category`, formatting nothing unless g_globalLevel <= level.
#define ORVANTIS_LOG(level, category, streamed)                                                    \
    do {                                                                                           \
        const ::Orvantis::Log::Level orvantisLogLevel_ = (level);                                  \
        if (::Orvantis::Log::g_globalLevel.load(std::memory_order_relaxed) <= orvantisLogLevel_) { \
            std::ostringstream orvantisLogText_;                                                   \
            orvantisLogText_ << streamed;                                                          \
            ::Orvantis::Log::log(orvantisLogLevel_, (category), orvantisLogText_.str());           \
        }                                                                                          \
    } while (false)
