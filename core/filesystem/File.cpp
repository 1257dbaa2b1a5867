#include "core/filesystem/File.h"

#include "core/filesystem/Directory.h"
#include "core/filesystem/detail/BoostPath.h"
#include "core/filesystem/detail/Rename.h"
#include "core/platform/detail/StreamName.h"
#include "core/log/Log.h"

#include <boost/filesystem/operations.hpp>

#include <cerrno>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <system_error>

namespace Orvantis::Filesystem {

namespace {

namespace bfs = boost::filesystem;

constexpr char kCategory[] = "Filesystem::File";

std::ios_base::openmode openMode(int mode) {
    return static_cast<std::ios_base::openmode>(mode);
}

// The system's text for the error that made a stream fail. Streams keep no
// error code of their own; errno still holds the one of the failed call.
std::string streamErrorText(int error) {
    return error != 0 ? std::system_category().message(error) : std::string("the stream failed");
}

void reportCannotOpen(const Path& path) {
    ORVANTIS_LOG(Log::Error, kCategory, "Can not open file '" << path.string() << "'.");
}

void reportReadError(const Path& path, const std::string& what) {
    ORVANTIS_LOG(Log::Error, kCategory, "Error when reading from file '" << path.string() << "': " << what);
}

void reportWriteError(const Path& path, const std::string& what) {
    ORVANTIS_LOG(Log::Error, kCategory, "Error when writing to file '" << path.string() << "': " << what);
}

// The shared body of the read operations: refuses a missing file, opens it
// with `mode` and lets `get` read. A read error that the stream signals, or
// an exception, is reported and gives an empty result.
template <class Result, class Get>
Result readThrough(const File& file, std::ios_base::openmode mode, Get get) {
    const Path& path = file.path();
    if (!file.exists()) {
        ORVANTIS_LOG(Log::Error, kCategory, "File '" << path.string() << "' does not exist.");
        return Result();
    }
    try {
        std::ifstream in(Platform::detail::streamName(path.string()).c_str(), mode | std::ios_base::in);
        if (!in.good()) {
            reportCannotOpen(path);
            return Result();
        }
        errno = 0;
        Result result = get(in);
        if (in.bad()) {
            reportReadError(path, streamErrorText(errno));
            return Result();
        }
        return result;
    } catch (const std::exception& e) {
        reportReadError(path, e.what());
        return Result();
    }
}

// The shared body of the write operations: creates a missing file (and its
// directories), opens it with `mode`, lets `put` write, and decides. The
// bytes are flushed before the result is decided, so that a write the system
// refuses (a full disk, a size limit) answers false rather than failing
// unnoticed when the stream closes.
template <class Put>
bool writeThrough(File& file, std::ios_base::openmode mode, Put put) {
    const Path& path = file.path();
    try {
        if (!file.exists()) {
            file.createRecursive();
        }
        std::ofstream out(Platform::detail::streamName(path.string()).c_str(), mode | std::ios_base::out);
        if (!out.good()) {
            reportCannotOpen(path);
            return false;
        }
        errno = 0;
        put(out);
        out.flush();
        if (out.fail()) {
            reportWriteError(path, streamErrorText(errno));
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        reportWriteError(path, e.what());
        return false;
    }
}

}  // namespace

File::File(const std::string& path) : absolute(Path(path).createAbsolute()) {}

File::File(const Path& path) : absolute(path.createAbsolute()) {}

File::~File() = default;

bool File::exists() const {
    return absolute.exists();
}

std::string File::name() const {
    const std::string extensions = absolute.fullExtension();
    return extensions.empty() ? absolute.baseName() : absolute.baseName() + "." + extensions;
}

Path File::parentDirectory() const {
    return absolute.parentPath();
}

bool File::create() {
    if (exists()) {
        ORVANTIS_LOG(Log::Error, kCategory, "Trying to create a file that already exists.");
        return false;
    }
    std::ofstream out(Platform::detail::streamName(absolute.string()).c_str(), std::ios_base::out);
    if (!out.good()) {
        ORVANTIS_LOG(Log::Error, kCategory, "Create a file failed.");
        return false;
    }
    out.close();
    if (out.fail()) {
        ORVANTIS_LOG(Log::Error, kCategory, "Create a file failed.");
        return false;
    }
    return true;
}

bool File::createRecursive() {
    Directory parent(parentDirectory());
    if (!parent.exists()) {
        parent.createRecursive();  // a failure shows in create()
    }
    return create();
}

bool File::remove() {
    return detail::reportedCall(kCategory, "Error in file removal: ", [this](auto& ec) {
        bfs::remove(detail::toBoost(absolute.string()), ec);
    });
}

bool File::rename(const std::string& newName) {
    static const detail::RenameReports reports{kCategory, "Trying to rename a file to a name that is already in use.",
                                               "Trying to rename a file that does not exist.",
                                               "Error in file renaming: "};
    return detail::renameEntry(absolute, newName, reports);
}

unsigned long long File::size() const {
    if (!exists()) {
        return 0;
    }
    uintmax_t bytes = 0;
    const bool known = detail::reportedCall(kCategory, "Error during retrieval of file size: ", [&](auto& ec) {
        bytes = bfs::file_size(detail::toBoost(absolute.string()), ec);
    });
    return known ? bytes : 0;
}

long long File::lastModified() const {
    if (!exists()) {
        return 0;
    }
    std::time_t seconds = 0;
    const bool known =
        detail::reportedCall(kCategory, "Error in retrieval of the last modification to a file: ", [&](auto& ec) {
            seconds = bfs::last_write_time(detail::toBoost(absolute.string()), ec);
        });
    return known ? static_cast<long long>(seconds) : -1;
}

ByteBuffer File::readBinary() const {
    return readThrough<ByteBuffer>(*this, std::ios_base::binary | std::ios_base::ate, [](std::ifstream& in) {
        const std::streamoff size = in.tellg();  // at the end, because of ate
        if (size < 0) {
            throw std::runtime_error("the size of the file cannot be determined");
        }
        in.seekg(0, std::ios_base::beg);
        // Reading one byte ahead shows whether the content can be read at
        // all before the buffer is allocated: a directory opens, but reports
        // a size that is no size.
        in.peek();
        if (in.bad()) {
            return ByteBuffer();
        }
        in.clear();
        ByteBuffer content(static_cast<size_t>(size));
        in.read(content.data(), size);
        // A file that shrank since its size was taken leaves a tail that
        // was never read; it must not expose old heap memory.
        const std::streamsize got = in.gcount();
        if (got < size) {
            std::memset(content.data() + got, 0, static_cast<size_t>(size - got));
        }
        return content;
    });
}

std::vector<std::string> File::readText() const {
    return readThrough<std::vector<std::string>>(*this, std::ios_base::openmode(), [](std::ifstream& in) {
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) {
            lines.push_back(line);
        }
        return lines;
    });
}

bool File::writeBinary(const ByteBufferView& data) {
    return writeAppendBinaryImpl(data, 0);
}

bool File::appendBinary(const ByteBufferView& data) {
    return writeAppendBinaryImpl(data, std::ios_base::app);
}

bool File::writeText(const std::vector<std::string>& lines) {
    return writeAppendTextImpl(lines, 0);
}

bool File::appendText(const std::vector<std::string>& lines) {
    return writeAppendTextImpl(lines, std::ios_base::app);
}

std::ifstream File::openForReading(int mode) const {
    return std::ifstream(Platform::detail::streamName(absolute.string()).c_str(), openMode(mode) | std::ios_base::in);
}

std::ofstream File::openForWriting(int mode) {
    return std::ofstream(Platform::detail::streamName(absolute.string()).c_str(), openMode(mode) | std::ios_base::out);
}

bool File::writeAppendBinaryImpl(const ByteBufferView& data, int mode) {
    return writeThrough(*this, openMode(mode) | std::ios_base::binary, [&](std::ofstream& out) {
        if (!data.empty()) {
            out.write(data.data(), static_cast<std::streamsize>(data.size()));
        }
    });
}

bool File::writeAppendTextImpl(const std::vector<std::string>& lines, int mode) {
    return writeThrough(*this, openMode(mode), [&](std::ofstream& out) {
        for (const std::string& line : lines) {
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
            out.put('\n');
        }
    });
}

}  // namespace Orvantis::Filesystem
