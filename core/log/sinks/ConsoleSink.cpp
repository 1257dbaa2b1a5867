#include "core/log/sinks/ConsoleSink.h"

#include "core/log/detail/SigpipeGuard.h"
#include "core/platform/Platform.h"

#include <cstdio>
#include <iostream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace Orvantis::Log {

namespace {

#if defined(_WIN32)
WORD attributeFor(Level level) {
    switch (level) {
        case Trace: return FOREGROUND_GREEN | FOREGROUND_BLUE;
        case Debug: return FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
        case Info: return FOREGROUND_GREEN;
        case Warning: return FOREGROUND_RED | FOREGROUND_GREEN;
        case Error: return FOREGROUND_RED;
        case Fatal: return BACKGROUND_RED | FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE | FOREGROUND_INTENSITY;
        default: return FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
    }
}
#else
// The ANSI counterparts of the Windows console attributes.
const char* colourFor(Level level) {
    switch (level) {
        case Trace: return "\x1b[36m";
        case Debug: return "\x1b[37m";
        case Info: return "\x1b[32m";
        case Warning: return "\x1b[33m";
        case Error: return "\x1b[31m";
        case Fatal: return "\x1b[1;97;41m";
        default: return "\x1b[37m";
    }
}
constexpr char kResetColour[] = "\x1b[0m";
#endif

// Whether the environment asks for plain text: a non-empty NO_COLOR, or a
// terminal that declares itself "dumb".
bool environmentRefusesColour() {
    return !Platform::getEnvironmentVariable("NO_COLOR", "", true).empty() ||
           Platform::getEnvironmentVariable("TERM", "", true) == "dumb";
}

// "[category] message\n", or "message\n" for an empty category.
void appendRecordLine(std::string& line, const Sink::LogCapture& capture) {
    if (!capture.category.empty()) {
        line.append("[").append(capture.category).append("] ");
    }
    line.append(capture.message).append("\n");
}

}  // namespace

ConsoleSink::ConsoleSink(Flags<Options> options)
    : colored(options.testFlag(ForceColored) || (options.testFlag(Colored) && !environmentRefusesColour())) {
#if defined(_WIN32)
    outputHandle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (options.testFlag(Utf8) && !SetConsoleOutputCP(65001)) {
        std::cout << "Could not set UTF-8 console code page: " << Platform::getLastWindowsErrorMessage();
    }
#else
    // Linux terminals take UTF-8 as they are: the Utf8 option has nothing to do.
    ansi = options.testFlag(ForceColored) || (colored && ::isatty(STDOUT_FILENO) == 1);
#endif
}

ConsoleSink::~ConsoleSink() = default;

void ConsoleSink::flush() {
    detail::SigpipeGuard noSigpipe;
    std::cout << std::flush;
}

void ConsoleSink::logImpl(const LogCapture& capture) {
    detail::SigpipeGuard noSigpipe;
    std::string line;
    line.reserve(capture.category.size() + capture.message.size() + 24);
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO info{};
    info.wAttributes = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
    if (colored) {
        GetConsoleScreenBufferInfo(outputHandle, &info);
        SetConsoleTextAttribute(outputHandle, attributeFor(capture.level));
    }
    appendRecordLine(line, capture);
    std::cout.write(line.data(), static_cast<std::streamsize>(line.size()));
    if (colored) {
        // The text must reach the console before the attributes change back.
        std::cout.flush();
        CONSOLE_SCREEN_BUFFER_INFO unused{};
        GetConsoleScreenBufferInfo(outputHandle, &unused);
        SetConsoleTextAttribute(outputHandle, info.wAttributes);
    }
#else
    if (ansi) {
        line.append(colourFor(capture.level));
    }
    appendRecordLine(line, capture);
    if (ansi) {
        line.append(kResetColour);
    }
    std::cout.write(line.data(), static_cast<std::streamsize>(line.size()));
#endif
    std::cout.flush();
}

}  // namespace Orvantis::Log
