// Platform.h — text conversion, operating-system error texts and
// environment variables.
//
// narrow/widen convert between the library's UTF-8 and the platform's wide
// text (UTF-16 on Windows, UTF-32 elsewhere). They never throw: invalid
// input gives "" and an Error record under "Platform::narrow()" or
// "Platform::widen()". A negative length means "up to the terminating null".
//
// The environment functions share one process-wide mutex and a cache of the
// values last read.
//
// Example:
//   std::wstring w = Platform::widen("Grüße", -1);
//   Platform::setEnvironmentVariable("MODE", "fast");
//   Platform::getEnvironmentVariable("MODE", "slow", false);  // "fast"
#pragma once

#include "core/Export.h"

#include <string>

namespace Orvantis::Platform {

ORVANTIS_API std::string narrow(const wchar_t* text, long long length = -1);
ORVANTIS_API std::wstring widen(const char* text, long long length = -1);

inline std::string narrow(const std::wstring& text) {
    return narrow(text.data(), static_cast<long long>(text.size()));
}
inline std::wstring widen(const std::string& text) {
    return widen(text.data(), static_cast<long long>(text.size()));
}

// The system's text for the calling thread's last error (GetLastError on
// Windows, errno elsewhere), returned as the system writes it.
ORVANTIS_API std::string getLastWindowsErrorMessage();

// The variable's value, or `defaultValue` when it is not set. Without
// `bypassCache` a value read before is answered from the cache.
ORVANTIS_API std::string getEnvironmentVariable(const std::string& name, const std::string& defaultValue = "",
                                                bool bypassCache = false);
// Sets the variable for this process; an empty value removes it. A failure
// is reported by an Error record.
ORVANTIS_API void setEnvironmentVariable(const std::string& name, const std::string& value);

}  // namespace Orvantis::Platform
