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

// Exposes the protected output operations for direct calls.
class TestableConsoleSink : public ConsoleSink {
public:
    using ConsoleSink::ConsoleSink;
    using ConsoleSink::flush;
    using ConsoleSink::logImpl;
};

Sink::LogCapture record(Level level, const std::string& category) {
    return Sink::LogCapture{{}, level, category, "m"};
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
    TestableConsoleSink(ConsoleSink::Colored).logImpl(record(Fatal, "c"));
    SetStdHandle(STD_OUTPUT_HANDLE, original);
    ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer, &info));
    EXPECT_EQ(info.wAttributes, custom);
    CloseHandle(buffer);
}

// Colours are console attributes, never bytes in redirected output; text mode writes "\n" as "\r\n".
TEST(ConsoleSink, RedirectedOutputIsPlainTextWithCrLf) {
    OrvantisTest::TempDir dir;
    std::fflush(stdout);
    const int saved = _dup(_fileno(stdout));
    ASSERT_NE(std::freopen(dir.file("out.txt").c_str(), "w", stdout), nullptr);
    TestableConsoleSink(ConsoleSink::Colored).logImpl(record(Error, "c"));
    TestableConsoleSink(ConsoleSink::ForceColored).logImpl(record(Error, ""));
    std::fflush(stdout);
    _dup2(saved, _fileno(stdout));
    _close(saved);
    EXPECT_EQ(OrvantisTest::readFile(dir.file("out.txt")), "[c] m\r\nm\r\n");
}

#else  // terminals, NO_COLOR and TERM, pipes and SIGPIPE are POSIX

// On a terminal each level has its colour; Colored gives way to a pipe, NO_COLOR and TERM=dumb, ForceColored to
// nothing.
TEST(ConsoleSink, Colours) {
    const struct {
        bool terminal;  // or a pipe
        const char* environment;  // TERM=xterm and no NO_COLOR, unless this says otherwise
        Orvantis::Flags<ConsoleSink::Options> option;
        Level level;
        const char* category;
        const char* expected;
    } cases[] = {
        {true, "", ConsoleSink::Colored, Fatal, "c", "\x1b[1;97;41m[c] m\n\x1b[0m"},
        {true, "", ConsoleSink::Colored, Trace, "c", "\x1b[36m[c] m\n\x1b[0m"},
        {true, "", ConsoleSink::Colored, Info, "c", "\x1b[32m[c] m\n\x1b[0m"},
        {true, "", ConsoleSink::Colored, Error, "", "\x1b[31mm\n\x1b[0m"},
        {true, "", ConsoleSink::Colored, static_cast<Level>(42), "c", "\x1b[37m[c] m\n\x1b[0m"},
        {true, "", {}, Error, "c", "[c] m\n"},
        {true, "NO_COLOR=", ConsoleSink::Colored, Warning, "c", "\x1b[33m[c] m\n\x1b[0m"},  // empty: does not count
        {true, "NO_COLOR=1", ConsoleSink::Colored, Warning, "c", "[c] m\n"},
        {true, "TERM=dumb", ConsoleSink::Colored, Warning, "c", "[c] m\n"},
        {true, "NO_COLOR=1", ConsoleSink::ForceColored, Warning, "c", "\x1b[33m[c] m\n\x1b[0m"},
        {false, "", ConsoleSink::Colored | ConsoleSink::Utf8, Warning, "c", "[c] m\n"},
        {false, "", ConsoleSink::ForceColored, Warning, "", "\x1b[33mm\n\x1b[0m"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.terminal ? "terminal " : "pipe ") + c.environment + " option " +
                     std::to_string(c.option.value()) + " level " + std::to_string(c.level));
        ::unsetenv("NO_COLOR");
        ::setenv("TERM", "xterm", 1);
        ::putenv(const_cast<char*>(c.environment));
        int ends[2];  // read end, write end
        ASSERT_EQ(c.terminal ? ::openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr) : ::pipe(ends), 0);
        termios raw{};
        ::tcgetattr(ends[1], &raw);  // raw: "\n" stays "\n"; on a pipe these calls fail harmlessly
        ::cfmakeraw(&raw);
        ::tcsetattr(ends[1], TCSANOW, &raw);
        std::fflush(stdout);
        const int saved = ::dup(STDOUT_FILENO);
        ::dup2(ends[1], STDOUT_FILENO);
        TestableConsoleSink(c.option).logImpl(record(c.level, c.category));
        ::dup2(saved, STDOUT_FILENO);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        std::string out(4096, '\0');
        out.resize(static_cast<size_t>(std::max<ssize_t>(0, ::read(ends[0], out.data(), out.size()))));
        for (int fd : {saved, ends[0], ends[1]}) {
            ::close(fd);
        }
        EXPECT_EQ(out, c.expected);
    }
    ::unsetenv("NO_COLOR");
}

// A reader that has gone away costs the records, not the process; SIGPIPE's
// disposition and the thread's signal mask stay as they were.
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
            std::cout << "lost";
            sink.flush();  // the write fails here
            std::cout.clear();
            sink.logImpl(record(Error, "c"));  // and here
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
