// UrlSupport.h — test helpers for Url: the five stored components and a
// readable gtest printout.
#pragma once

#include "core/filesystem/Url.h"

#include <array>
#include <ostream>
#include <string>

namespace Orvantis::Filesystem {

inline void PrintTo(const Url& url, std::ostream* os) {
    *os << "Url(\"" << url.string() << "\")";
}

inline void PrintTo(const Url::Subquery& item, std::ostream* os) {
    *os << "Subquery(\"" << static_cast<std::string>(item) << "\")";
}

}  // namespace Orvantis::Filesystem

namespace OrvantisTest {

// Scheme (with ':'), authority (with "//"), path, query (with '?') and
// fragment (with '#') exactly as stored, each cut out by formatting with every
// other component left out.
using UrlParts = std::array<std::string, 5>;

inline UrlParts storedParts(const Orvantis::Filesystem::Url& url) {
    constexpr uint32_t scheme = 0x01, authority = 0x1E, path = 0x20, query = 0x40, fragment = 0x80;
    constexpr uint32_t all = scheme | authority | path | query | fragment;
    // Leaving out only the scheme bit keeps the authority exactly as stored.
    return {url.string(all & ~scheme), url.string(scheme | path | query | fragment), url.string(all & ~path),
            url.string(all & ~query), url.string(all & ~fragment)};
}

// Empty string when the parts tile the stored text in order, each non-empty
// part carrying its delimiter; otherwise a description of the first fault.
inline std::string describeLayoutFault(const Orvantis::Filesystem::Url& url) {
    const UrlParts p = storedParts(url);
    if (p[0] + p[1] + p[2] + p[3] + p[4] != url.string()) {
        return "parts do not tile the text";
    }
    if (!p[0].empty() && p[0].back() != ':') {
        return "scheme without ':'";
    }
    if (!p[1].empty() && p[1].compare(0, 2, "//") != 0) {
        return "authority without \"//\"";
    }
    if (!p[3].empty() && p[3][0] != '?') {
        return "query without '?'";
    }
    if (!p[4].empty() && p[4][0] != '#') {
        return "fragment without '#'";
    }
    return "";
}

}  // namespace OrvantisTest
