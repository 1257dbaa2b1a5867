#include "core/log/FileSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <thread>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace {

using namespace Orvantis::Log;
using namespace OrvantisTest;

// A record at `ticks` of 100 ns since 1970, seen five and a half hours east of UTC.
Sink::LogCapture record(int64_t ticks, Level level = Info, const std::string& category = "") {
    ::putenv(const_cast<char*>("TZ=XYZ-5:30"));  // POSIX notation needs no zone database
    ::tzset();
    return Sink::LogCapture{Sink::TimePoint(Sink::Duration(ticks)), level, category, "m", 42};
}

// Appended records follow the old content after two line feeds. A write that fails part way (at the file size
// limit) ends writing for good, even once the limit is lifted.
TEST(FileSink, ExactLineFormatInLocalTimeUntilAWriteFails) {
    TempDir dir;
    writeFile(dir.file("a.log"), "old\n");
    writeFile(dir.file("a.json"), "old content, truncated");
    const int64_t t = 1700000000LL * 10000000;  // 2023-11-14 22:13:20 UTC
    const std::pair<Sink::LogCapture, const char*> cases[] = {
        {record(t + 5 * 10000 + 9999, Error, "Filesystem::File"), "2023-11-15 03:43:20.5\tERROR\t[Filesystem::File] m"},
        {record(t + 1045 * 10000, Debug), "2023-11-15 03:43:21.45\tDEBUG\tm"},
        {record(t + 2999 * 10000, Info, "c"), "2023-11-15 03:43:22.999\tINFO \t[c] m"},
        {record(t + 3120 * 10000, Fatal, "c"), "2023-11-15 03:43:23.120\tFATAL\t[c] m"},
        {record(t + 3000 * 10000, static_cast<Level>(7), "c"), "2023-11-15 03:43:23.0\t\t[c] m"},
    };
    std::string expected = "old\n" + onDisk("\n\n");
    FileSink sink(dir.file("a.log"));
    for (const auto& [capture, line] : cases) {
        sink.log(capture);
        expected += onDisk(line + std::string("\n"));
    }
    FileSink(dir.file("a.json"), FileSink::Json | FileSink::Truncate).log(record(t, Error, "File sink"));
    EXPECT_EQ(readFile(dir.file("a.json")), onDisk("{\"time\":\"2023-11-15T03:43:20.000+05:30\",\"level\":\"error\","
                                                   "\"category\":\"File sink\",\"message\":\"m\",\"thread\":42}\n"));
#ifndef _WIN32  // Windows has no file size limit
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limited{expected.size() + 40, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    sink.log(record(0));  // 30 bytes
    sink.log(record(0));  // 10 of them
    ::setrlimit(RLIMIT_FSIZE, &saved);
    sink.log(record(0));
    expected += std::string("1970-01-01 05:30:00.0\tINFO \tm\n1970-01-01 05:30:00.0\tINFO \tm\n").substr(0, 40);
#endif
    EXPECT_EQ(readFile(dir.file("a.log")), expected);
}

// Five attempts 100 ms apart, each creating the missing parent directories; a FIFO without a
// reader fails like any other open instead of waiting for one.
TEST(FileSink, GivesUpAfterFiveAttemptsAndRetriesUntilThen) {
    TempDir dir;
    writeFile(dir.file("blocker"), "a regular file where a directory is needed");
    const std::string path = dir.file("blocker/new/app.log");
    std::vector<std::string> blocked = {path};
#ifndef _WIN32
    blocked.push_back(dir.file("fifo"));
    ASSERT_EQ(::mkfifo(blocked[1].c_str(), 0600), 0);
#endif
    LogSession log;  // each attempt reports the directory that it cannot create
    for (const std::string& file : blocked) {
        const auto start = std::chrono::steady_clock::now();
        try {
            FileSink sink(file);
            ADD_FAILURE() << "the constructor must throw for " << file;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), ("Could not open log file '" + file + "' for writing.").c_str());
        }
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
        const auto reports = takeReports(*log.recording);
        EXPECT_EQ(std::count_if(reports.begin(), reports.end(),
                                [](const std::string& r) { return r.find(" Filesystem::Directory: ") == 1; }),
                  file == path ? 5 : 0)
            << "one failed creation per attempt";
    }
    std::thread unblock([&] {  // the blocker goes away during the attempts: a later one succeeds
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        std::filesystem::remove(dir.file("blocker"));
    });
    EXPECT_NO_THROW(FileSink{path});
    unblock.join();
}

}  // namespace
