#include "core/log/ConsoleSink.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>

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

TEST(ConsoleSink, RedirectedOutputIsColouredOnlyWhenForced) {
    OrvantisTest::StdoutCapture capture;
    TestableConsoleSink sink(ConsoleSink::Colored | ConsoleSink::Utf8);
    sink.log(record(Error, "Filesystem::File", "could not open"));
    sink.log(record(Info, "Grüße", "ünïcödé bytes"));
    TestableConsoleSink(ConsoleSink::ForceColored).logImpl(record(Warning, "", "forced"));
    EXPECT_EQ(capture.text(), "[Filesystem::File] could not open\n[Grüße] ünïcödé bytes\n\x1b[33mforced\n\x1b[0m");
}

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

}  // namespace
