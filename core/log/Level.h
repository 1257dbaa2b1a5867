// Level.h — the log levels and logging modes.
//
// Both enumerations are unscoped on purpose: Log::Error and
// Log::Level::Error name the same value.
#pragma once

#include <cstdint>

namespace Orvantis::Log {

// Record levels; smaller is more verbose.
enum Level : int32_t {
    Trace = 0,
    Debug = 1,
    Info = 2,
    Warning = 3,
    Error = 4,
    Fatal = 5,
};

// How records reach the sinks. Any value other than Asynchronous behaves as
// Synchronous.
enum Mode : int32_t {
    Synchronous = 0,
    Asynchronous = 1,
};

}  // namespace Orvantis::Log
