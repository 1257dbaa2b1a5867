// The syslog sink against a real rsyslog daemon, started with a configuration
// of the test's own: an input socket and an output file in a scratch folder.
#include "core/log/sinks/SyslogSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#ifdef _WIN32

TEST(SyslogSink, SendsToTheSyslogDaemon) {
    GTEST_SKIP() << "syslog and the rsyslog daemon the test starts exist only on POSIX systems";
}

#else

#include <signal.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

using namespace Orvantis;
using OrvantisTest::readFile;
using OrvantisTest::TempDir;

class RsyslogTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* daemon = "/usr/sbin/rsyslogd";
        if (::access(daemon, X_OK) != 0) {
            GTEST_SKIP() << "rsyslog is not installed (apt-get install rsyslog)";
        }
        OrvantisTest::writeFile(dir.file("rsyslog.conf"),
                                "global(workDirectory=\"" + dir.path.string() +
                                    "\")\n"
                                    "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
                                    "input(type=\"imuxsock\" Socket=\"" +
                                    socket +
                                    "\" CreatePath=\"on\")\n"
                                    "template(name=\"t\" type=\"string\" string=\"%syslogseverity-text%|"
                                    "%syslogfacility-text%|%programname%|%procid%|%msg%\\n\")\n"
                                    "*.* action(type=\"omfile\" file=\"" +
                                    output + "\" template=\"t\")\n");
        daemonPid = ::fork();
        if (daemonPid == 0) {
            ::execl(daemon, daemon, "-n", "-f", dir.file("rsyslog.conf").c_str(), "-i", dir.file("pid").c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(std::filesystem::exists(socket)) << "rsyslogd did not start";
    }
    void TearDown() override {
        if (daemonPid > 0) {
            ::kill(daemonPid, SIGTERM);
            ::waitpid(daemonPid, nullptr, 0);
        }
    }

    // The daemon's output lines, once there are `count` of them (10 s at most).
    std::vector<std::string> received(size_t count) {
        std::vector<std::string> out;
        for (int i = 0; i < 1000 && out.size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            out.clear();
            std::istringstream in(readFile(output));
            for (std::string line; std::getline(in, line);) {
                out.push_back(line);
            }
        }
        return out;
    }

    TempDir dir;
    std::string socket = dir.file("log.sock");
    std::string output = dir.file("out.log");
    pid_t daemonPid = -1;
};

TEST_F(RsyslogTest, RecordsArriveWithTheirPriorities) {
    OrvantisTest::LogSession session(Log::Synchronous);
    Log::addSink(std::make_unique<Log::SyslogSink>("orvtest", LOG_LOCAL3, socket));
    for (Log::Level level : {Log::Trace, Log::Debug, Log::Info, Log::Warning, Log::Error}) {
        Log::log(level, "Backup", "level " + std::to_string(level));
    }
    Log::log(Log::Info, "", "no category");
    Log::log(Log::Info, "multi\nline", "first\nsecond");
    std::vector<std::string> expected = {"debug| [Backup] level 0",
                                         "debug| [Backup] level 1",
                                         "info| [Backup] level 2",
                                         "warning| [Backup] level 3",
                                         "err| [Backup] level 4",
                                         "info| no category",
                                         "info| [multi#012line] first#012second"};  // rsyslog escapes control bytes
    for (std::string& line : expected) {
        line.insert(line.find('|'), "|local3|orvtest|" + std::to_string(::getpid()));
    }
    EXPECT_EQ(received(expected.size()), expected);
    EXPECT_EQ(session.takeRecords().size(), expected.size());  // and no loss was reported
    EXPECT_EQ(Log::SyslogSink::priorityOf(Log::Fatal), LOG_CRIT);
}

TEST_F(RsyslogTest, AVanishedDaemonIsReportedOnceWithoutException) {
    OrvantisTest::LogSession session(Log::Synchronous);
    Log::addSink(std::make_unique<Log::SyslogSink>("orvtest", LOG_USER, socket));
    Log::log(Log::Info, "", "before");
    ASSERT_EQ(received(1).size(), 1u);
    TearDown();
    daemonPid = -1;
    std::filesystem::remove(socket);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NO_THROW(Log::log(Log::Info, "", "lost"));
    }
    const auto records = session.takeRecords();
    ASSERT_EQ(records.size(), 5u);  // before, lost, the report, lost, lost
    EXPECT_EQ(records[2], (OrvantisTest::Record{Log::Error, "Log::SyslogSink",
                                                "Could not send a record to the syslog "
                                                "socket '" +
                                                    socket + "': No such file or directory"}));
}

}  // namespace

#endif  // _WIN32
