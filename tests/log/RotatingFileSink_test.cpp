#include "core/log/sinks/RotatingFileSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

using namespace Orvantis;
using OrvantisTest::readFile;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();  // the text-mode line end on Windows
        }
        out.push_back(line);
    }
    return out;
}

// The messages of the text lines in `files`, oldest file first.
std::vector<std::string> messagesIn(const std::vector<std::string>& files) {
    std::vector<std::string> out;
    for (const std::string& file : files) {
        for (const std::string& line : lines(readFile(file))) {
            out.push_back(line.substr(line.rfind('\t') + 1));
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

TEST_F(RotatingFileSinkTest, KeepsMaxFilesOfAtMostMaxBytesWithTheNewestRecords) {
    Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 200, 3));
    numbered(0, 40, true);
    const std::string single = dir.file("single.log");  // one file only: starts anew
    Log::addSink(std::make_unique<Log::RotatingFileSink>(single, 100, 1));
    numbered(40, 45, true);
    Log::deinit();
    const std::vector<std::string> kept = messagesIn({path + ".2", path + ".1", path});
    EXPECT_FALSE(std::filesystem::exists(path + ".3"));
    for (const std::string& file : {path, path + ".1", path + ".2"}) {
        EXPECT_LE(std::filesystem::file_size(file), 200u) << file;
    }
    EXPECT_GE(kept.size(), 9u);  // two full files of four or more lines and the current one
    EXPECT_EQ(kept, numbered(45 - static_cast<int>(kept.size()), 45));  // the newest records, in order
    EXPECT_EQ(messagesIn({single}), numbered(44, 45));
    EXPECT_FALSE(std::filesystem::exists(single + ".1"));
}

TEST_F(RotatingFileSinkTest, FailedRotationIsReportedOnceAndWritingGoesOn) {
    // A non-empty directory where the first older file belongs: neither removed nor replaced, even by root.
    std::filesystem::create_directories(path + ".1/occupied");
    Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 100, 2));
    const auto all = numbered(0, 20, true);
    Log::deinit();
    std::vector<OrvantisTest::Record> reports;
    for (const auto& record : session.takeRecords()) {
        if (record.level == Log::Error) {
            reports.push_back(record);
        }
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].category, "Log::RotatingFileSink");
    EXPECT_EQ(reports[0].message.rfind("Could not rotate log file '" + path + "': ", 0), 0u) << reports[0].message;
    EXPECT_EQ(messagesIn({path}), all);
}

TEST_F(RotatingFileSinkTest, AnExternalRenameStartsANewFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows does not rename a file that another handle holds open: moving a live log away is a "
                    "POSIX log-rotation practice";
#endif
    Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 100, 3));
    numbered(0, 1, true);
    std::filesystem::rename(path, path + ".moved");  // what logrotate does
    numbered(1, 4, true);
    Log::deinit();
    EXPECT_EQ(session.takeRecords().size(), 4u);  // no report: nothing failed
    EXPECT_EQ(messagesIn({path + ".moved", path + ".1", path}), numbered(0, 4));
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
    const std::string script = dir.file("read.py");
    OrvantisTest::writeFile(
        script,
        "import json, sys, re\n"
        "for line in open(sys.argv[1], encoding='utf-8'):\n"
        "    r = json.loads(line)\n"
        "    assert re.fullmatch(r'\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d', r['time'])\n"
        "    assert isinstance(r['thread'], int) and r['thread'] > 0\n"
        "    print(r['level'], ascii(r['category'])[1:-1], ascii(r['message'])[1:-1], sep='|')\n");
    const std::string output = dir.file("out.txt");
    ASSERT_EQ(std::system(("python3 '" + script + "' '" + path + "' > '" + output + "'").c_str()), 0) << readFile(path);
    // As Python prints them, with ascii escapes.
    EXPECT_EQ(lines(readFile(output)),
              (std::vector<std::string>{
                  "warning|Backup|disk 91% full",
                  "warning|multi\\nline|nul\\x00byte \"quoted\" back\\\\slash\\ttab",
                  "warning||bad \\ufffd \\ufffd\\ufffd\\ufffd\\ufffd utf8 \\U0001f600 \\u20ac \\x7f end",
              }));
}

}  // namespace
