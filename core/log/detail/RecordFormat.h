// RecordFormat.h — the line formats that the file sinks write. Internal to
// the library.
//
// Text: "2024-05-17 14:03:09.5\tWARN \t[Backup] disk 91% full\n" (local time,
// milliseconds without leading zeros, the five-character level name).
// JSON: one object a line, {"time":"2024-05-17T14:03:09.512+02:00",
// "level":"warning","category":"Backup","message":"disk 91% full",
// "thread":1234}, always valid UTF-8: bytes that are not UTF-8 become
// U+FFFD and every control character is escaped.
#pragma once

#include "core/log/Sink.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Orvantis::Log::detail {

// "TRACE", "DEBUG", "INFO ", "WARN ", "ERROR", "FATAL"; "" for other values.
const char* paddedLevelName(Level level);
// "trace", "debug", "info", "warning", "error", "fatal"; "" for other values.
const char* lowerLevelName(Level level);

// Appends `text` as a JSON string literal, quotes included.
void appendJsonString(std::string& out, std::string_view text);

// Formats records; remembers the local time of the last second it formatted,
// so that records of the same second cost no time conversion.
class RecordFormatter {
public:
    void appendText(const Sink::LogCapture& capture, std::string& out);
    void appendJson(const Sink::LogCapture& capture, std::string& out);

private:
    // Refreshes the cached texts for `seconds` since 1970.
    void stamp(int64_t seconds);

    int64_t stampSecond = INT64_MIN;
    std::string dateTime;  // "2024-05-17 14:03:09"
    std::string offset;  // "+02:00"
};

}  // namespace Orvantis::Log::detail
