#include "core/filesystem/Directory.h"

#include "core/filesystem/detail/BoostPath.h"
#include "core/filesystem/detail/Rename.h"
#include "core/log/Log.h"

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include <cstddef>
#include <vector>

namespace Orvantis::Filesystem {

namespace {

namespace bfs = boost::filesystem;

constexpr char kCategory[] = "Filesystem::Directory";
constexpr char kCreationError[] = "Error in directory creation: ";
constexpr char kRemovalError[] = "Error in directory removal: ";

// "<what><path>': <error text>", the form of every listing report.
// The path is written as a Path holds it: Boost's native form of an entry
// found in a walk has backslashes on Windows.
void reportListing(const char* what, const std::string& path, const boost::system::error_code& ec) {
    ORVANTIS_LOG(Log::Error, kCategory, what << Path(path).string() << "': " << ec.message());
}

constexpr char kScanError[] = "Error during scan of '";
constexpr char kRecursiveScanError[] = "Error during recursive scan of '";

// Whether anything exists at `path`, without a report: a path that cannot
// be examined counts as missing, and creating it reports why.
bool isPresent(const bfs::path& path) {
    boost::system::error_code ec;
    const bfs::file_status status = bfs::status(path, ec);
    return !ec && status.type() != bfs::file_not_found && status.type() != bfs::status_error;
}

bool accepts(const Directory::Filter& filter, const Path& entry) {
    return !filter || filter(entry);
}

// The open directory levels of a recursive walk, outermost first. Each
// iterator stands on the entry being visited at its depth.
using Levels = std::vector<bfs::directory_iterator>;

// Moves the walk to the next entry in pre-order after the innermost level's
// current entry has been dealt with. A level that ends is closed and its
// parent moves on; a level that cannot be read further is reported and
// abandoned the same way, keeping what was listed.
void advance(Levels& levels) {
    const bfs::directory_iterator end;
    while (!levels.empty()) {
        bfs::directory_iterator& level = levels.back();
        const std::string current = detail::fromBoost(level->path());
        boost::system::error_code ec;
        level.increment(ec);
        if (ec) {
            reportListing(kRecursiveScanError, current, ec);
        } else if (level != end) {
            return;
        }
        levels.pop_back();
    }
}

// Opens the directory that the innermost level stands on, if it is one (a
// symbolic link is never followed). Returns false when there is nothing to
// descend into; an entry that cannot be examined or opened is reported.
bool descend(Levels& levels, const std::string& current) {
    const bfs::directory_entry& entry = *levels.back();
    boost::system::error_code ec;
    const bfs::file_status status = entry.symlink_status(ec);
    if (!ec && status.type() != bfs::directory_file) {
        return false;
    }
    bfs::directory_iterator child;
    if (!ec) {
        child = bfs::directory_iterator(entry.path(), ec);
    }
    if (ec) {
        reportListing(kRecursiveScanError, current, ec);
        return false;
    }
    if (child == bfs::directory_iterator()) {
        return false;  // an empty directory
    }
    levels.push_back(std::move(child));
    return true;
}

}  // namespace

Directory::Directory(const std::string& path) : absolute(Path(path).createAbsolute()) {}

Directory::Directory(const Path& path) : absolute(path.createAbsolute()) {}

Directory::~Directory() = default;

std::string Directory::name() const {
    return absolute.filename();
}

Path Directory::parentDirectory() const {
    return absolute.parentPath();
}

bool Directory::exists() const {
    return absolute.exists();
}

bool Directory::isEmpty() const {
    bool empty = false;
    const bool known = detail::reportedCall(
        kCategory, "", [&](auto& ec) { empty = bfs::is_empty(detail::toBoost(absolute.string()), ec); });
    return known && empty;
}

bool Directory::contains(const std::string& name) const {
    try {
        const bfs::directory_iterator end;
        for (bfs::directory_iterator it(detail::toBoost(absolute.string())); it != end; ++it) {
            if (detail::fromBoost(it->path().filename()) == name) {
                return true;
            }
        }
    } catch (const bfs::filesystem_error&) {
        // A directory that cannot be listed contains nothing.
    }
    return false;
}

bool Directory::create() {
    if (exists()) {
        ORVANTIS_LOG(Log::Error, kCategory, "Trying to create a directory that already exists.");
        return false;
    }
    return detail::reportedCall(kCategory, kCreationError,
                                [this](auto& ec) { bfs::create_directory(detail::toBoost(absolute.string()), ec); });
}

bool Directory::createRecursive() {
    const bfs::path target = detail::toBoost(absolute.string());
    if (isPresent(target)) {
        ORVANTIS_LOG(Log::Error, kCategory, "Trying to create a directory that already exists.");
        return false;
    }
    // Walk up to the first ancestor that exists, remembering how long each
    // missing ancestor's text is (a parent's text is a prefix of its
    // child's). A loop rather than recursion, so that no depth of path can
    // exhaust the stack; the probes report nothing, the creation below
    // reports the one failure that matters.
    std::vector<std::size_t> missing;
    for (bfs::path parent = target.parent_path(); !parent.empty() && !isPresent(parent);) {
        missing.push_back(parent.native().size());
        bfs::path next = parent.parent_path();
        if (next.native().size() >= parent.native().size()) {
            break;  // a root that does not exist: nothing above it to create
        }
        parent = std::move(next);
    }
    // Create them outermost first; the first refusal ends the work with a
    // single report, since nothing below it can be made.
    const bfs::path::string_type& text = target.native();
    for (auto length = missing.rbegin(); length != missing.rend(); ++length) {
        const bfs::path ancestor(text.substr(0, *length));
        if (!detail::reportedCall(kCategory, kCreationError, [&](auto& ec) { bfs::create_directory(ancestor, ec); })) {
            return false;
        }
    }
    return create();
}

bool Directory::remove() {
    return detail::reportedCall(kCategory, kRemovalError,
                                [this](auto& ec) { bfs::remove(detail::toBoost(absolute.string()), ec); });
}

bool Directory::removeRecursive() {
    return detail::reportedCall(kCategory, kRemovalError,
                                [this](auto& ec) { bfs::remove_all(detail::toBoost(absolute.string()), ec); });
}

bool Directory::rename(const std::string& newName) {
    static const detail::RenameReports reports{
        kCategory, "Trying to rename a directory to a name that is already in use.",
        "Trying to rename a directory that does not exist.", "Error in directory renaming: "};
    return detail::renameEntry(absolute, newName, reports);
}

std::vector<Path> Directory::scan(const Filter& filter) const {
    std::vector<Path> result;
    if (!exists()) {
        return result;
    }
    boost::system::error_code ec;
    bfs::directory_iterator it(detail::toBoost(absolute.string()), ec);
    if (ec) {
        reportListing(kScanError, absolute.string(), ec);
        return result;
    }
    for (const bfs::directory_iterator end; it != end;) {
        const std::string current = detail::fromBoost(it->path());
        Path entry(current);
        if (accepts(filter, entry)) {
            result.push_back(std::move(entry));
        }
        it.increment(ec);
        if (ec) {
            reportListing(kScanError, current, ec);
            return std::vector<Path>();
        }
    }
    return result;
}

std::vector<Path> Directory::scanRecursive(const Filter& filter) const {
    std::vector<Path> result;
    if (!exists()) {
        return result;
    }
    boost::system::error_code ec;
    Levels levels;
    levels.emplace_back(detail::toBoost(absolute.string()), ec);
    if (ec) {
        reportListing(kRecursiveScanError, absolute.string(), ec);
        return result;
    }
    if (levels.back() == bfs::directory_iterator()) {
        return result;
    }
    // Pre-order: each entry is listed, then its contents are walked, then
    // the walk moves on to the entry's next sibling (or an ancestor's).
    while (!levels.empty()) {
        const std::string current = detail::fromBoost(levels.back()->path());
        Path entry(current);
        if (accepts(filter, entry)) {
            result.push_back(std::move(entry));
        }
        if (!descend(levels, current)) {
            advance(levels);
        }
    }
    return result;
}

}  // namespace Orvantis::Filesystem
