#include "core/filesystem/Path.h"

#include "core/filesystem/detail/BoostPath.h"
#include "core/log/Log.h"

#include <boost/filesystem/operations.hpp>
#include <boost/locale/generator.hpp>
#include <boost/locale/info.hpp>

#include <algorithm>
#include <cstddef>
#include <exception>
#include <locale>

namespace Orvantis::Filesystem {

namespace {

constexpr char kCategory[] = "Filesystem::Path";

// The locale whose narrow encoding boost uses for path strings: the system
// default, or its UTF-8 counterpart when the environment names another
// encoding (a plain "C" locale is ASCII), so that narrow paths are UTF-8
// whatever the process was started with.
std::locale utf8PathLocale() {
    boost::locale::generator generator;
    try {
        std::locale system = generator("");
        if (std::use_facet<boost::locale::info>(system).utf8()) {
            return system;
        }
    } catch (const std::exception&) {
        // An environment locale that cannot be built: fall through.
    }
    return generator("C.UTF-8");
}

// Sets boost's path conversion facet once, while the library is loaded and
// before emptyPath below is made. On Windows this is what turns the UTF-8
// text of a Path into the wide names of the system; elsewhere paths are bytes
// and only explicit wide conversions consult it.
struct PathConversionSetup {
    PathConversionSetup() {
        try {
            boost::filesystem::path::imbue(utf8PathLocale());
        } catch (const std::exception&) {
            // Keep boost's own facet rather than failing the load.
        }
    }
};
const PathConversionSetup pathConversionSetup;

// Turns every backslash into '/'; nothing else changes.
std::string normalise(std::string text) {
#if defined(_WIN32)
    // The round trip through the wide form rejects text that is not UTF-8.
    std::wstring wide = detail::toBoost(text).wstring();
    std::replace(wide.begin(), wide.end(), L'\\', L'/');
    return detail::fromBoost(boost::filesystem::path(wide));
#else
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
#endif
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// The version 3 operator/= of boost, applied to the texts (not normalised).
std::string join(const std::string& left, const std::string& right) {
    if (right.empty()) {
        return left;
    }
    if (isSeparator(right.front()) || left.empty() || left.back() == ':' || isSeparator(left.back())) {
        return left + right;
    }
    std::string result;
    result.reserve(left.size() + 1 + right.size());
    result.append(left).append(1, '/').append(right);
    return result;
}

bool endsWithSeparator(const std::string& text) {
    return !text.empty() && text.back() == '/';
}

// Where the extensions of a file name begin. Repeats the version 3 rules of
// boost's extension() and stem() (the extension runs from the last '.'; "."
// and ".." have none) until no extension is left, as one backward scan
// rather than one copy of the name per dot.
std::size_t extensionsStart(const std::string& name) {
    std::size_t end = name.size();
    while (end > 0) {
        const bool dotOrDotDot = name[0] == '.' && (end == 1 || (end == 2 && name[1] == '.'));
        const std::size_t dot = name.rfind('.', end - 1);
        if (dotOrDotDot || dot == std::string::npos) {
            break;
        }
        end = dot;
    }
    return end;
}

// The status query shared by isDirectory, isFile and isSymlink: every error
// is reported and answers false.
template <class Query, class Accept>
bool queryKind(const std::string& text, Query query, Accept accept) {
    boost::system::error_code ec;
    const boost::filesystem::file_status status = query(detail::toBoost(text), ec);
    if (ec) {
        ORVANTIS_LOG(Log::Error, kCategory, ec.message());
        return false;
    }
    return accept(status);
}

}  // namespace

const Path Path::emptyPath{std::string()};

Path::Path(const std::string& path) : stored(normalise(path)) {}

Path::Path(const std::string& directory, const std::string& name) : stored(normalise(join(directory, name))) {}

Path::~Path() = default;

Path Path::operator/(const Path& other) const {
    return Path(stored, other.stored);
}

Path Path::operator/(const std::string& other) const {
    return Path(stored, other);
}

Path Path::operator/(const char* other) const {
    return Path(stored, std::string(other));
}

std::string Path::filename() const {
    if (endsWithSeparator(stored)) {
        return std::string();
    }
    return detail::fromBoost(detail::toBoost(stored).filename());
}

std::string Path::baseName() const {
    if (endsWithSeparator(stored)) {
        return std::string();
    }
    const std::string name = detail::fromBoost(detail::toBoost(stored).filename());
    return name.substr(0, extensionsStart(name));
}

std::string Path::extension() const {
    const std::string dotted = detail::fromBoost(detail::toBoost(stored).extension());
    return dotted.empty() ? dotted : dotted.substr(1);
}

std::string Path::fullExtension() const {
    const std::string name = detail::fromBoost(detail::toBoost(stored).filename());
    const std::size_t start = extensionsStart(name);
    // All extensions without the first dot.
    return start < name.size() ? name.substr(start + 1) : std::string();
}

Path Path::parentPath() const {
    return Path(detail::fromBoost(detail::toBoost(stored).parent_path()));
}

bool Path::isAbsolute() const {
    return detail::toBoost(stored).is_absolute();
}

Path Path::createAbsolute() const {
    if (isAbsolute()) {
        return *this;
    }
    return Path(workingDirectory(), stored);
}

Path Path::createCanonical() const {
    std::string text;
    if (exists()) {
        const Path absolute = createAbsolute();
        const boost::filesystem::path base = boost::filesystem::current_path();
        boost::system::error_code ec;
        const boost::filesystem::path canonical =
            boost::filesystem::canonical(detail::toBoost(absolute.stored), base, ec);
        if (ec) {
            ORVANTIS_LOG(Log::Error, kCategory, "An error occurred while resolving the symbolic link.");
        } else {
            text = detail::fromBoost(canonical);
        }
    }
    return Path(text);
}

Path Path::createRelativeTo(const Path& base) const {
    if (!base.isAbsolute()) {
        return emptyPath;
    }
    const boost::filesystem::path self = detail::toBoost(createAbsolute().stored);
    const boost::filesystem::path other = detail::toBoost(base.createAbsolute().stored);

    // Skip the common leading elements.
    auto a = self.begin();
    auto b = other.begin();
    while (a != self.end() && b != other.end() && *a == *b) {
        ++a;
        ++b;
    }
    if (a == self.begin() && b == other.begin()) {
        return *this;  // no common root: nothing to be relative to
    }
    if (a == self.end() && b == other.end()) {
        return Path(".");
    }

    // How many levels the rest of the base climbs down.
    long long depth = 0;
    for (; b != other.end(); ++b) {
        if (*b == "..") {
            --depth;
        } else if (!b->empty() && *b != ".") {
            ++depth;
        }
    }
    if (depth < 0) {
        return *this;
    }
    if (depth == 0 && (a == self.end() || a->empty())) {
        return Path(".");
    }

    std::string result;
    for (long long i = 0; i < depth; ++i) {
        result = join(result, "..");
    }
    for (; a != self.end(); ++a) {
        result = join(result, detail::fromBoost(*a));
    }
    return Path(result);
}

bool Path::exists() const {
    const Path absolute = createAbsolute();
    boost::system::error_code ec;
    const boost::filesystem::file_status status = boost::filesystem::status(detail::toBoost(absolute.stored), ec);
    if (ec) {
        if (ec != boost::system::errc::no_such_file_or_directory) {
            ORVANTIS_LOG(Log::Error, kCategory, ec.message());
        }
        return false;
    }
    return status.type() != boost::filesystem::status_error && status.type() != boost::filesystem::file_not_found;
}

bool Path::isDirectory() const {
    return queryKind(
        stored, [](const auto& p, auto& ec) { return boost::filesystem::status(p, ec); },
        [](const boost::filesystem::file_status& s) { return s.type() == boost::filesystem::directory_file; });
}

bool Path::isFile() const {
    return queryKind(
        stored, [](const auto& p, auto& ec) { return boost::filesystem::status(p, ec); },
        [](const boost::filesystem::file_status& s) { return s.type() == boost::filesystem::regular_file; });
}

bool Path::isSymlink() const {
    return queryKind(
        stored, [](const auto& p, auto& ec) { return boost::filesystem::symlink_status(p, ec); },
        [](const boost::filesystem::file_status& s) { return s.type() == boost::filesystem::symlink_file; });
}

std::string Path::workingDirectory() {
    return Path(detail::fromBoost(boost::filesystem::current_path())).stored;
}

std::string Path::tempDirectory() {
    return Path(detail::fromBoost(boost::filesystem::temp_directory_path())).stored;
}

}  // namespace Orvantis::Filesystem
