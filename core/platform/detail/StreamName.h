// StreamName.h — the name a file stream is opened on. Internal to the
// library.
//
// Windows streams take the UTF-16 form of the UTF-8 path, so that names
// outside the ANSI code page work; elsewhere the UTF-8 bytes are the name.
#pragma once

#include "core/platform/Platform.h"

#include <string>

namespace Orvantis::Platform::detail {

#if defined(_WIN32)
inline std::wstring streamName(const std::string& utf8) {
    return Platform::widen(utf8);
}
#else
inline const std::string& streamName(const std::string& utf8) {
    return utf8;
}
#endif

}  // namespace Orvantis::Platform::detail
