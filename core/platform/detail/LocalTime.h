// LocalTime.h — local time of a count of seconds since 1970, the same on
// every platform. Internal to the library.
#pragma once

#include <cstdint>
#include <ctime>

namespace Orvantis::Platform::detail {

// Broken-down local time by the machine's zone and daylight-saving rules.
inline std::tm localTime(int64_t seconds) {
    std::tm broken{};
#if defined(_WIN32)
    const __time64_t t = seconds;
    _localtime64_s(&broken, &t);
#else
    const std::time_t t = static_cast<std::time_t>(seconds);
    ::localtime_r(&t, &broken);
#endif
    return broken;
}

// Seconds east of UTC of `broken`, the local time that localTime(seconds) gave.
inline long utcOffset(const std::tm& broken, int64_t seconds) {
#if defined(_WIN32)
    std::tm copy = broken;
    return static_cast<long>(_mkgmtime64(&copy) - seconds);
#else
    (void)seconds;
    return broken.tm_gmtoff;
#endif
}

}  // namespace Orvantis::Platform::detail
