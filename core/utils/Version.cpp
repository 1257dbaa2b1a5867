#include "core/utils/Version.h"

#include <tuple>

namespace Orvantis::Utils {

namespace {

std::tuple<int, int, int> fields(const Version& v) {
    return std::make_tuple(v.major, v.minor, v.patch);
}

// Reads "major.minor.patch" from a text that the build provides.
Version parseVersion(const char* text) {
    int numbers[3] = {0, 0, 0};
    int index = 0;
    for (const char* p = text; *p != '\0' && index < 3; ++p) {
        if (*p == '.') {
            ++index;
        } else if (*p >= '0' && *p <= '9') {
            numbers[index] = numbers[index] * 10 + (*p - '0');
        }
    }
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
