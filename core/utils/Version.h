// Version.h — a three-number version value (major.minor.patch).
//
// Versions order lexicographically by major, minor and patch, compared as
// signed numbers. A version with a negative number is invalid; it still
// compares like any other (-1.0.0 < 0.0.0) and its text is "invalid".
//
// Example:
//   Utils::Version v(2, 10, 3);
//   v.toString();                       // "2.10.3"
//   v > Utils::Version(2, 9, 7);        // true: numbers, not text, compare
//   Utils::Version(1, 2, -1).isValid(); // false
#pragma once

#include "core/Export.h"

#include <string>

namespace Orvantis::Utils {

struct ORVANTIS_API Version {
    // Braces, not parentheses, below: <sys/sysmacros.h> defines function-like
    // major() and minor() macros that would otherwise expand here.
    int major{0};
    int minor{0};
    int patch{0};

    // 0.0.0
    constexpr Version() noexcept = default;
    // Stores the numbers unchanged; negative numbers make the version invalid.
    constexpr Version(int major, int minor, int patch) noexcept : major{major}, minor{minor}, patch{patch} {}

    // True when all three numbers are 0 or greater.
    constexpr bool isValid() const noexcept { return major >= 0 && minor >= 0 && patch >= 0; }

    // "major.minor.patch" in decimal, or "invalid" for an invalid version.
    std::string toString() const;
};

ORVANTIS_API bool operator==(const Version& a, const Version& b) noexcept;
ORVANTIS_API bool operator!=(const Version& a, const Version& b) noexcept;
ORVANTIS_API bool operator<(const Version& a, const Version& b) noexcept;
ORVANTIS_API bool operator<=(const Version& a, const Version& b) noexcept;
ORVANTIS_API bool operator>(const Version& a, const Version& b) noexcept;
ORVANTIS_API bool operator>=(const Version& a, const Version& b) noexcept;

// The version of this OrvantisCore library.
ORVANTIS_API Version libraryVersion();

}  // namespace Orvantis::Utils
