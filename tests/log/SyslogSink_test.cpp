// The syslog sink against a real rsyslog daemon, started with a configuration
// of the test's own: an input socket and an output file in a scratch folder.
#include "core/log/sinks/SyslogSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#ifndef _WIN32  // syslog and rsyslog exist only on POSIX systems

#include <sys/wait.h>
#include <syslog.h>

#include <csignal>

namespace {

using namespace Orvantis;

TEST(SyslogSink, RecordsReachRsyslogAndAVanishedDaemonIsReportedOnce) {
    const char* daemon = "/usr/sbin/rsyslogd";
    if (::access(daemon, X_OK) != 0) {
        GTEST_SKIP() << "rsyslog is not installed (apt-get install rsyslog)";
    }
    OrvantisTest::TempDir dir;
    const std::string socket = dir.file("log.sock"), output = dir.file("out.log"), config = dir.file("rsyslog.conf");
    OrvantisTest::writeFile(config, "global(workDirectory=\"" + dir.path.string() + "\")\n" +
                                        "module(load=\"imuxsock\" SysSock.Use=\"off\")\n" +
                                        "input(type=\"imuxsock\" Socket=\"" + socket + "\")\n" +
                                        "template(name=\"t\" type=\"string\" string=\"%syslogseverity-text%|"
                                        "%syslogfacility-text%|%programname%|%procid%|%msg%\\n\")\n" +
                                        "*.* action(type=\"omfile\" file=\"" + output + "\" template=\"t\")\n");
    const pid_t daemonPid = ::fork();
    if (daemonPid == 0) {
        ::execl(daemon, daemon, "-n", "-f", config.c_str(), "-i", dir.file("pid").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i) {
        ::usleep(10000);
    }
    OrvantisTest::LogSession session(Log::Synchronous);
    Log::addSink(std::make_unique<Log::SyslogSink>("orvtest", LOG_LOCAL3, socket));
    const struct {
        Log::Level level;
        const char *category, *message, *severity, *received;
    } cases[] = {
        {Log::Trace, "Backup", "trace", "debug", " [Backup] trace"},
        {Log::Debug, "", "no category", "debug", " no category"},
        {Log::Info, "multi\nline", "first\nsecond", "info", " [multi#012line] first#012second"},  // escaped by rsyslog
        {Log::Warning, "Backup", "warning", "warning", " [Backup] warning"},
        {Log::Error, "Backup", "error", "err", " [Backup] error"},
    };
    std::string expected;
    for (const auto& c : cases) {
        Log::log(c.level, c.category, c.message);
        expected += c.severity + ("|local3|orvtest|" + std::to_string(::getpid()) + "|") + c.received + "\n";
    }
    std::string received;
    for (int i = 0; i < 1000 && received.size() < expected.size(); ++i) {
        ::usleep(10000);
        received = OrvantisTest::readFile(output);
    }
    EXPECT_EQ(received, expected);
    EXPECT_EQ(Log::SyslogSink::priorityOf(Log::Fatal), LOG_CRIT);

    ::kill(daemonPid, SIGTERM);
    ::waitpid(daemonPid, nullptr, 0);
    std::filesystem::remove(socket);
    for (int i = 0; i < 3; ++i) {
        Log::log(Log::Info, "", "lost");
    }
    const auto records = session.takeRecords();
    ASSERT_EQ(records.size(), std::size(cases) + 4);  // the received ones, lost, the report, lost, lost
    EXPECT_EQ(records[std::size(cases) + 1], (OrvantisTest::Record{Log::Error, "Log::SyslogSink",
                                                                   "Could not send a record to the syslog socket '" +
                                                                       socket + "': No such file or directory"}));
}

}  // namespace

#endif  // _WIN32
