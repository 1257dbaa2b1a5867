#include "core/log/sinks/RotatingFileSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace Orvantis;
using OrvantisTest::readFile;

// The messages (what follows the last tab) of the lines in `files`, oldest file first.
std::vector<std::string> messagesIn(const std::vector<std::string>& files) {
    std::vector<std::string> out;
    for (const std::string& file : files) {
        std::istringstream in(readFile(file));
        for (std::string line; std::getline(in, line);) {
            const size_t tab = line.rfind('\t');
            out.push_back(line.substr(tab + 1, line.find_last_not_of('\r') - tab));  // no Windows "\r"
        }
    }
    return out;
}

// Messages "record <100 + i>" for i in [from, to), all of the same length, logged or expected.
std::vector<std::string> numbered(int from, int to, bool log = false) {
    std::vector<std::string> out;
    for (int i = from; i < to; ++i) {
        out.push_back("record " + std::to_string(100 + i));
        if (log) {
            Log::log(Log::Info, "", out.back());
        }
    }
    return out;
}

struct RotatingFileSinkTest : ::testing::Test {
    OrvantisTest::TempDir dir;
    std::string path = dir.file("logs/app.log");  // the directory is created
    OrvantisTest::LogSession session{Log::Synchronous};
};

// An external rename (what logrotate does) leaves the moved file alone and starts a new one; the sinks leave no
// descriptor open (where /proc tells).
TEST_F(RotatingFileSinkTest, KeepsMaxFilesOfAtMostMaxBytesWithTheNewestRecords) {
    const auto descriptors = [] {
        std::error_code unknown;
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd", unknown), {});
    };
    const auto openBefore = descriptors();
    Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 200, 3));
    numbered(0, 1, true);
#ifndef _WIN32  // Windows renames no file that another handle holds open
    std::filesystem::rename(path, path + ".moved");
#endif
    numbered(1, 40, true);
    const std::string single = dir.file("single.log");  // one file only: starts anew
    Log::addSink(std::make_unique<Log::RotatingFileSink>(single, 100, 1));
    numbered(40, 45, true);
    Log::deinit();
    EXPECT_EQ(descriptors(), openBefore);
    EXPECT_EQ(session.takeRecords().size(), 45u);  // no report: nothing failed
    const auto moved = messagesIn({path + ".moved"}), kept = messagesIn({path + ".2", path + ".1", path});
    EXPECT_EQ(moved, numbered(0, static_cast<int>(moved.size())));
    for (const std::string& file : {path, path + ".1", path + ".2"}) {
        EXPECT_LE(std::filesystem::file_size(file), 200u) << file;
    }
    EXPECT_GE(kept.size(), 9u);  // two full files of four or more lines and the current one
    EXPECT_EQ(kept, numbered(45 - static_cast<int>(kept.size()), 45));  // the newest records, in order
    EXPECT_EQ(messagesIn({single}), numbered(44, 45));
    EXPECT_FALSE(std::filesystem::exists(path + ".3") || std::filesystem::exists(single + ".1"));
}

TEST_F(RotatingFileSinkTest, FailedRotationIsReportedOnceAndWritingGoesOn) {
    // A non-empty directory where the first older file belongs: neither removed nor replaced, even by root.
    std::filesystem::create_directories(path + ".1/occupied");
    Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 100, 2));
    const auto all = numbered(0, 20, true);
    Log::deinit();
    const auto records = session.takeRecords();
    ASSERT_EQ(records.size(), all.size() + 1);  // the records and one report
    const auto report = std::find_if(records.begin(), records.end(), [](auto& r) { return r.level == Log::Error; });
    ASSERT_NE(report, records.end());
    EXPECT_EQ(report->category + ": " + report->message.substr(0, report->message.find("': ") + 3),
              "Log::RotatingFileSink: Could not rotate log file '" + path + "': ");
    EXPECT_EQ(messagesIn({path}), all);
}

TEST_F(RotatingFileSinkTest, GivesUpAfterFiveAttempts) {
    OrvantisTest::writeFile(dir.file("blocker"), "a regular file where a directory is needed");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(Log::RotatingFileSink(dir.file("blocker/app.log"), 100, 2), std::runtime_error);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
}

TEST_F(RotatingFileSinkTest, JsonLinesParseWithAStandardParser) {
    if (std::system("python3 -c pass") != 0) {
        GTEST_SKIP() << "python3 is needed to read the JSON back";
    }
    static const char kBinary[] = "nul\0byte \"quoted\" back\\slash\ttab";
    Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 1 << 20, 2, Log::FileSink::Json));
    Log::log(Log::Warning, "Backup", "disk 91% full");
    Log::log(Log::Warning, "multi\nline", std::string(kBinary, sizeof kBinary - 1));
    Log::log(Log::Warning, "", "bad \xC3 \xF8\x88\x80\x80 utf8 \xF0\x9F\x98\x80 \xE2\x82\xAC \x7F end");
    Log::deinit();
    const std::string output = dir.file("out.txt");
    const std::string read =
        "python3 -c 'import json, sys\nfor r in map(json.loads, open(sys.argv[1], encoding=\"utf-8\")):"
        "\n print(r[\"level\"], ascii(r[\"category\"])[1:-1], ascii(r[\"message\"])[1:-1], sep=\"|\")' ";
    ASSERT_EQ(std::system((read + path + " > " + output).c_str()), 0) << readFile(path);
    EXPECT_EQ(readFile(output),  // as Python prints them, with ascii escapes
              OrvantisTest::onDisk("warning|Backup|disk 91% full\n"
                                   "warning|multi\\nline|nul\\x00byte \"quoted\" back\\\\slash\\ttab\n"
                                   "warning||bad \\ufffd \\ufffd\\ufffd\\ufffd\\ufffd utf8 \\U0001f600 \\u20ac "
                                   "\\x7f end\n"));
}

}  // namespace
