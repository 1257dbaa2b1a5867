#include "core/log/sinks/RotatingFileSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace Orvantis;
using OrvantisTest::readFile;
namespace fs = std::filesystem;

// Logs the records "r<100 + i>" for i in [from, to), all at one time in UTC, so that their lines have one length.
void logNumbered(Log::Sink& sink, int from, int to) {
    ::putenv(const_cast<char*>("TZ=UTC0"));
    ::tzset();
    for (int i = from; i < to; ++i) {
        sink.log({{}, Log::Info, "", "r" + std::to_string(100 + i)});
    }
}

// The lines of those records as a file holds them: 33 bytes each, 34 with Windows' "\r\n".
std::string lines(int from, int to) {
    std::string out;
    for (int i = from; i < to; ++i) {
        out += "1970-01-01 00:00:00.0\tINFO \tr" + std::to_string(100 + i) + "\n";
    }
    return OrvantisTest::onDisk(out);
}

struct RotatingFileSinkTest : ::testing::Test {
    OrvantisTest::TempDir dir;
    std::string path = dir.file("logs/app.log");  // the directory is created
    OrvantisTest::LogSession session;  // sees the sinks' reports
};

// Six lines fill 204 bytes, two fill 68. An external rename (what logrotate does) leaves the moved file alone
// and starts a new one. The sinks leave no descriptor open (where /proc tells).
TEST_F(RotatingFileSinkTest, KeepsMaxFilesOfAtMostMaxBytesWithTheNewestRecords) {
    const auto fds = [] {
        std::error_code e;
        return std::distance(fs::directory_iterator("/proc/self/fd", e), {});
    };
    const auto openBefore = fds();
    {
        Log::RotatingFileSink sink(path, 204, 3), single(dir.file("single.log"), 68, 1);
        logNumbered(sink, 0, 2);
#ifndef _WIN32  // Windows renames no file that another handle holds open
        fs::rename(path, path + ".moved");
#endif
        logNumbered(sink, 2, 40);
        logNumbered(single, 0, 5);
        EXPECT_EQ(readFile(dir.file("single.log")), lines(4, 5));  // on disk while the sink lives
    }
#ifndef _WIN32  // under Wine, /proc lists Wine's own descriptors
    EXPECT_EQ(fds(), openBefore);
    EXPECT_EQ(readFile(path + ".moved"), lines(0, 6));  // written until the next rotation, then left alone
#endif
    EXPECT_TRUE(OrvantisTest::takeReports(*session.recording).empty());  // no report: nothing failed
    EXPECT_EQ(readFile(path + ".2") + "|" + readFile(path + ".1") + "|" + readFile(path),
              lines(24, 30) + "|" + lines(30, 36) + "|" + lines(36, 40));
    EXPECT_FALSE(fs::exists(path + ".3") || fs::exists(dir.file("single.log.1")));
}

// A file that cannot be opened: five attempts 100 ms apart, then an exception. A rotation that fails (a non-empty
// directory where the first older file belongs, which even root cannot replace) is reported once, and the records
// go on into the current file; after a rotation that succeeds, the next failure is reported again.
TEST_F(RotatingFileSinkTest, FailuresToOpenOrRotate) {
    OrvantisTest::writeFile(dir.file("blocker"), "a regular file where a directory is needed");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(Log::RotatingFileSink(dir.file("blocker/app.log"), 100, 2), std::runtime_error);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
    fs::create_directories(path + ".1/occupied");
    {
        Log::RotatingFileSink sink(path, 110, 2);  // the fourth line passes 110 bytes, with "\n" or "\r\n"
        logNumbered(sink, 0, 6);  // fails at r103
        fs::remove_all(path + ".1");
        logNumbered(sink, 6, 9);  // r106 starts a new file
        fs::remove(path + ".1");
        fs::create_directories(path + ".1/occupied");
        logNumbered(sink, 9, 20);  // fails at r109
    }
    const auto reports = OrvantisTest::takeReports(*session.recording);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].rfind("4 Log::RotatingFileSink: Could not rotate log file '" + path + "': ", 0), 0u);
    EXPECT_EQ(reports[1], reports[0]);
    EXPECT_EQ(readFile(path), lines(6, 20));
#ifndef _WIN32  // Windows removes no directory that holds an open file
    Log::RotatingFileSink gone(dir.file("gone/app.log"), 40, 2);
    fs::remove_all(dir.file("gone"));
    logNumbered(gone, 0, 2);
    EXPECT_EQ(OrvantisTest::takeReports(*session.recording),
              std::vector<std::string>{"4 Log::RotatingFileSink: Could not rotate log file '" +
                                       dir.file("gone/app.log") + "': the new file cannot be opened"});
#endif
}

TEST_F(RotatingFileSinkTest, JsonLinesParseWithAStandardParser) {
    if (std::system("python3 -c pass") != 0) {
        GTEST_SKIP() << "python3 is needed to read the JSON back";
    }
    static const char kBinary[] = "nul\0byte \"quoted\" back\\slash\ttab";
    ::putenv(const_cast<char*>("TZ=UTC0"));  // the records' time, 1970 began, is then "+00:00"
    ::tzset();
    {
        Log::RotatingFileSink sink(path, 1 << 20, 2, Log::FileSink::Json);
        sink.log({{}, Log::Warning, "multi\nline", std::string(kBinary, sizeof kBinary - 1)});
        sink.log(
            {{}, Log::Error, "", "bad \xC3 \xF8\x88\x80\x80 utf8 \xF0\x9F\x98\x80 \xE2\x82\xAC \xEF\xBC\x81 \x7F end"});
    }
    const std::string output = dir.file("out.txt");
    const std::string read =
        "python3 -c 'import json, sys\nfor r in map(json.loads, open(sys.argv[1], encoding=\"utf-8\")):"
        "\n print(r[\"time\"], r[\"level\"], ascii(r[\"category\"])[1:-1], ascii(r[\"message\"])[1:-1], sep=\"|\")' ";
    ASSERT_EQ(std::system((read + path + " > " + output).c_str()), 0) << readFile(path);
    EXPECT_EQ(readFile(output),  // as Python prints them, with ascii escapes
              OrvantisTest::onDisk(
                  "1970-01-01T00:00:00.000+00:00|warning|multi\\nline|nul\\x00byte \"quoted\" back\\\\slash\\ttab\n"
                  "1970-01-01T00:00:00.000+00:00|error||bad \\ufffd \\ufffd\\ufffd\\ufffd\\ufffd utf8 \\U0001f600 "
                  "\\u20ac \\uff01 \\x7f end\n"));
}

}  // namespace
