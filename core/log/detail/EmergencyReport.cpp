#include "core/log/detail/EmergencyReport.h"

#include "core/platform/detail/LocalTime.h"

#if !defined(_WIN32)

#include <atomic>
#include <cstdint>
#include <ctime>

#include <unistd.h>

namespace Orvantis::Log::detail {

namespace {

constexpr size_t kMaxDescriptors = 32;
constexpr int kNoDescriptor = -1;

std::atomic<int> g_descriptors[kMaxDescriptors] = {
    kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor,
    kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor,
    kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor,
    kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor,
    kNoDescriptor, kNoDescriptor, kNoDescriptor, kNoDescriptor};
// Seconds east of UTC, taken when a descriptor was registered: localtime_r
// is not async-signal-safe, so the crash-time stamp uses this offset.
std::atomic<long> g_utcOffset{0};

// Text assembled in a fixed buffer; whatever does not fit is cut off.
class Text {
public:
    void append(const char* text) {
        while (*text != '\0') {
            put(*text++);
        }
    }
    void put(char c) {
        if (used < sizeof bytes) {
            bytes[used++] = c;
        }
    }
    // `value` in decimal, at least `width` digits.
    void decimal(uint64_t value, int width = 1) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 || n < width);
        while (n > 0) {
            put(digits[--n]);
        }
    }
    // "0x" and 16 upper-case hexadecimal digits, as stack traces show
    // addresses without a name.
    void address(const void* pointer) {
        const auto value = reinterpret_cast<uintptr_t>(pointer);
        append("0x");
        for (int shift = 60; shift >= 0; shift -= 4) {
            put("0123456789ABCDEF"[(value >> shift) & 0xF]);
        }
    }
    void writeTo(int fd) const {
        size_t done = 0;
        while (done < used) {
            const ssize_t n = ::write(fd, bytes + done, used - done);
            if (n <= 0) {
                return;  // nothing to be done about it now
            }
            done += static_cast<size_t>(n);
        }
    }

private:
    char bytes[8192];
    size_t used = 0;
};

// "YYYY-MM-DD HH:MM:SS.mmm" of `seconds` since 1970 (already shifted to
// local time) and `milliseconds`, by the proleptic Gregorian calendar.
void appendTimeStamp(Text& text, int64_t seconds, long milliseconds) {
    int64_t days = seconds / 86400;
    int64_t secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    // Days since 1970 to year, month and day (400-year eras from 0000-03-01).
    const int64_t shifted = days + 719468;
    const int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const int64_t dayOfEra = shifted - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    text.decimal(static_cast<uint64_t>(year), 4);
    text.put('-');
    text.decimal(static_cast<uint64_t>(month), 2);
    text.put('-');
    text.decimal(static_cast<uint64_t>(day), 2);
    text.put(' ');
    text.decimal(static_cast<uint64_t>(secondOfDay / 3600), 2);
    text.put(':');
    text.decimal(static_cast<uint64_t>(secondOfDay / 60 % 60), 2);
    text.put(':');
    text.decimal(static_cast<uint64_t>(secondOfDay % 60), 2);
    text.put('.');
    text.decimal(static_cast<uint64_t>(milliseconds));
}

void appendReport(Text& text, const char* name, int processId, void* const* frames, size_t frameCount) {
    text.append("***** Encountered fatal exception: ");
    text.append(name);
    text.append(", PID ");
    text.decimal(static_cast<uint64_t>(processId));
    text.append(" *****\n");
    for (size_t i = 0; i < frameCount; ++i) {
        if (i < 10) {
            text.put(' ');
        }
        text.decimal(i);
        text.append("# ");
        text.address(frames[i]);
        text.put('\n');
    }
}

}  // namespace

void registerEmergencyDescriptor(int fd) {
    const int64_t now = std::time(nullptr);
    g_utcOffset.store(Platform::detail::utcOffset(Platform::detail::localTime(now), now));
    for (auto& slot : g_descriptors) {
        int expected = kNoDescriptor;
        if (slot.compare_exchange_strong(expected, fd)) {
            return;
        }
    }
}

void unregisterEmergencyDescriptor(int fd) {
    for (auto& slot : g_descriptors) {
        int expected = fd;
        if (slot.compare_exchange_strong(expected, kNoDescriptor)) {
            return;
        }
    }
}

void writeEmergencyReport(const char* name, int processId, void* const* frames, size_t frameCount) {
    Text console;
    appendReport(console, name, processId, frames, frameCount);
    console.writeTo(STDOUT_FILENO);

    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    Text line;
    appendTimeStamp(line, static_cast<int64_t>(now.tv_sec) + g_utcOffset.load(), now.tv_nsec / 1000000);
    line.append("\tFATAL\t");
    appendReport(line, name, processId, frames, frameCount);
    line.put('\n');
    for (const auto& slot : g_descriptors) {
        const int fd = slot.load();
        if (fd != kNoDescriptor) {
            line.writeTo(fd);
        }
    }
}

}  // namespace Orvantis::Log::detail

#else  // Windows: the vectored handler has no emergency path.

namespace Orvantis::Log::detail {

void registerEmergencyDescriptor(int) {}
void unregisterEmergencyDescriptor(int) {}
void writeEmergencyReport(const char*, int, void* const*, size_t) {}

}  // namespace Orvantis::Log::detail

#endif
