#include "core/platform/Platform.h"

#include "core/log/Log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace Orvantis::Platform {

namespace {

constexpr long long kMaxConversionLength = 2147483648LL;  // 2^31 units or more are refused

std::mutex environmentMutex;

std::map<std::string, std::string>& environmentCache() {
    static auto* cache = new std::map<std::string, std::string>();  // lives until unload
    return *cache;
}

// Shared steps of narrow and widen: the length rule, the empty result, the
// "too long" warning. Returns false when `count` must not be converted.
bool acceptLength(long long count, const char* category) {
    if (count == 0) {
        return false;
    }
    if (count >= kMaxConversionLength) {
        ORVANTIS_LOG(Log::Warning, category, "Input string too long.");
        return false;
    }
    return true;
}

void reportConversionError(const char* category) {
    ORVANTIS_LOG(Log::Error, category, "Error during conversion: " << getLastWindowsErrorMessage());
}

#if !defined(_WIN32)

bool isScalarValue(uint32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes one UTF-8 sequence starting at text[i]; advances i. Rejects
// truncated and overlong forms, surrogates and values above U+10FFFF.
bool decodeUtf8(const unsigned char* text, size_t count, size_t& i, uint32_t& out) {
    const unsigned char lead = text[i];
    if (lead < 0x80) {
        out = lead;
        ++i;
        return true;
    }
    size_t extra;
    uint32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, minimum = 0x80, out = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, minimum = 0x800, out = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, minimum = 0x10000, out = lead & 0x07;
    } else {
        return false;
    }
    if (count - i <= extra) {
        return false;
    }
    for (size_t k = 1; k <= extra; ++k) {
        const unsigned char next = text[i + k];
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        out = (out << 6) | (next & 0x3F);
    }
    if (out < minimum || !isScalarValue(out)) {
        return false;
    }
    i += extra + 1;
    return true;
}

// strerror_r comes in two flavours: the GNU one returns the text (maybe a
// static one, not the buffer), the POSIX one fills the buffer and returns 0.
[[maybe_unused]] std::string strerrorText(const char* text, const char*) {
    return text != nullptr ? std::string(text) : std::string();
}
[[maybe_unused]] std::string strerrorText(int rc, const char* buffer) {
    return rc == 0 ? std::string(buffer) : std::string();
}

#endif

}  // namespace

std::string narrow(const wchar_t* text, long long length) {
    const long long count = length < 0 ? static_cast<long long>(std::wcslen(text)) : length;
    if (!acceptLength(count, "Platform::narrow()")) {
        return std::string();
    }
#if defined(_WIN32)
    const int units = static_cast<int>(count);
    const int needed = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, units, nullptr, 0, nullptr, nullptr);
    if (needed != 0) {
        std::string result(static_cast<size_t>(needed), '\0');
        const int written =
            WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, units, result.data(), needed, nullptr, nullptr);
        if (written != 0) {
            result.resize(static_cast<size_t>(written));
            return result;
        }
    }
    reportConversionError("Platform::narrow()");
    return std::string();
#else
    std::string result;
    result.reserve(static_cast<size_t>(count));
    for (long long i = 0; i < count; ++i) {
        const auto c = static_cast<uint32_t>(text[i]);
        if (!isScalarValue(c)) {
            errno = EILSEQ;
            reportConversionError("Platform::narrow()");
            return std::string();
        }
        appendUtf8(result, c);
    }
    return result;
#endif
}

std::wstring widen(const char* text, long long length) {
    const long long count = length < 0 ? static_cast<long long>(std::strlen(text)) : length;
    if (!acceptLength(count, "Platform::widen()")) {
        return std::wstring();
    }
#if defined(_WIN32)
    const int units = static_cast<int>(count);
    const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, units, nullptr, 0);
    if (needed != 0) {
        std::wstring result(static_cast<size_t>(needed), L'\0');
        const int written = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, units, result.data(), needed);
        if (written != 0) {
            result.resize(static_cast<size_t>(written));
            return result;
        }
    }
    reportConversionError("Platform::widen()");
    return std::wstring();
#else
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const auto size = static_cast<size_t>(count);
    std::wstring result;
    result.reserve(size);
    for (size_t i = 0; i < size;) {
        uint32_t c = 0;
        if (!decodeUtf8(bytes, size, i, c)) {
            errno = EILSEQ;
            reportConversionError("Platform::widen()");
            return std::wstring();
        }
        result.push_back(static_cast<wchar_t>(c));
    }
    return result;
#endif
}

std::string getLastWindowsErrorMessage() {
#if defined(_WIN32)
    const DWORD code = GetLastError();
    LPWSTR buffer = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (buffer == nullptr) {
        return std::string();
    }
    std::string text = narrow(buffer, -1);
    LocalFree(buffer);
    return text;
#else
    const int code = errno;
    char buffer[256] = {};
    return strerrorText(strerror_r(code, buffer, sizeof buffer), buffer);
#endif
}

namespace {

#if defined(_WIN32)
// Each byte becomes one UTF-16 unit of its value as a signed char: ASCII is
// unchanged, bytes 0x80..0xFF become 0xFF80..0xFFFF.
std::wstring widenBytewise(const std::string& text) {
    std::wstring result;
    result.reserve(text.size());
    for (const char c : text) {
        result.push_back(static_cast<wchar_t>(static_cast<signed char>(c)));
    }
    return result;
}
#endif

// Reads the variable from the process environment; false when unset.
bool readSystemVariable(const std::string& name, std::string& value) {
#if defined(_WIN32)
    const wchar_t* raw = _wgetenv(widenBytewise(name).c_str());
    if (raw == nullptr) {
        return false;
    }
    value = narrow(raw, -1);
    return true;
#else
    const char* raw = std::getenv(name.c_str());
    if (raw == nullptr) {
        return false;
    }
    value = raw;
    return true;
#endif
}

// Writes the variable; an empty value removes it. False on failure.
bool writeSystemVariable(const std::string& name, const std::string& value) {
#if defined(_WIN32)
    return _wputenv_s(widenBytewise(name).c_str(), widenBytewise(value).c_str()) == 0;
#else
    if (value.empty()) {
        // unsetenv accepts names that setenv refuses; keep both strict.
        if (name.empty() || name.find('=') != std::string::npos) {
            return false;
        }
        return ::unsetenv(name.c_str()) == 0;
    }
    return ::setenv(name.c_str(), value.c_str(), 1) == 0;
#endif
}

}  // namespace

std::string getEnvironmentVariable(const std::string& name, const std::string& defaultValue, bool bypassCache) {
    std::lock_guard<std::mutex> lock(environmentMutex);
    auto& cache = environmentCache();
    if (!bypassCache) {
        const auto it = cache.find(name);
        if (it != cache.end()) {
            return it->second;
        }
    }
    std::string value;
    if (!readSystemVariable(name, value)) {
        cache.erase(name);
        return defaultValue;
    }
    cache[name] = value;
    return value;
}

void setEnvironmentVariable(const std::string& name, const std::string& value) {
    {
        std::lock_guard<std::mutex> lock(environmentMutex);
        if (!writeSystemVariable(name, value)) {
            ORVANTIS_LOG(Log::Error, "",
                         "Could not set the environment variable " << name << " to the value " << value);
        }
    }
    getEnvironmentVariable(name, "", true);
}

}  // namespace Orvantis::Platform
