// Directory.h — one directory named by its absolute path.
//
// A Directory is a name, not an open handle: every operation opens and
// closes what it needs. It is made absolute against the working directory
// at construction and changes only through a successful rename().
//
// Listings go through a filter: an empty std::function accepts every entry.
// scan() lists the directory itself, scanRecursive() the whole tree below
// it in pre-order (a directory before its contents); the filter decides only
// what is listed, so the walk still descends into directories it rejects.
// Symbolic links to directories are listed but never followed. Entries come
// in the order the system gives them.
//
// Example:
//   Directory logs("/var/tmp/app/logs");
//   logs.createRecursive();
//   auto texts = logs.scanRecursive([](const Path& p) { return p.extension() == "txt"; });
//
// Errors: failures are reported at level Error under the category
// "Filesystem::Directory" and answer false or an empty list. Only what Path
// lets through (a working directory that cannot be read, on Windows names
// that are not valid UTF-8) leaves an operation as an exception.
//
// Safety: no locking; a listing reflects the directory while it is read.
#pragma once

#include "core/Export.h"
#include "core/filesystem/Path.h"

#include <functional>
#include <string>
#include <vector>

namespace Orvantis::Filesystem {

class ORVANTIS_API Directory {
public:
    using Filter = std::function<bool(const Path&)>;

    explicit Directory(const std::string& path);
    explicit Directory(const Path& path);
    Directory(const Directory&) = default;
    Directory& operator=(const Directory&) = default;
    ~Directory();

    Path path() const { return absolute; }
    // The last element of the path; "" when the path ends with '/'.
    std::string name() const;
    Path parentDirectory() const;

    // Whether any entry exists at the path.
    bool exists() const;
    // Whether the directory has no entries; false, with a report, when it
    // cannot be examined.
    bool isEmpty() const;
    // Whether the directory itself holds an entry with exactly this name.
    // Never reports: a missing or unreadable directory contains nothing.
    bool contains(const std::string& name) const;

    // Creates the directory; its parent must exist.
    bool create();
    // Creates every missing ancestor, then the directory.
    bool createRecursive();
    // Removes the directory if it is empty; true when it does not exist.
    bool remove();
    // Removes the directory and everything in it. Symbolic links are removed
    // as links; what they point to is left alone.
    bool removeRecursive();
    // Renames or moves the directory; a relative name is taken within the
    // parent directory. On success path() is the new path.
    bool rename(const std::string& newName);

    // The entries of the directory itself that `filter` accepts.
    std::vector<Path> scan(const Filter& filter) const;
    // The entries at every depth that `filter` accepts, in pre-order. A
    // subdirectory that cannot be read is reported and skipped; the walk
    // goes on with the next entry of the level above.
    std::vector<Path> scanRecursive(const Filter& filter) const;

private:
    Path absolute;
};

}  // namespace Orvantis::Filesystem
