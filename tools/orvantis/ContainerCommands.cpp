// ContainerCommands.cpp — `orvantis pack`, `unpack` and `hash`.
//
// All three stream their data in chunks, whatever its size, and read until
// end of file (pipes, FIFOs and /proc files report no useful size). "-" is
// standard input or output. An output is written to a fresh temporary file
// and only renamed into place when everything went well, so a failure or an
// interruption leaves no half-written file. Only a regular file is ever
// replaced (with --force), and it keeps its permission bits; a symbolic link
// stays a link and the file it names is replaced, as cp does.
#include "Tool.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

namespace OrvantisTool {
namespace {

using namespace Orvantis;

std::string describe(const std::string& name, int error) {
    return (name == "-" ? "standard input" : name) + ": " + std::strerror(error);
}

// An input file read through a buffer, remembering why a read failed.
class InputFile : public std::streambuf {
public:
    explicit InputFile(const std::string& name) : name(name) {
        fd = name == "-" ? STDIN_FILENO : open(name.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info;
        const int error = fd < 0 ? errno : fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
        if (error != 0) {
            if (fd > STDIN_FILENO) {
                close(fd);
            }
            throw Failure(describe(name, error));
        }
    }
    ~InputFile() override {
        if (fd > STDIN_FILENO) {
            close(fd);
        }
    }
    // Throws when the data ended with a read error rather than end of file.
    void checkRead() const {
        if (error != 0) {
            throw Failure(describe(name, error));
        }
    }

    const std::string name;

protected:
    int_type underflow() override {
        ssize_t n;
        do {
            n = read(fd, buffer, sizeof buffer);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            return traits_type::eof();
        }
        setg(buffer, buffer, buffer + n);
        return traits_type::to_int_type(buffer[0]);
    }

private:
    int fd = -1;
    int error = 0;
    char buffer[1 << 16];
};

// The temporary file being written, for the signal handler, which may only
// make async-signal-safe calls.
char g_tempName[PATH_MAX] = {};
const int cleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void removeTempAndDie(int signal) {
    unlink(g_tempName);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// Where an output goes: a temporary file that commit() renames into place,
// or copies to standard output for "-". Until then the temporary file is
// removed when the object goes and when SIGINT, SIGTERM, SIGHUP or SIGPIPE
// arrive (unless the caller ignored them: they then stay ignored).
class OutputFile {
public:
    OutputFile(const std::string& name, bool force) : name(name), force(force) {
        mode_t mode = umask(0);
        umask(mode);
        mode = 0666 & ~mode;
        if (name == "-") {
            temp = Filesystem::Path::tempDirectory() + "/orvantis-XXXXXX";
        } else {
            target = resolve(mode);
            const size_t nameStart = target.rfind('/') + 1;  // 0 without a slash
            temp = target.substr(0, nameStart) + "." + target.substr(nameStart) + ".orvantis-XXXXXX";
        }
        const int fd = mkstemp(temp.data());
        if (fd < 0) {
            throw Failure("cannot create a temporary file beside " + name + ": " + std::strerror(errno));
        }
        if (name != "-") {  // a scratch file for standard output stays private
            fchmod(fd, mode);
        }
        if (owner.first != static_cast<uid_t>(-1) && fchown(fd, owner.first, owner.second) != 0) {
            // only the superuser can give a file away; the file stays the caller's
        }
        close(fd);
        std::strncpy(g_tempName, temp.c_str(), sizeof g_tempName - 1);
        for (int s : cleanupSignals) {
            struct sigaction previous {};
            sigaction(s, nullptr, &previous);
            if (previous.sa_handler != SIG_IGN) {
                ::signal(s, removeTempAndDie);
            }
        }
        file.open(temp, std::ios::binary | std::ios::trunc);
    }

    ~OutputFile() {
        for (int s : cleanupSignals) {
            struct sigaction current {};
            sigaction(s, nullptr, &current);
            if (current.sa_handler == removeTempAndDie) {
                ::signal(s, SIG_DFL);
            }
        }
        file.close();
        if (!committed || name == "-") {
            unlink(temp.c_str());
        }
        g_tempName[0] = '\0';
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::ostream& stream() { return file; }
    bool failed() const { return !file; }

    // Puts the finished output in place; throws Failure if that fails.
    void commit() {
        file.close();
        if (!file) {
            throw Failure(describe(name == "-" ? temp : name, errno != 0 ? errno : EIO));
        }
        if (name == "-") {
            InputFile in(temp);
            std::cout << &in;  // a failure shows in std::cout's state
            in.checkRead();
        } else if (force ? rename(temp.c_str(), target.c_str()) != 0
                         : renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
            throw Failure(errno == EEXIST ? name + ": exists (use --force to replace it)" : describe(name, errno));
        }
        committed = true;
    }

private:
    // The file to write: OUT itself, or the file a link at OUT names. Only
    // regular files are replaced; they keep their permission bits (`mode`)
    // and, where the caller may give them away, their owner.
    std::string resolve(mode_t& mode) {
        struct stat info;
        std::string path = name;
        if (lstat(name.c_str(), &info) != 0) {
            return path;
        }
        if (S_ISLNK(info.st_mode)) {
            char* real = realpath(name.c_str(), nullptr);
            if (real == nullptr || stat(real, &info) != 0) {
                std::free(real);
                throw Failure(name + ": a symbolic link to nothing (not written through)");
            }
            path = real;
            std::free(real);
        }
        if (S_ISDIR(info.st_mode)) {
            throw Failure(describe(name, EISDIR));
        }
        if (!S_ISREG(info.st_mode)) {
            throw Failure(name + ": not a regular file (only regular files are replaced)");
        }
        if (!force) {
            throw Failure(name + ": exists (use --force to replace it)");
        }
        mode = info.st_mode & 0777;  // set-id bits are not handed on to new content
        owner = {info.st_uid, info.st_gid};
        return path;
    }

    const std::string name;
    const bool force;
    std::string target;
    std::string temp;
    std::pair<uid_t, gid_t> owner{static_cast<uid_t>(-1), static_cast<gid_t>(-1)};
    std::ofstream file;
    bool committed = false;
};

// The key: --key, --key-file, $ORVANTIS_KEY, or the library's built-in key.
std::string keyOf(const Arguments& args) {
    if (args.has("key")) {
        return args.value("key");
    }
    if (args.has("key-file")) {
        const std::string name = args.value("key-file");
        InputFile in(name);
        std::istream stream(&in);
        std::string key;
        std::getline(stream, key);
        in.checkRead();
        if (key.empty()) {
            throw Failure(name + ": the key file's first line is empty");
        }
        return key;
    }
    const char* environment = std::getenv("ORVANTIS_KEY");
    return environment != nullptr ? environment : "";
}

const char* const keyHelp =
    "The key comes from --key, else the first line of --key-file, else the\n"
    "environment variable ORVANTIS_KEY, else the library's built-in key. A key\n"
    "given with --key is visible to every user of the machine in the process\n"
    "list: prefer --key-file or ORVANTIS_KEY.\n\n"
    "IN may be \"-\" (standard input), OUT \"-\" (standard output). OUT is written\n"
    "to a temporary file and renamed into place only on success. An existing OUT\n"
    "is replaced only with --force and only if it is a regular file, which keeps\n"
    "its permission bits; for a symbolic link, the file it names is replaced.";

Syntax containerSyntax(const char* about) {
    return {"IN OUT",
            about,
            {{"key", 'k', "KEY", "the scrambling key (visible to other users!)"},
             {"key-file", 0, "FILE", "read the key from the first line of FILE"},
             {"force", 'f', nullptr, "replace an existing regular file OUT"}},
            2,
            2};
}

// The library's streaming container writer or reader.
using Convert = bool (*)(std::istream& in, std::ostream& out, const char* key, std::string* error);

// Converts IN into OUT with `convert`.
int convertFile(const std::vector<std::string>& args, const char* about, Convert convert) {
    const std::string help = std::string(about) + "\n\n" + keyHelp;
    const Arguments a = parse(args, containerSyntax(help.c_str()));
    const std::string key = keyOf(a);
    InputFile in(a.operands[0]);
    std::istream input(&in);
    OutputFile out(a.operands[1], a.has("force"));
    std::string error;  // the library's reason, e.g. "wrong magic (not a container file)"
    const bool converted = convert(input, out.stream(), key.empty() ? nullptr : key.c_str(), &error);
    in.checkRead();
    if (out.failed()) {
        throw Failure(describe(a.operands[1] == "-" ? "standard output" : a.operands[1], errno != 0 ? errno : EIO));
    }
    if (!converted) {
        throw Failure((in.name == "-" ? "standard input" : in.name) + ": " + error);
    }
    out.commit();
    return 0;
}

// 33^n modulo 2^64.
unsigned long long powerOf33(size_t n) {
    unsigned long long result = 1;
    for (unsigned long long base = 33; n != 0; n >>= 1, base *= base) {
        result *= (n & 1) != 0 ? base : 1;
    }
    return result;
}

// The library's DJB2 hash of everything `in` holds, a chunk at a time: DJB2
// maps h to h * 33 + byte, so after a chunk c of n bytes the hash h becomes
// h * 33^n + (hashDJB2(c) - 5381 * 33^n).
unsigned long long hashStream(InputFile& in) {
    std::vector<char> chunk(1 << 20);
    unsigned long long hash = 5381;
    for (std::streamsize n; (n = in.sgetn(chunk.data(), static_cast<std::streamsize>(chunk.size()))) > 0;) {
        const unsigned long long factor = powerOf33(static_cast<size_t>(n));
        hash = hash * factor +
               (Cryptography::hashDJB2(ByteBufferView(chunk.data(), static_cast<size_t>(n))) - 5381 * factor);
    }
    in.checkRead();
    return hash;
}

}  // namespace

int runPack(const std::vector<std::string>& args) {
    return convertFile(args, "Compresses and scrambles IN into the container file OUT.", &Cryptography::encryptStream);
}

int runUnpack(const std::vector<std::string>& args) {
    return convertFile(args, "Restores the data held in the container file IN into OUT.", &Cryptography::decryptStream);
}

int runHash(const std::vector<std::string>& args) {
    const Arguments a = parse(args, {"FILE...",
                                     "Prints the DJB2 hash of each FILE (\"-\": standard input) in decimal, in\n"
                                     "sha256sum's layout. Unreadable files are reported; the others are still\n"
                                     "hashed, and the status is then 1.",
                                     {},
                                     1,
                                     SIZE_MAX});
    int status = 0;
    for (const std::string& name : a.operands) {
        try {
            InputFile in(name);
            std::cout << hashStream(in) << "  " << name << "\n";
        } catch (const Failure& e) {
            complain(e.what());
            status = 1;
        }
    }
    return status;
}

}  // namespace OrvantisTool
