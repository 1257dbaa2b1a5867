#include "core/log/sinks/JournalSink.h"

#if defined(__linux__)

#include "core/log/detail/RecordFormat.h"
#include "core/log/sinks/SyslogSink.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace Orvantis::Log {

namespace {

constexpr char kCategory[] = "Log::JournalSink";

void appendField(std::string& out, const char* key, const std::string& value) {
    out.append(key);
    if (value.find_first_of(std::string("\n\0", 2)) == std::string::npos) {
        out.append(1, '=').append(value).append(1, '\n');
        return;
    }
    out.append(1, '\n');
    uint64_t length = value.size();
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>(length & 0xFF));
        length >>= 8;
    }
    out.append(value).append(1, '\n');
}

sockaddr_un socketAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

}  // namespace

JournalSink::JournalSink(const std::string& journalIdentifier, const std::string& path)
    : identifier(journalIdentifier), socketPath(path) {
    struct stat info {};
    if (::stat(socketPath.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) {
        throw std::runtime_error("No systemd journal socket at '" + socketPath +
                                 "': the journal does not run on this machine.");
    }
    if (socketPath.size() >= sizeof(sockaddr_un::sun_path)) {
        throw std::runtime_error("The journal socket path '" + socketPath + "' is too long.");
    }
    socketFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socketFd < 0) {
        throw std::runtime_error("Could not create a socket for the journal: " + std::string(std::strerror(errno)));
    }
}

JournalSink::~JournalSink() {
    ::close(socketFd);
}

void JournalSink::logImpl(const LogCapture& capture) {
    datagram.clear();
    std::string message;
    if (!capture.category.empty()) {
        message.append(1, '[').append(capture.category).append("] ");
    }
    message.append(capture.message);
    appendField(datagram, "MESSAGE", message);
    appendField(datagram, "PRIORITY", std::to_string(SyslogSink::priorityOf(capture.level)));
    appendField(datagram, "SYSLOG_IDENTIFIER", identifier);
    appendField(datagram, "ORVANTIS_CATEGORY", capture.category);
    appendField(datagram, "ORVANTIS_LEVEL", detail::lowerLevelName(capture.level));
    appendField(datagram, "TID", std::to_string(capture.thread));

    if (send()) {
        lossReported = false;
    } else if (!lossReported) {
        const std::string reason = std::strerror(errno);
        lossReported = true;
        reportToOtherSinks(Error, kCategory,
                           "Could not send a record to the journal at '" + socketPath + "': " + reason);
    }
}

bool JournalSink::send() {
    const sockaddr_un address = socketAddress(socketPath);
    if (::sendto(socketFd, datagram.data(), datagram.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                 sizeof address) >= 0) {
        return true;
    }
    // Too large for a datagram: the journal also takes a sealed memory file.
    return (errno == EMSGSIZE || errno == ENOBUFS) && sendThroughMemoryFile();
}

bool JournalSink::sendThroughMemoryFile() {
    const int memory = ::memfd_create("orvantis-journal", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (memory < 0) {
        return false;
    }
    bool written = true;
    for (size_t done = 0; done < datagram.size() && written;) {
        const ssize_t n = ::write(memory, datagram.data() + done, datagram.size() - done);
        written = n > 0;
        done += written ? static_cast<size_t>(n) : 0;
    }
    bool sent = false;
    if (written && ::fcntl(memory, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0) {
        sockaddr_un address = socketAddress(socketPath);
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr header{};
        header.msg_name = &address;
        header.msg_namelen = sizeof address;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr* rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &memory, sizeof(int));
        sent = ::sendmsg(socketFd, &header, MSG_NOSIGNAL) >= 0;
    }
    const int savedErrno = errno;
    ::close(memory);
    errno = savedErrno;
    return sent;
}

}  // namespace Orvantis::Log

#endif
