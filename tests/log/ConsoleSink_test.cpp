#include "core/log/ConsoleSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#endif

namespace {

using namespace Orvantis::Log;

// Exposes the protected output operations for direct calls.
class TestableConsoleSink : public ConsoleSink {
public:
    using ConsoleSink::ConsoleSink;
    using ConsoleSink::flush;
    using ConsoleSink::logImpl;
};

Sink::LogCapture record(Level level, const std::string& category, const std::string& message) {
    return Sink::LogCapture{{}, level, category, message};
}

#ifndef _WIN32  // pseudo-terminals are POSIX

// What `write` prints while standard output is a raw pseudo-terminal.
template <class Write>
std::string onTerminal(Write write) {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return "";
    }
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);  // no "\n" -> "\r\n" translation
    ::tcsetattr(slave, TCSANOW, &raw);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(slave, STDOUT_FILENO);
    write();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    std::string out(4096, '\0');
    out.resize(static_cast<size_t>(std::max<ssize_t>(0, ::read(master, out.data(), out.size()))));
    ::close(master);
    ::close(slave);
    return out;
}

#endif  // _WIN32

TEST(ConsoleSink, RedirectedOutputIsColouredOnlyWhenForced) {
    OrvantisTest::StdoutCapture capture;
#ifdef _WIN32  // colours are console attributes, never bytes in the output
    TestableConsoleSink sink(ConsoleSink::Colored);
    const std::string forced = "forced\n";
#else
    TestableConsoleSink sink(ConsoleSink::Colored | ConsoleSink::Utf8);
    const std::string forced = "\x1b[33mforced\n\x1b[0m";
#endif
    sink.log(record(Error, "Filesystem::File", "could not open"));
    sink.log(record(Info, "Grüße", "ünïcödé bytes"));
    TestableConsoleSink(ConsoleSink::ForceColored).logImpl(record(Warning, "", "forced"));
    EXPECT_EQ(capture.text(), "[Filesystem::File] could not open\n[Grüße] ünïcödé bytes\n" + forced);
}

#ifdef _WIN32

// A coloured record sets the console's text attributes and puts the old ones back.
TEST(ConsoleSink, RestoresTheConsoleAttributesAfterTheRecord) {
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
    TestableConsoleSink(ConsoleSink::Colored).logImpl(record(Fatal, "c", "white on red, then back"));
    SetStdHandle(STD_OUTPUT_HANDLE, original);
    ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer, &info));
    EXPECT_EQ(info.wAttributes, custom);
    CloseHandle(buffer);
}

// Standard output in text mode writes each "\n" of a record as "\r\n".
TEST(ConsoleSink, TextModeOutputEndsLinesWithCrLf) {
    OrvantisTest::TempDir dir;
    const std::string name = dir.file("out.txt");
    std::fflush(stdout);
    const int saved = _dup(_fileno(stdout));
    ASSERT_NE(std::freopen(name.c_str(), "w", stdout), nullptr);
    TestableConsoleSink(ConsoleSink::Colored).logImpl(record(Error, "c", "m"));
    std::fflush(stdout);
    _dup2(saved, _fileno(stdout));
    _close(saved);
    EXPECT_EQ(OrvantisTest::readFile(name), "[c] m\r\n");
}

#else  // terminals, NO_COLOR and TERM, pipes and SIGPIPE are POSIX

// On a terminal each level has its colour; Colored gives way to NO_COLOR and TERM=dumb, ForceColored to nothing.
TEST(ConsoleSink, TerminalColours) {
    struct Case {
        const char* noColor;  // nullptr: unset
        const char* term;
        Orvantis::Flags<ConsoleSink::Options> option;
        Level level;
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, "xterm", ConsoleSink::Colored, Fatal, "\x1b[1;97;41m[c] m\n\x1b[0m"},
        {nullptr, "xterm", ConsoleSink::Colored, Trace, "\x1b[36m[c] m\n\x1b[0m"},
        {nullptr, "xterm", ConsoleSink::Colored, Info, "\x1b[32m[c] m\n\x1b[0m"},
        {nullptr, "xterm", ConsoleSink::Colored, Error, "\x1b[31m[c] m\n\x1b[0m"},
        {nullptr, "xterm", ConsoleSink::Colored, static_cast<Level>(42), "\x1b[37m[c] m\n\x1b[0m"},
        {nullptr, "xterm", {}, Error, "[c] m\n"},
        {"", "xterm", ConsoleSink::Colored, Warning, "\x1b[33m[c] m\n\x1b[0m"},  // an empty NO_COLOR does not count
        {"1", "xterm", ConsoleSink::Colored, Warning, "[c] m\n"},
        {nullptr, "dumb", ConsoleSink::Colored, Warning, "[c] m\n"},
        {"1", "dumb", ConsoleSink::ForceColored, Warning, "\x1b[33m[c] m\n\x1b[0m"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("NO_COLOR=") + (c.noColor ? c.noColor : "(unset)") + " TERM=" + c.term + " option " +
                     std::to_string(c.option.value()) + " level " + std::to_string(c.level));
        c.noColor != nullptr ? ::setenv("NO_COLOR", c.noColor, 1) : ::unsetenv("NO_COLOR");
        ::setenv("TERM", c.term, 1);
        EXPECT_EQ(onTerminal([&] { TestableConsoleSink(c.option).logImpl(record(c.level, "c", "m")); }), c.expected);
    }
    ::unsetenv("NO_COLOR");
}

// A reader that has gone away loses the records, not the process; SIGPIPE's
// disposition and the thread's signal mask are as they were.
TEST(ConsoleSink, ClosedPipeOnStandardOutputIsNotFatal) {
    EXPECT_EXIT(
        {
            int ends[2];
            if (::pipe(ends) != 0) {
                std::_Exit(2);
            }
            ::close(ends[0]);
            ::dup2(ends[1], STDOUT_FILENO);
            TestableConsoleSink sink;
            for (int i = 0; i < 3; ++i) {
                sink.logImpl(record(Error, "c", "lost"));
                std::cout << "lost too";
                sink.flush();
            }
            sigset_t mask;
            ::pthread_sigmask(SIG_SETMASK, nullptr, &mask);
            struct sigaction action {};
            ::sigaction(SIGPIPE, nullptr, &action);
            std::_Exit(!sigismember(&mask, SIGPIPE) && action.sa_handler == SIG_DFL ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

#endif  // _WIN32

}  // namespace
