#include "core/log/sinks/SyslogSink.h"

#include "core/platform/detail/LocalTime.h"

#if !defined(_WIN32)

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace Orvantis::Log {

namespace {

constexpr char kCategory[] = "Log::SyslogSink";

}  // namespace

SyslogSink::SyslogSink(const std::string& syslogIdent, int syslogFacility, const std::string& path)
    : ident(syslogIdent), facility(syslogFacility), socketPath(path) {
    if (socketPath.empty()) {
        ::openlog(ident.c_str(), LOG_PID, facility);
    } else {
        socketFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    }
}

SyslogSink::~SyslogSink() {
    if (socketFd >= 0) {
        ::close(socketFd);
    } else if (socketPath.empty()) {
        ::closelog();
    }
}

int SyslogSink::priorityOf(Level level) {
    switch (level) {
        case Trace:
        case Debug: return LOG_DEBUG;
        case Info: return LOG_INFO;
        case Warning: return LOG_WARNING;
        case Error: return LOG_ERR;
        case Fatal: return LOG_CRIT;
        default: return LOG_DEBUG;
    }
}

void SyslogSink::logImpl(const LogCapture& capture) {
    const int priority = priorityOf(capture.level);
    text.clear();
    if (socketPath.empty()) {
        if (!capture.category.empty()) {
            text.append(1, '[').append(capture.category).append("] ");
        }
        text.append(capture.message);
        ::syslog(facility | priority, "%s", text.c_str());
        return;
    }

    // The traditional datagram that syslog(3) sends too.
    const std::tm broken = Platform::detail::localTime(std::time(nullptr));
    char stamp[32];
    const size_t stampLength = std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &broken);
    text.append(1, '<').append(std::to_string(facility | priority)).append(1, '>');
    text.append(stamp, stampLength).append(1, ' ').append(ident);
    text.append(1, '[').append(std::to_string(::getpid())).append("]: ");
    if (!capture.category.empty()) {
        text.append(1, '[').append(capture.category).append("] ");
    }
    text.append(capture.message);

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    errno = EBADF;  // what a socket that could not be created means
    const bool sent = socketFd >= 0 && ::sendto(socketFd, text.data(), text.size(), MSG_NOSIGNAL,
                                                reinterpret_cast<const sockaddr*>(&address), sizeof address) >= 0;
    if (sent) {
        lossReported = false;
    } else if (!lossReported) {
        const std::string reason = std::strerror(errno);
        lossReported = true;
        reportToOtherSinks(Error, kCategory,
                           "Could not send a record to the syslog socket '" + socketPath + "': " + reason);
    }
}

}  // namespace Orvantis::Log

#endif
