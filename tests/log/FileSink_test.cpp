#include "core/log/FileSink.h"

#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace Orvantis::Log;
using namespace OrvantisTest;

// Exposes the protected output operations for direct calls.
class TestableFileSink : public FileSink {
public:
    using FileSink::FileSink;
    using FileSink::flush;
    using FileSink::logImpl;
};

// A record at `seconds` since 1970 plus `ticks` of 100 ns.
Sink::LogCapture record(int64_t seconds, int64_t ticks, Level level, const std::string& category,
                        const std::string& message) {
    return Sink::LogCapture{Sink::TimePoint(Sink::Duration(seconds * 10000000 + ticks)), level, category, message, 42};
}

void setTimeZone(const char* rules) {  // POSIX notation needs no zone database
#ifdef _WIN32
    _putenv_s("TZ", rules);
    _tzset();
#else
    ::setenv("TZ", rules, 1);
    ::tzset();
#endif
}

TEST(FileSink, ExactLineFormatInLocalTime) {
    TempDir dir;
    setTimeZone("XYZ-5:30");  // five and a half hours east of UTC
    const int64_t t = 1700000000;  // 2023-11-14 22:13:20 UTC
    {
        TestableFileSink sink(dir.file("a.log"));
        sink.logImpl(record(t, 5 * 10000 + 9999, Error, "Filesystem::File", "five ms"));
        sink.logImpl(record(t + 1, 45 * 10000, Debug, "", "empty category"));
        sink.logImpl(record(t + 2, 999 * 10000, Info, "c", "info"));
        sink.logImpl(record(t + 3, 100 * 10000, Warning, "c", "warn"));
        sink.logImpl(record(t + 3, 120 * 10000, Fatal, "c", "fatal"));
        sink.logImpl(record(t + 3, 0, Trace, "c", "tabs\tand bytes \xc3\xa4 stay"));
        sink.logImpl(record(t + 3, 0, static_cast<Level>(7), "c", "level seven"));
        TestableFileSink(dir.file("a.json"), FileSink::Json).logImpl(record(t, 50000, Error, "File", "five ms"));
    }
    EXPECT_EQ(readFile(dir.file("a.log")), onDisk("2023-11-15 03:43:20.5\tERROR\t[Filesystem::File] five ms\n"
                                                  "2023-11-15 03:43:21.45\tDEBUG\tempty category\n"
                                                  "2023-11-15 03:43:22.999\tINFO \t[c] info\n"
                                                  "2023-11-15 03:43:23.100\tWARN \t[c] warn\n"
                                                  "2023-11-15 03:43:23.120\tFATAL\t[c] fatal\n"
                                                  "2023-11-15 03:43:23.0\tTRACE\t[c] tabs\tand bytes \xc3\xa4 stay\n"
                                                  "2023-11-15 03:43:23.0\t\t[c] level seven\n"));
    EXPECT_EQ(readFile(dir.file("a.json")), onDisk("{\"time\":\"2023-11-15T03:43:20.005+05:30\",\"level\":\"error\","
                                                   "\"category\":\"File\",\"message\":\"five ms\",\"thread\":42}\n"));
}

TEST(FileSink, AppendsAfterTwoLineFeedsOnlyWhenTheFileHasContent) {
    TempDir dir;
    setTimeZone("UTC0");
    struct Case {
        const char* what;
        const char* initial;  // nullptr: no file, in a missing directory
        Orvantis::Flags<FileSink::Options> options;
        std::string expected;
    };
    const std::string one = onDisk("1970-01-01 00:00:00.0\tINFO \tone\n");
    const Case cases[] = {
        {"new file in new directories", nullptr, {}, one},
        {"empty file", "", {}, one},
        {"non-empty file", "old\n", {}, "old\n" + onDisk("\n\n") + one},
        {"truncated", "old\n", FileSink::Truncate, one},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file(std::string(c.what) + "/sub/x.log");
        if (c.initial != nullptr) {
            std::filesystem::create_directories(dir.file(std::string(c.what) + "/sub"));
            writeFile(path, c.initial);
        }
        TestableFileSink(path, c.options).logImpl(record(0, 0, Info, "", "one"));
        EXPECT_EQ(readFile(path), c.expected);
    }
}

// A FIFO without a reader fails like any other open instead of waiting for
// one (the alarm ends a wait that never ends); a reader that goes away later
// costs the records, not the process (SIGPIPE).
TEST(FileSink, GivesUpAfterFiveAttemptsAndRetriesUntilThen) {
    TempDir dir;
    writeFile(dir.file("blocker"), "a regular file where a directory is needed");
    const std::string path = dir.file("blocker/app.log");
#ifdef _WIN32  // no FIFOs
    for (const std::string& blocked : {path}) {
#else
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ::alarm(20);
    for (const std::string& blocked : {path, fifo}) {
#endif
        const auto start = std::chrono::steady_clock::now();
        try {
            FileSink sink(blocked);
            ADD_FAILURE() << "the constructor must throw for " << blocked;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), ("Could not open log file '" + blocked + "' for writing.").c_str());
        }
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
    }
    std::thread unblock([&] {  // the blocker goes away during the attempts: a later one succeeds
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        std::filesystem::remove(dir.file("blocker"));
    });
    TestableFileSink(path).logImpl(record(0, 0, Info, "", "after retry"));
    unblock.join();
    EXPECT_NE(readFile(path).find("after retry"), std::string::npos);

#ifndef _WIN32
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    TestableFileSink sink(fifo);
    ::close(reader);
    sink.logImpl(record(0, 0, Info, "", "lost"));
    sink.flush();
    ::alarm(0);
#endif
}

// A write that fails part way (file size limit) ends writing for good, even once the limit is lifted.
TEST(FileSink, StopsWritingForGoodAfterAFailedWrite) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file size limit to make a write fail part way";
#else
    TempDir dir;
    setTimeZone("UTC0");
    const std::string path = dir.file("limited.log");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    {
        TestableFileSink sink(path);
        rlimit limited = saved;
        limited.rlim_cur = 100;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        for (int i = 0; i < 5; ++i) {
            sink.logImpl(record(0, 0, Info, "", "a record of some forty bytes"));
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        sink.logImpl(record(0, 0, Info, "", "after the limit is lifted"));
        sink.flush();
    }
    std::signal(SIGXFSZ, oldHandler);
    const std::string line = "1970-01-01 00:00:00.0\tINFO \ta record of some forty bytes\n";
    EXPECT_EQ(readFile(path), (line + line).substr(0, 100));
#endif
}

}  // namespace
