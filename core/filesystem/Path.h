// Path.h — a location in the file system as one UTF-8 string.
//
// A Path stores its text with every backslash turned into '/' and changes
// nothing else: repeated separators, "." and ".." elements, letter case and
// a trailing separator all stay as given. The lexical operations (joining,
// parent, file name, extensions) and the file-system queries are carried out
// with boost::filesystem (version 3 rules).
//
// Joining is textual and the same on every platform: the right side is
// appended, with one '/' in between unless the right side starts with a
// separator or the left side is empty or ends in ':', '/' or '\'.
//
// Example:
//   Path p("data\\archive.tar.gz");
//   p.string();          // "data/archive.tar.gz"
//   p.baseName();        // "archive"
//   p.fullExtension();   // "tar.gz"
//   (Path("a") / "b");   // "a/b"
//   Path("/a/b/c").createRelativeTo(Path("/a/d"));  // "../b/c"
//
// Errors: file-system queries report problems at level Error under the
// category "Filesystem::Path" and answer false or the empty path. Failing to
// read the working or temporary directory raises
// boost::filesystem::filesystem_error; on Windows, text that is not valid
// UTF-8 raises boost::system::system_error. Nothing else is thrown.
//
// Safety: a Path is a plain value; distinct objects may be used on distinct
// threads. Operations on relative paths depend on the process's working
// directory, which any thread may change.
#pragma once

#include "core/Export.h"

#include <ostream>
#include <string>

namespace Orvantis::Filesystem {

class ORVANTIS_API Path {
public:
    // Stores `path` with its backslashes turned into '/'. Implicit: a string
    // names a path wherever a Path is expected.
    Path(const std::string& path);  // NOLINT
    // `directory` joined with `name` by the join rule.
    Path(const std::string& directory, const std::string& name);
    Path(const Path&) = default;
    Path& operator=(const Path&) = default;
    ~Path();

    // The empty path, made when the library is loaded.
    static const Path emptyPath;

    // Byte-wise comparison of the stored texts; a string is compared as it
    // is, so a path never equals a string that contains a backslash.
    bool operator==(const Path& other) const { return stored == other.stored; }
    bool operator!=(const Path& other) const { return stored != other.stored; }
    bool operator==(const std::string& other) const { return stored == other; }
    bool operator!=(const std::string& other) const { return stored != other; }
    bool operator==(const char* other) const { return stored == other; }
    bool operator!=(const char* other) const { return stored != other; }
    // Byte-wise order of the stored texts, for sorting and ordered containers.
    bool operator<(const Path& other) const { return stored < other.stored; }

    // This path joined with `other` by the join rule.
    Path operator/(const Path& other) const;
    Path operator/(const std::string& other) const;
    Path operator/(const char* other) const;

    std::string string() const { return stored; }

    // The last element; "" when the text ends with '/'.
    std::string filename() const;
    // The file name without any extension ("archive" for "archive.tar.gz").
    std::string baseName() const;
    // The last extension without its dot ("gz").
    std::string extension() const;
    // Every extension without the first dot ("tar.gz").
    std::string fullExtension() const;
    // The path without its last element.
    Path parentPath() const;

    // True when the path has a root directory (and, on Windows, a root name).
    bool isAbsolute() const;
    bool isRelative() const { return !isAbsolute(); }

    // This path if absolute, else the working directory joined with it.
    Path createAbsolute() const;
    // The canonical form of an existing path ("." and ".." removed, links
    // resolved); the empty path for a path that does not exist.
    Path createCanonical() const;
    // This path relative to the absolute `base`; the empty path when `base`
    // is relative, this path unchanged when the two share no root.
    Path createRelativeTo(const Path& base) const;

    // Whether any entry exists at the path; a missing entry is not reported.
    bool exists() const;
    // The kind of the entry at the path as given (not made absolute). Every
    // failure, a missing entry included, is reported.
    bool isDirectory() const;
    bool isFile() const;
    bool isSymlink() const;

    // The process's current directory and the system's directory for
    // temporary files, with forward slashes.
    static std::string workingDirectory();
    static std::string tempDirectory();

private:
    std::string stored;
};

inline bool operator==(const std::string& text, const Path& path) {
    return path == text;
}
inline bool operator!=(const std::string& text, const Path& path) {
    return path != text;
}
inline bool operator==(const char* text, const Path& path) {
    return path == text;
}
inline bool operator!=(const char* text, const Path& path) {
    return path != text;
}

inline std::ostream& operator<<(std::ostream& out, const Path& path) {
    return out << path.string();
}

}  // namespace Orvantis::Filesystem
