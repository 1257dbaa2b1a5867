#include "core/log/ConsoleSink.h"

#include "support/Scratch.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pty.h>
#endif

namespace {

using namespace Orvantis::Log;

Sink::LogCapture record(Level level, const std::string& category) {
    return Sink::LogCapture{{}, level, category, "m"};
}

#ifdef _WIN32

// Colours are console attributes, never bytes in redirected output, where text mode writes "\n" as "\r\n"; a
// coloured record puts the console's old attributes back.
TEST(ConsoleSink, ColoursAreConsoleAttributes) {
    OrvantisTest::TempDir dir;
    std::fflush(stdout);
    const int saved = _dup(_fileno(stdout));
    ASSERT_NE(std::freopen(dir.file("out.txt").c_str(), "w", stdout), nullptr);
    ConsoleSink(ConsoleSink::Colored).log(record(Error, "c"));
    ConsoleSink(ConsoleSink::ForceColored).log(record(Error, ""));
    std::fflush(stdout);
    _dup2(saved, _fileno(stdout));
    _close(saved);
    EXPECT_EQ(OrvantisTest::readFile(dir.file("out.txt")), "[c] m\r\nm\r\n");

    AllocConsole();  // fails harmlessly when the process has a console already
    const HANDLE buffer = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                    nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (buffer == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(buffer, &info)) {
        GTEST_SKIP() << "no console screen buffer can be read here (Wine without a display)";
    }
    const WORD custom = FOREGROUND_BLUE | FOREGROUND_INTENSITY | BACKGROUND_GREEN;
    SetConsoleTextAttribute(buffer, custom);
    const HANDLE original = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, buffer);  // the sink takes the handle when it is made
    ConsoleSink(ConsoleSink::Colored).log(record(Fatal, "c"));
    SetStdHandle(STD_OUTPUT_HANDLE, original);
    ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer, &info));
    EXPECT_EQ(info.wAttributes, custom);
    CloseHandle(buffer);
}

#else  // terminals, NO_COLOR and TERM, pipes and SIGPIPE are POSIX

// On a terminal (which writes "\n" as "\r\n") each level has its colour; Colored gives way to a pipe, NO_COLOR and
// TERM=dumb, ForceColored to nothing. A pipe without a reader costs the record, not the process (SIGPIPE), and
// leaves the signal's disposition and the thread's mask as they were.
TEST(ConsoleSink, Colours) {
    using Options = Orvantis::Flags<ConsoleSink::Options>;
    const std::tuple<char, const char*, Options, Level, const char*, const char*> cases[] = {
        // output (a terminal, a pipe, a pipe without reader), environment beyond TERM=xterm, options, level,
        // category, what is written
        {'t', "", ConsoleSink::Colored, Fatal, "c", "\x1b[1;97;41m[c] m\r\n\x1b[0m"},
        {'t', "", ConsoleSink::Colored, Error, "", "\x1b[31mm\r\n\x1b[0m"},
        {'t', "", {}, Error, "c", "[c] m\r\n"},
        {'t', "NO_COLOR=", ConsoleSink::Colored, Warning, "c", "\x1b[33m[c] m\r\n\x1b[0m"},  // empty: unset
        {'t', "NO_COLOR=1", ConsoleSink::Colored, Warning, "c", "[c] m\r\n"},
        {'t', "TERM=dumb", ConsoleSink::Colored, Warning, "c", "[c] m\r\n"},
        {'t', "NO_COLOR=1", ConsoleSink::ForceColored, Warning, "c", "\x1b[33m[c] m\r\n\x1b[0m"},
        {'p', "", ConsoleSink::Colored | ConsoleSink::Utf8, Warning, "c", "[c] m\n"},
        {'p', "", ConsoleSink::ForceColored, Info, "", "\x1b[32mm\n\x1b[0m"},
        {'c', "", {}, Info, "c", ""},
    };
    for (const auto& [output, environment, options, level, category, expected] : cases) {
        SCOPED_TRACE(std::string(1, output) + " " + environment + " level " + std::to_string(level));
        ::unsetenv("NO_COLOR");
        ::setenv("TERM", "xterm", 1);
        ::putenv(const_cast<char*>(environment));
        int ends[2];  // read end, write end
        ASSERT_EQ(output == 't' ? ::openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr) : ::pipe(ends), 0);
        if (output == 'c') {
            ::close(ends[0]);
            ends[0] = -1;
        }
        std::fflush(stdout);
        const int saved = ::dup(STDOUT_FILENO);
        ::dup2(ends[1], STDOUT_FILENO);
        ConsoleSink(options).log(record(level, category));
        ::dup2(saved, STDOUT_FILENO);
        std::cout.clear();  // after the failed write to the pipe without reader
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        std::string out(4096, '\0');
        out.resize(static_cast<size_t>(std::max<ssize_t>(0, ::read(ends[0], out.data(), out.size()))));
        ::close(saved);
        ::close(ends[0]);
        ::close(ends[1]);
        EXPECT_EQ(out, expected);
    }
    sigset_t mask;
    ::pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    struct sigaction action {};
    ::sigaction(SIGPIPE, nullptr, &action);
    EXPECT_TRUE(!sigismember(&mask, SIGPIPE) && action.sa_handler == SIG_DFL);
}

#endif  // _WIN32

}  // namespace
