// Assert.h — the process-wide assertion handler.
//
// An assertion check calls the current handler when its condition is false;
// the handler's Action tells the check how to go on. The default handler is a
// console dialogue: it prints the failure and asks whether to ignore it once,
// ignore it from now on, break into the debugger or quit (exit(1)).
//
// Example:
//   ORVANTIS_ASSERT(index < size, "index out of range");
//   Assert::setHandler(&myNonBlockingHandler);  // e.g. for automated runs
//
// Safety: the handler pointer is not synchronised; set it at start-up,
// before other threads check assertions.
#pragma once

#include "core/Export.h"

#include <atomic>
#include <csignal>
#include <cstdint>

namespace Orvantis::Assert {

enum Action : int32_t {
    Ignore = 0,  // go on; stop again if this check fails again
    IgnoreAlways = 1,  // go on; never stop at this check again
    Break = 2,  // stop in the debugger at the check
};

using HandlerFunction = Action (*)(const char* expression, const char* message, const char* file, const char* function,
                                   int line);

// The current handler (defaultHandler until setHandler is called).
ORVANTIS_API HandlerFunction handler();
// Replaces the current handler; a null pointer is stored too (checks made
// with ORVANTIS_ASSERT then go on as if ignored).
ORVANTIS_API void setHandler(HandlerFunction f);

// The console dialogue. Reads the answer from std::cin: 'i' Ignore,
// 'a' IgnoreAlways, 'd' Break, 'q' ends the process with exit(1); only the
// first character of the word counts. When std::cin has failed, prints a
// note and returns IgnoreAlways.
ORVANTIS_API Action defaultHandler(const char* expression, const char* message, const char* file, const char* function,
                                   int line);

}  // namespace Orvantis::Assert

#if defined(_WIN32)
#define ORVANTIS_DEBUG_BREAK() __debugbreak()
#else
#define ORVANTIS_DEBUG_BREAK() std::raise(SIGTRAP)
#endif

// Checks `condition`; when it is false, calls the current handler with the
// condition's text, `message`, the file, function and line. IgnoreAlways
// silences this call site for the rest of the process; Break stops in the
// debugger (SIGTRAP elsewhere than Windows).
#define ORVANTIS_ASSERT(condition, message)                                                              \
    do {                                                                                                 \
        static std::atomic<bool> orvantisIgnoredForGood_{false};                                         \
        if (!orvantisIgnoredForGood_.load(std::memory_order_relaxed) && !(condition)) {                  \
            const ::Orvantis::Assert::HandlerFunction orvantisHandler_ = ::Orvantis::Assert::handler();  \
            const ::Orvantis::Assert::Action orvantisAction_ =                                           \
                orvantisHandler_ ? orvantisHandler_(#condition, (message), __FILE__, __func__, __LINE__) \
                                 : ::Orvantis::Assert::Ignore;                                           \
            if (orvantisAction_ == ::Orvantis::Assert::IgnoreAlways) {                                   \
                orvantisIgnoredForGood_.store(true, std::memory_order_relaxed);                          \
            } else if (orvantisAction_ == ::Orvantis::Assert::Break) {                                   \
                ORVANTIS_DEBUG_BREAK();                                                                  \
            }                                                                                            \
        }                                                                                                \
    } while (false)
