#include "core/utils/Version.h"

#include <cstdio>
#include <tuple>

namespace Orvantis::Utils {

namespace {

std::tuple<int, int, int> fields(const Version& v) {
    return std::make_tuple(v.major, v.minor, v.patch);
}

// Reads "major.minor.patch" from the text that the build provides; a missing
// number stays 0.
Version parseVersion(const char* text) {
    int numbers[3] = {0, 0, 0};
    std::sscanf(text, "%d.%d.%d", &numbers[0], &numbers[1], &numbers[2]);
    return Version(numbers[0], numbers[1], numbers[2]);
}

}  // namespace

std::string Version::toString() const {
    if (!isValid()) {
        return "invalid";
    }
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

bool operator==(const Version& a, const Version& b) noexcept {
    return fields(a) == fields(b);
}

bool operator!=(const Version& a, const Version& b) noexcept {
    return fields(a) != fields(b);
}

bool operator<(const Version& a, const Version& b) noexcept {
    return fields(a) < fields(b);
}

bool operator<=(const Version& a, const Version& b) noexcept {
    return fields(a) <= fields(b);
}

bool operator>(const Version& a, const Version& b) noexcept {
    return fields(a) > fields(b);
}

bool operator>=(const Version& a, const Version& b) noexcept {
    return fields(a) >= fields(b);
}

Version libraryVersion() {
    return parseVersion(ORVANTIS_VERSION_TEXT);
}

}  // namespace Orvantis::Utils
