// SyslogSink.h — log records to the system's log service (POSIX only).
//
// Each record becomes one syslog message "[category] message" ("message"
// alone for an empty category) under `ident` with the process id. Levels
// map to priorities: Trace and Debug → LOG_DEBUG, Info → LOG_INFO,
// Warning → LOG_WARNING, Error → LOG_ERR, Fatal → LOG_CRIT.
//
// By default the messages go through syslog(3) (openlog with LOG_PID), to
// the daemon behind /dev/log. Given `socketPath`, the sink sends the same
// messages itself, as "<PRI>Mmm dd hh:mm:ss ident[pid]: text" datagrams, to
// that Unix socket instead: for a daemon of one's own, or a test.
//
// Example:
//   Log::addSink(std::make_unique<Log::SyslogSink>("backupd", LOG_DAEMON));
//
// Errors: a message the service does not take is dropped; with a socket
// path, the first such loss after a success is reported once at Error to the
// other sinks.
//
// Safety: syslog(3) keeps one ident per process, so use one SyslogSink
// without a socket path at a time. The log front end serialises logImpl.
#pragma once

#include "core/Export.h"
#include "core/log/Sink.h"

#include <string>

namespace Orvantis::Log {

class ORVANTIS_API SyslogSink : public Sink {
public:
    // `facility` is one of syslog.h's LOG_USER, LOG_DAEMON, LOG_LOCAL0 …
    explicit SyslogSink(const std::string& ident, int facility = 1 << 3 /* LOG_USER */,
                        const std::string& socketPath = std::string());
    SyslogSink(const SyslogSink&) = delete;
    SyslogSink& operator=(const SyslogSink&) = delete;
    ~SyslogSink() override;

    // The syslog priority of a level (without the facility).
    static int priorityOf(Level level);

protected:
    void flush() override {}
    void logImpl(const LogCapture& capture) override;

private:
    std::string ident;  // syslog(3) keeps a pointer to this text
    int facility;
    std::string socketPath;
    int socketFd = -1;
    bool lossReported = false;
    std::string text;
};

}  // namespace Orvantis::Log
