#include "core/filesystem/File.h"

#include "core/filesystem/Directory.h"
#include "core/filesystem/detail/BoostPath.h"
#include "core/filesystem/detail/StreamName.h"
#include "core/log/Log.h"

#include <boost/filesystem/operations.hpp>

#include <cerrno>
#include <cstring>
#include <exception>
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

void reportMissing(const Path& path) {
    ORVANTIS_LOG(Log::Error, kCategory, "File '" << path.string() << "' does not exist.");
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

}  // namespace

File::File(const std::string& path) : m_path(Path(path).createAbsolute()) {}

File::File(const Path& path) : m_path(path.createAbsolute()) {}

File::~File() = default;

bool File::exists() const {
    return m_path.exists();
}

std::string File::name() const {
    const std::string extensions = m_path.fullExtension();
    return extensions.empty() ? m_path.baseName() : m_path.baseName() + "." + extensions;
}

Path File::parentDirectory() const {
    return m_path.parentPath();
}

bool File::create() {
    if (exists()) {
        ORVANTIS_LOG(Log::Error, kCategory, "Trying to create a file that already exists.");
        return false;
    }
    std::ofstream out(detail::streamName(m_path.string()), std::ios_base::out);
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
    boost::system::error_code ec;
    bfs::remove(detail::toBoost(m_path.string()), ec);
    if (ec) {
        ORVANTIS_LOG(Log::Error, kCategory, "Error in file removal: " << ec.message());
        return false;
    }
    return true;
}

bool File::rename(const std::string& newName) {
    Path target(newName);
    if (target.isRelative()) {
        target = parentDirectory() / target;
    }
    if (target.exists()) {
        ORVANTIS_LOG(Log::Error, kCategory, "Trying to rename a file to a name that is already in use.");
        return false;
    }
    if (!exists()) {
        ORVANTIS_LOG(Log::Error, kCategory, "Trying to rename a file that does not exist.");
        return false;
    }
    boost::system::error_code ec;
    bfs::rename(detail::toBoost(m_path.string()), detail::toBoost(target.string()), ec);
    if (ec) {
        ORVANTIS_LOG(Log::Error, kCategory, "Error in file renaming: " << ec.message());
        return false;
    }
    m_path = target;
    return true;
}

unsigned long long File::size() const {
    if (!exists()) {
        return 0;
    }
    boost::system::error_code ec;
    const auto bytes = bfs::file_size(detail::toBoost(m_path.string()), ec);
    if (ec) {
        ORVANTIS_LOG(Log::Error, kCategory, "Error during retrieval of file size: " << ec.message());
        return 0;
    }
    return bytes;
}

long long File::lastModified() const {
    if (!exists()) {
        return 0;
    }
    boost::system::error_code ec;
    const std::time_t seconds = bfs::last_write_time(detail::toBoost(m_path.string()), ec);
    if (ec) {
        ORVANTIS_LOG(Log::Error, kCategory, "Error in retrieval of the last modification to a file: " << ec.message());
        return -1;
    }
    return static_cast<long long>(seconds);
}

ByteBuffer File::readBinary() const {
    if (!exists()) {
        reportMissing(m_path);
        return ByteBuffer();
    }
    try {
        std::ifstream in(detail::streamName(m_path.string()),
                         std::ios_base::in | std::ios_base::binary | std::ios_base::ate);
        if (!in.good()) {
            reportCannotOpen(m_path);
            return ByteBuffer();
        }
        const std::streamoff size = in.tellg();
        if (size < 0) {
            reportReadError(m_path, "the size of the file cannot be determined");
            return ByteBuffer();
        }
        in.seekg(0, std::ios_base::beg);
        // Reading one byte ahead shows whether the content can be read at
        // all before the buffer is allocated: a directory opens, but reports
        // a size that is no size.
        errno = 0;
        in.peek();
        if (in.bad()) {
            reportReadError(m_path, streamErrorText(errno));
            return ByteBuffer();
        }
        in.clear();
        ByteBuffer content(static_cast<size_t>(size));
        in.read(content.data(), size);
        if (in.bad()) {
            reportReadError(m_path, streamErrorText(errno));
            return ByteBuffer();
        }
        // A file that shrank since its size was taken leaves a tail that
        // was never read; it must not expose old heap memory.
        const std::streamsize got = in.gcount();
        if (got < size) {
            std::memset(content.data() + got, 0, static_cast<size_t>(size - got));
        }
        return content;
    } catch (const std::exception& e) {
        reportReadError(m_path, e.what());
        return ByteBuffer();
    }
}

std::vector<std::string> File::readText() const {
    if (!exists()) {
        reportMissing(m_path);
        return {};
    }
    try {
        std::ifstream in(detail::streamName(m_path.string()), std::ios_base::in);
        if (!in.good()) {
            reportCannotOpen(m_path);
            return {};
        }
        std::vector<std::string> lines;
        std::string line;
        errno = 0;
        while (std::getline(in, line)) {
            lines.push_back(line);
        }
        if (in.bad()) {
            reportReadError(m_path, streamErrorText(errno));
            return {};
        }
        return lines;
    } catch (const std::exception& e) {
        reportReadError(m_path, e.what());
        return {};
    }
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
    return std::ifstream(detail::streamName(m_path.string()), openMode(mode) | std::ios_base::in);
}

std::ofstream File::openForWriting(int mode) {
    return std::ofstream(detail::streamName(m_path.string()), openMode(mode) | std::ios_base::out);
}

// The written bytes are flushed before the result is decided, so that a
// write the system refuses (a full disk, a size limit) answers false rather
// than failing unnoticed when the stream closes.
bool File::writeAppendBinaryImpl(const ByteBufferView& data, int mode) {
    try {
        if (!exists()) {
            createRecursive();
        }
        std::ofstream out(detail::streamName(m_path.string()),
                          openMode(mode) | std::ios_base::binary | std::ios_base::out);
        if (!out.good()) {
            reportCannotOpen(m_path);
            return false;
        }
        errno = 0;
        if (!data.empty()) {
            out.write(data.data(), static_cast<std::streamsize>(data.size()));
        }
        out.flush();
        if (out.fail()) {
            reportWriteError(m_path, streamErrorText(errno));
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        reportWriteError(m_path, e.what());
        return false;
    }
}

bool File::writeAppendTextImpl(const std::vector<std::string>& lines, int mode) {
    try {
        if (!exists()) {
            createRecursive();
        }
        std::ofstream out(detail::streamName(m_path.string()), openMode(mode) | std::ios_base::out);
        if (!out.good()) {
            reportCannotOpen(m_path);
            return false;
        }
        errno = 0;
        for (const std::string& line : lines) {
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
            out.put('\n');
        }
        out.flush();
        if (out.fail()) {
            reportWriteError(m_path, streamErrorText(errno));
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        reportWriteError(m_path, e.what());
        return false;
    }
}

}  // namespace Orvantis::Filesystem
