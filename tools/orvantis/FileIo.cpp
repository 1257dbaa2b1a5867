#include "FileIo.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <iostream>
#include <iterator>
#include <stdexcept>

namespace OrvantisTool {

namespace {

std::runtime_error failure(const std::string& what, const std::string& name, int error) {
    return std::runtime_error(what + " " + name + ": " + std::strerror(error));
}

// The temporary file of the running writeFileAtomically, for the signal
// handler (which may only use async-signal-safe calls).
char g_tempName[PATH_MAX] = {};

void removeTempAndDie(int signal) {
    if (g_tempName[0] != '\0') {
        unlink(g_tempName);
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

// Removes the temporary file on interruption while it lives.
class TempFileGuard {
public:
    explicit TempFileGuard(const std::string& name) {
        std::strncpy(g_tempName, name.c_str(), sizeof(g_tempName) - 1);
        for (int s : signals) {
            previous[index(s)] = std::signal(s, &removeTempAndDie);
        }
    }
    ~TempFileGuard() {
        for (int s : signals) {
            std::signal(s, previous[index(s)]);
        }
        if (!kept) {
            unlink(g_tempName);
        }
        g_tempName[0] = '\0';
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;

    // The file has been renamed into place: nothing to remove any more.
    void keep() { kept = true; }

private:
    static constexpr int signals[] = {SIGINT, SIGTERM, SIGHUP};
    static int index(int s) { return s == SIGINT ? 0 : s == SIGTERM ? 1 : 2; }

    void (*previous[3])(int) = {};
    bool kept = false;
};

std::string directoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Renames without replacing an existing target where the file system can do
// that atomically; elsewhere checks first.
bool renameNoReplace(const std::string& from, const std::string& to) {
#if defined(RENAME_NOREPLACE)
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
#endif
    struct stat info;
    if (lstat(to.c_str(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

Orvantis::ByteBuffer readWholeFile(const std::string& name) {
    if (name == "-") {
        std::string all(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>{});
        return Orvantis::ByteBuffer(all);
    }
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw failure("cannot read", name, errno);
    }
    struct stat info;
    const int statError = fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
    if (statError != 0) {
        close(fd);
        throw failure("cannot read", name, statError);
    }
    Orvantis::ByteBuffer content(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = read(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;  // 0: the file shrank while being read
            close(fd);
            throw failure("cannot read", name, error);
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
    return content;
}

void writeFileAtomically(const std::string& out, bool overwrite,
                         const std::function<void(const std::string& tempName)>& write) {
    struct stat info;
    if (!overwrite && lstat(out.c_str(), &info) == 0) {
        throw std::runtime_error(out + " exists (use --force to replace it)");
    }
    std::string tempName = directoryOf(out) + "/." + baseNameOf(out) + ".orvantis-XXXXXX";
    const int fd = mkstemp(tempName.data());
    if (fd < 0) {
        throw failure("cannot create a temporary file beside", out, errno);
    }
    // mkstemp creates the file private; give it the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);

    TempFileGuard guard(tempName);
    write(tempName);
    const bool renamed = overwrite ? std::rename(tempName.c_str(), out.c_str()) == 0
                                   : renameNoReplace(tempName, out);
    if (!renamed) {
        if (errno == EEXIST) {
            throw std::runtime_error(out + " exists (use --force to replace it)");
        }
        throw failure("cannot write", out, errno);
    }
    guard.keep();
}

CapturedStdout::CapturedStdout() : previous(std::cout.rdbuf(buffer.rdbuf())) {}

CapturedStdout::~CapturedStdout() {
    std::cout.rdbuf(previous);
}

std::string CapturedStdout::oneLine() const {
    std::string text = Orvantis::String::trimCopy(buffer.str());
    Orvantis::String::replaceAll(text, "\n", "; ");
    return text;
}

}  // namespace OrvantisTool
