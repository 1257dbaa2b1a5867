// JournalSink.h — log records to the systemd journal (Linux only).
//
// Speaks the journal's native protocol: one datagram of "KEY=value" lines
// per record to /run/systemd/journal/socket, with the fields
//   MESSAGE            "[category] message" ("message" for no category)
//   PRIORITY           syslog priority: Trace/Debug 7, Info 6, Warning 4,
//                      Error 3, Fatal 2
//   SYSLOG_IDENTIFIER  the identifier given to the constructor
//   ORVANTIS_CATEGORY  the category
//   ORVANTIS_LEVEL     "trace", "debug", "info", "warning", "error", "fatal"
//   TID                the id of the thread that made the record
// A value holding a line feed or a zero byte is sent in the protocol's
// binary form (the key, a line feed, its length as 64-bit little-endian,
// the bytes); the bytes pass unchanged. A record too large for one datagram
// travels in a sealed memory file whose descriptor is passed instead.
//
// Example:
//   Log::addSink(std::make_unique<Log::JournalSink>("backupd"));
//   // journalctl -t backupd ORVANTIS_CATEGORY=Backup
//
// Errors: the constructor throws std::runtime_error when there is no journal
// socket (the machine does not run systemd-journald). Records that cannot be
// sent later (the journal went away) are dropped without an exception; the
// first loss after a success is reported once at Error to the other sinks.
//
// Safety: the log front end serialises logImpl.
#pragma once

#include "core/Export.h"
#include "core/log/Sink.h"

#include <string>

namespace Orvantis::Log {

class ORVANTIS_API JournalSink : public Sink {
public:
    static constexpr const char* kDefaultSocket = "/run/systemd/journal/socket";

    explicit JournalSink(const std::string& identifier, const std::string& socketPath = kDefaultSocket);
    JournalSink(const JournalSink&) = delete;
    JournalSink& operator=(const JournalSink&) = delete;
    ~JournalSink() override;

protected:
    void flush() override {}
    void logImpl(const LogCapture& capture) override;

private:
    bool send();
    bool sendThroughMemoryFile();

    std::string identifier;
    std::string socketPath;
    int socketFd = -1;
    bool lossReported = false;
    std::string datagram;
};

}  // namespace Orvantis::Log
