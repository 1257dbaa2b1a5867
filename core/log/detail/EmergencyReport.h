// EmergencyReport.h — the crash report of last resort (not exported).
//
// When the full crash report cannot be finished (the faulting code held a
// lock that building it needs, such as the allocator's), the reporter falls
// back to this one: fixed-size text built on the stack and handed straight
// to write(), so that nothing here allocates, locks or throws. It goes to
// standard output and to every registered file descriptor (the file sinks
// register theirs).
//
// Safety: every function here is async-signal-safe.
#pragma once

#include <cstddef>

namespace Orvantis::Log::detail {

// Adds `fd` to the descriptors the emergency report is written to, and
// remembers the local time's offset from UTC for its time stamp. Ignored
// when the table (32 entries) is full.
void registerEmergencyDescriptor(int fd);
// Removes `fd`; the caller closes it afterwards.
void unregisterEmergencyDescriptor(int fd);

// Writes "***** Encountered fatal exception: <name>, PID <pid> *****\n"
// followed by one line per frame address (" 0# 0x00007F...") to standard
// output, and the same text as a FATAL log line to every registered
// descriptor. SIGPIPE must be blocked by the caller.
void writeEmergencyReport(const char* name, int processId, void* const* frames, size_t frameCount);

}  // namespace Orvantis::Log::detail
