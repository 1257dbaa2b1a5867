// UrlLocalFile.cpp — conversion between "file" URLs and local paths, and the
// resolution of a relative URL or path against a base directory.
#include "core/filesystem/Url.h"

#include "core/filesystem/Path.h"

#include <exception>

namespace Orvantis::Filesystem {

namespace {

constexpr char kFilePrefix[] = "file:";
constexpr size_t kFilePrefixLength = sizeof(kFilePrefix) - 1;

}  // namespace

Url Url::fromLocalFile(const std::string& path) {
    size_t begin = path.compare(0, kFilePrefixLength, kFilePrefix) == 0 ? kFilePrefixLength : 0;
    std::string authority;
    if (path.compare(begin, 2, "//") == 0) {
        begin += 2;
        authority = "//";
    }

    // Only the last '?' starts a query; without one, a '#' belongs to the
    // path. The skipped prefix holds no '?', so the query lies behind it.
    std::string query;
    std::string fragment;
    const size_t question = path.rfind('?');
    if (question != std::string::npos) {
        query = path.substr(question + 1);
        const size_t hash = query.find('#');
        if (hash != std::string::npos) {
            fragment = query.substr(hash + 1);
            query.erase(hash);
        }
    }
    const std::string localPath =
        path.substr(begin, question != std::string::npos ? question - begin : std::string::npos);

    if (authority.empty() && Path(localPath).isAbsolute()) {
        authority = "//";
    }
    return Url("file", authority, localPath, query, fragment);
}

Url::Url(const Path& path) : Url(fromLocalFile(path.string())) {}

Path Url::toLocalFile() const {
    if (scheme() != "file") {
        return Path::emptyPath;
    }
    return Path(path());
}

Url Url::relativeTo(const std::string& url, const std::string& base, bool isLocalPath) {
    Url result = isLocalPath ? fromLocalFile(url) : Url(url);

    const std::string p = result.path();
    if (Path(p).isRelative()) {
        std::string joined = prependIfAbsent('/', base);
        const bool baseEndsInSeparator = !joined.empty() && (joined.back() == '/' || joined.back() == '\\');
        const bool pathStartsWithSeparator = !p.empty() && (p.front() == '/' || p.front() == '\\');
        if (!joined.empty() && !baseEndsInSeparator && !pathStartsWithSeparator) {
            joined += '/';
        }
        joined += p;
        result.setPath(joined);
        result.normalizePath();
    }

    bool local = isLocalPath;
    if (!local) {
        // Whether the path names an existing entry; a working directory
        // that cannot be determined means it does not.
        try {
            local = Path(result.path()).exists();
        } catch (const std::exception&) {
            local = false;
        }
    }
    if (local) {
        if (result.scheme().empty()) {
            result.setScheme("file");
        }
        if (!result.hasAuthority()) {
            result.setAuthority("//");
        }
    }
    return result;
}

}  // namespace Orvantis::Filesystem
