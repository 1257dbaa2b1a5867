#include "core/log/detail/RecordFormat.h"

#include "core/platform/detail/LocalTime.h"

#include <charconv>
#include <ctime>

namespace Orvantis::Log::detail {

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerMillisecond = 10000;

void appendNumber(std::string& out, int64_t value) {
    char digits[24];
    const auto converted = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, converted.ptr);
}

// The length of the well-formed UTF-8 sequence at the start of `s` (of
// `size` bytes, the first one at least 0x80), or 0 when it is not one.
size_t utf8Length(const unsigned char* s, size_t size) {
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (s[0] >= 0xC2 && s[0] <= 0xDF) {
        length = 2;
    } else if (s[0] >= 0xE0 && s[0] <= 0xEF) {
        length = 3;
        low = s[0] == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = s[0] == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (s[0] >= 0xF0 && s[0] <= 0xF4) {
        length = 4;
        low = s[0] == 0xF0 ? 0x90 : 0x80;
        high = s[0] == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (size < length || s[1] < low || s[1] > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

}  // namespace

const char* paddedLevelName(Level level) {
    switch (level) {
        case Trace: return "TRACE";
        case Debug: return "DEBUG";
        case Info: return "INFO ";
        case Warning: return "WARN ";
        case Error: return "ERROR";
        case Fatal: return "FATAL";
        default: return "";
    }
}

const char* lowerLevelName(Level level) {
    switch (level) {
        case Trace: return "trace";
        case Debug: return "debug";
        case Info: return "info";
        case Warning: return "warning";
        case Error: return "error";
        case Fatal: return "fatal";
        default: return "";
    }
}

void appendJsonString(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out.push_back('"');
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = bytes[i];
        if (c >= 0x80) {
            const size_t length = utf8Length(bytes + i, text.size() - i);
            if (length == 0) {
                out.append("\xEF\xBF\xBD");  // U+FFFD for a byte that starts no character
                ++i;
            } else {
                out.append(text.data() + i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            case '\t': out.append("\\t"); break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out.append("\\u00").push_back(kHex[c >> 4]);
                    out.push_back(kHex[c & 0xF]);
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
        ++i;
    }
    out.push_back('"');
}

void RecordFormatter::stamp(int64_t seconds) {
    if (seconds == stampSecond) {
        return;
    }
    const std::tm broken = Platform::detail::localTime(seconds);
    char text[64];
    // "%F %T" spelt out: older Windows C runtimes know neither.
    dateTime.assign(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &broken));
    const long east = Platform::detail::utcOffset(broken, seconds);
    const long minutes = (east < 0 ? -east : east) / 60;
    offset.assign(1, east < 0 ? '-' : '+');
    offset.push_back(static_cast<char>('0' + minutes / 600));
    offset.push_back(static_cast<char>('0' + minutes / 60 % 10));
    offset.push_back(':');
    offset.push_back(static_cast<char>('0' + minutes % 60 / 10));
    offset.push_back(static_cast<char>('0' + minutes % 10));
    stampSecond = seconds;
}

void RecordFormatter::appendText(const Sink::LogCapture& capture, std::string& out) {
    const int64_t ticks = capture.time.time_since_epoch().count();
    const int64_t seconds = ticks / kTicksPerSecond;
    stamp(seconds);
    out.append(dateTime).push_back('.');
    appendNumber(out, ticks / kTicksPerMillisecond - seconds * 1000);
    out.append(1, '\t').append(paddedLevelName(capture.level)).append(1, '\t');
    if (!capture.category.empty()) {
        out.append(1, '[').append(capture.category).append("] ");
    }
    out.append(capture.message).push_back('\n');
}

void RecordFormatter::appendJson(const Sink::LogCapture& capture, std::string& out) {
    const int64_t ticks = capture.time.time_since_epoch().count();
    // Whole seconds rounded down, so that times before 1970 keep a positive
    // millisecond part.
    int64_t seconds = ticks / kTicksPerSecond;
    if (ticks % kTicksPerSecond < 0) {
        --seconds;
    }
    const int64_t milliseconds = (ticks - seconds * kTicksPerSecond) / kTicksPerMillisecond;
    stamp(seconds);
    out.append("{\"time\":\"").append(dateTime);
    out[out.size() - 9] = 'T';  // the blank between date and time
    out.push_back('.');
    out.push_back(static_cast<char>('0' + milliseconds / 100));
    out.push_back(static_cast<char>('0' + milliseconds / 10 % 10));
    out.push_back(static_cast<char>('0' + milliseconds % 10));
    out.append(offset).append("\",\"level\":\"").append(lowerLevelName(capture.level));
    out.append("\",\"category\":");
    appendJsonString(out, capture.category);
    out.append(",\"message\":");
    appendJsonString(out, capture.message);
    out.append(",\"thread\":");
    appendNumber(out, static_cast<int64_t>(capture.thread));
    out.append("}\n");
}

}  // namespace Orvantis::Log::detail
