#include "core/log/ConsoleSink.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

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

TEST(ConsoleSink, PrintsBracketedCategoryAndNoColoursWhenRedirected) {
    StdoutCapture capture;
    TestableConsoleSink sink(ConsoleSink::Colored | ConsoleSink::Utf8);
    sink.log(record(Error, "Filesystem::File", "could not open"));
    sink.log(record(Fatal, "", "no category"));
    sink.log(record(Info, "Grüße", "ünïcödé bytes"));
    EXPECT_EQ(capture.text(),
              "[Filesystem::File] could not open\n"
              "no category\n"
              "[Grüße] ünïcödé bytes\n");
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
    }
    EXPECT_EQ(terminal.text(),
              "\x1b[1;97;41m[c] m\n\x1b[0m"
              "\x1b[36mt\n\x1b[0m"
              "\x1b[32mi\n\x1b[0m"
              "\x1b[33mw\n\x1b[0m"
              "\x1b[31me\n\x1b[0m"
              "\x1b[37mother\n\x1b[0m"
              "[p] plain\n");
}

TEST(ConsoleSink, CopyKeepsFiltersAndColourChoice) {
    TerminalStdout terminal;
    ASSERT_TRUE(terminal.ok());
    {
        TestableConsoleSink original(ConsoleSink::Colored);
        original.addBlacklistFilter(Info, "");
        TestableConsoleSink copy(original);
        copy.log(record(Debug, "", "dropped"));
        copy.log(record(Warning, "", "kept"));
        copy.flush();
    }
    EXPECT_EQ(terminal.text(), "\x1b[33mkept\n\x1b[0m");
}

}  // namespace
