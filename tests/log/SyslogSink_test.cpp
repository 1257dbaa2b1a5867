// The syslog sink against a real rsyslog daemon, started with a configuration
// of the test's own: an input socket and an output file in a scratch folder.
#include "core/log/sinks/SyslogSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#ifndef _WIN32  // syslog and rsyslog exist only on POSIX systems

#include <syslog.h>

#include <csignal>

namespace {

using namespace Orvantis;

TEST(SyslogSink, RecordsReachRsyslogAndAVanishedDaemonIsReportedOnce) {
    OrvantisTest::TempDir dir;
    const std::string socket = dir.file("log.sock"), output = dir.file("out.log"), config = dir.file("rsyslog.conf");
    OrvantisTest::writeFile(config,
                            "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
                            "input(type=\"imuxsock\" Socket=\"" +
                                socket +
                                "\")\n"
                                "template(name=\"t\" type=\"string\" string=\"%syslogseverity-text%."
                                "%syslogfacility-text% %programname%[%procid%]:%msg%\\n\")\n"
                                "*.* action(type=\"omfile\" file=\"" +
                                output + "\" template=\"t\")\n");
    // The daemon puts itself in the background once its socket is ready.
    if (std::system(("/usr/sbin/rsyslogd -f " + config + " -i " + dir.file("pid")).c_str()) != 0) {
        GTEST_SKIP() << "rsyslog is not installed (apt-get install rsyslog) or does not start";
    }
    OrvantisTest::LogSession session;
    Log::addSink(std::make_unique<Log::SyslogSink>("orvtest", LOG_LOCAL3, socket));
    Log::log(Log::Trace, "Backup", "trace");
    Log::log(Log::Info, "", "multi\nline");
    Log::log(Log::Warning, "Backup", "warning");
    Log::log(Log::Error, "Backup", "error");
    const std::string from = ".local3 orvtest[" + std::to_string(::getpid()) + "]: ";
    const std::string expected = "debug" + from + "[Backup] trace\n" + "info" + from + "multi#012line\n" +  // escaped
                                 "warning" + from + "[Backup] warning\n" + "err" + from + "[Backup] error\n";
    std::string received;
    for (int i = 0; i < 1000 && received.size() < expected.size(); ++i) {
        ::usleep(10000);
        received = OrvantisTest::readFile(output);
    }
    ::kill(std::stoi(OrvantisTest::readFile(dir.file("pid"))), SIGTERM);
    std::filesystem::remove(socket);
    EXPECT_EQ(received, expected);
    for (int i = 0; i < 3; ++i) {
        Log::log(Log::Info, "", "lost");
    }
    const auto records = OrvantisTest::takeReports(*session.recording);
    ASSERT_EQ(records.size(), 8u);  // the four received, lost, the report, lost, lost
    EXPECT_EQ(records[5], "4 Log::SyslogSink: Could not send a record to the syslog socket '" + socket +
                              "': No such file or directory");
}

}  // namespace

#endif  // _WIN32
