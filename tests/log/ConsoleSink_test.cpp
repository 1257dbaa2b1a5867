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
using OrvantisTest::StdoutCapture;

// Exposes the protected output operations for direct calls.
class TestableConsoleSink : public ConsoleSink {
public:
    using ConsoleSink::ConsoleSink;
    using ConsoleSink::flush;
    using ConsoleSink::logImpl;
};

// The colour tests expect a terminal that wants colours, whatever the
// environment the tests run in.
const bool g_colourFriendlyEnvironment = ::unsetenv("NO_COLOR") == 0 && ::setenv("TERM", "xterm", 1) == 0;

Sink::LogCapture record(Level level, const std::string& category, const std::string& message) {
    return Sink::LogCapture{{}, level, category, message};
}

// Makes standard output a raw pseudo-terminal for the lifetime of the object
// and collects what was written to it.
class TerminalStdout {
public:
    TerminalStdout() {
        std::fflush(stdout);
        if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
            return;
        }
        termios raw{};
        ::tcgetattr(m_slave, &raw);
        ::cfmakeraw(&raw);  // no "\n" -> "\r\n" translation
        ::tcsetattr(m_slave, TCSANOW, &raw);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_slave, STDOUT_FILENO);
    }
    ~TerminalStdout() {
        restore();
        if (m_master >= 0) {
            ::close(m_master);
            ::close(m_slave);
        }
    }
    bool ok() const { return m_master >= 0; }

    std::string text() {
        restore();
        ::fcntl(m_master, F_SETFL, O_NONBLOCK);
        std::string out;
        char buffer[512];
        ssize_t n;
        while ((n = ::read(m_master, buffer, sizeof buffer)) > 0) {
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }

private:
    void restore() {
        if (m_saved >= 0) {
            std::fflush(stdout);
            ::dup2(m_saved, STDOUT_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
    }
    int m_master = -1;
    int m_slave = -1;
    int m_saved = -1;
};

TEST(ConsoleSink, PrintsBracketedCategoryAndOnlyForcedColoursWhenRedirected) {
    StdoutCapture capture;
    TestableConsoleSink sink(ConsoleSink::Colored | ConsoleSink::Utf8);
    sink.log(record(Error, "Filesystem::File", "could not open"));
    sink.log(record(Fatal, "", "no category"));
    sink.log(record(Info, "Grüße", "ünïcödé bytes"));
    TestableConsoleSink(ConsoleSink::ForceColored).logImpl(record(Warning, "", "forced"));
    EXPECT_EQ(capture.text(),
              "[Filesystem::File] could not open\n"
              "no category\n"
              "[Grüße] ünïcödé bytes\n"
              "\x1b[33mforced\n\x1b[0m");
}

TEST(ConsoleSink, ColoursEachLevelOnATerminalAndResetsAfterTheLine) {
    TerminalStdout terminal;
    ASSERT_TRUE(terminal.ok());
    {
        TestableConsoleSink sink(ConsoleSink::Colored);
        sink.logImpl(record(Fatal, "c", "m"));
        sink.logImpl(record(Trace, "", "t"));
        sink.logImpl(record(Info, "", "i"));
        sink.logImpl(record(Warning, "", "w"));
        sink.logImpl(record(Error, "", "e"));
        sink.logImpl(record(static_cast<Level>(42), "", "other"));
        TestableConsoleSink plain;  // no options: never colours
        plain.logImpl(record(Error, "p", "plain"));
        sink.addBlacklistFilter(Info, "");
        TestableConsoleSink copy(sink);  // the copy keeps the filters and the colour choice
        copy.log(record(Debug, "", "dropped"));
        copy.log(record(Warning, "", "kept"));
    }
    EXPECT_EQ(terminal.text(),
              "\x1b[1;97;41m[c] m\n\x1b[0m"
              "\x1b[36mt\n\x1b[0m"
              "\x1b[32mi\n\x1b[0m"
              "\x1b[33mw\n\x1b[0m"
              "\x1b[31me\n\x1b[0m"
              "\x1b[37mother\n\x1b[0m"
              "[p] plain\n"
              "\x1b[33mkept\n\x1b[0m");
}

// On a terminal, Colored gives way to NO_COLOR and TERM=dumb; ForceColored
// gives way to nothing.
TEST(ConsoleSink, EnvironmentDecidesColoursUnlessForced) {
    struct Case {
        const char* noColor;  // nullptr: unset
        const char* term;
        ConsoleSink::Options option;
        bool coloured;
    };
    const Case cases[] = {
        {nullptr, "xterm", ConsoleSink::Colored, true},
        {"", "xterm", ConsoleSink::Colored, true},  // an empty NO_COLOR does not count
        {"1", "xterm", ConsoleSink::Colored, false},
        {nullptr, "dumb", ConsoleSink::Colored, false},
        {"1", "dumb", ConsoleSink::ForceColored, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("NO_COLOR=") + (c.noColor ? c.noColor : "(unset)") + " TERM=" + c.term +
                     " option " + std::to_string(c.option));
        c.noColor != nullptr ? ::setenv("NO_COLOR", c.noColor, 1) : ::unsetenv("NO_COLOR");
        ::setenv("TERM", c.term, 1);
        TerminalStdout terminal;
        ASSERT_TRUE(terminal.ok());
        TestableConsoleSink(c.option).logImpl(record(Warning, "", "w"));
        EXPECT_EQ(terminal.text(), c.coloured ? "\x1b[33mw\n\x1b[0m" : "w\n");
    }
    ::unsetenv("NO_COLOR");
    ::setenv("TERM", "xterm", 1);
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
