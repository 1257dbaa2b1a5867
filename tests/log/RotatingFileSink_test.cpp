#include "core/log/sinks/RotatingFileSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

using namespace Orvantis;
using OrvantisTest::readFile;
using OrvantisTest::TempDir;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
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

std::string numberedMessage(int i) {
    return "record " + std::to_string(100 + i);  // every message the same length
}

TEST(RotatingFileSink, KeepsMaxFilesOfAtMostMaxBytesWithTheNewestRecords) {
    TempDir dir;
    const std::string path = dir.file("logs/app.log");  // the directory is created
    OrvantisTest::LogSession session(Log::Synchronous);
    Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 200, 3));
    for (int i = 0; i < 40; ++i) {
        Log::log(Log::Info, "", numberedMessage(i));
    }
    Log::deinit();
    const std::vector<std::string> kept = messagesIn({path + ".2", path + ".1", path});
    EXPECT_FALSE(std::filesystem::exists(path + ".3"));
    for (const std::string& file : {path, path + ".1", path + ".2"}) {
        EXPECT_LE(std::filesystem::file_size(file), 200u) << file;
    }
    ASSERT_FALSE(kept.empty());
    for (size_t i = 0; i < kept.size(); ++i) {  // the newest records, in order
        EXPECT_EQ(kept[i], numberedMessage(static_cast<int>(40 - kept.size() + i)));
    }
    EXPECT_GE(kept.size(), 40u * 3 / 4 / 3);  // two full files and the current one

    Log::init(Log::Trace, Log::Synchronous);  // a single file starts anew
    const std::string single = dir.file("single.log");
    Log::addSink(std::make_unique<Log::RotatingFileSink>(single, 100, 1));
    for (int i = 0; i < 5; ++i) {
        Log::log(Log::Info, "", numberedMessage(i));
    }
    Log::deinit();
    EXPECT_EQ(messagesIn({single}), (std::vector<std::string>{numberedMessage(4)}));
    EXPECT_FALSE(std::filesystem::exists(single + ".1"));
}

TEST(RotatingFileSink, LosesNothingUnderConcurrentProducers) {
    TempDir dir;
    const std::string path = dir.file("app.log");
    constexpr int kThreads = 8, kRecords = 2000;
    OrvantisTest::LogSession session(Log::Asynchronous);
    Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 16 * 1024, 1000));
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
        producers.emplace_back([t] {
            for (int i = 0; i < kRecords; ++i) {
                Log::log(Log::Info, "T" + std::to_string(t), std::to_string(i));
            }
        });
    }
    for (auto& p : producers) {
        p.join();
    }
    Log::deinit();
    std::vector<std::string> files;
    for (int i = 999; i >= 1; --i) {
        if (std::filesystem::exists(path + "." + std::to_string(i))) {
            files.push_back(path + "." + std::to_string(i));
        }
    }
    files.push_back(path);
    EXPECT_GT(files.size(), 5u);
    std::vector<int> next(kThreads, 0);
    for (const std::string& file : files) {
        for (const std::string& line : lines(readFile(file))) {
            const size_t open = line.find("\t[T");
            ASSERT_NE(open, std::string::npos) << line;
            const int thread = std::stoi(line.substr(open + 3));
            ASSERT_EQ(line.substr(line.find("] ") + 2), std::to_string(next[thread]++)) << file;
        }
    }
    EXPECT_EQ(next, std::vector<int>(kThreads, kRecords));
}

TEST(RotatingFileSink, FailedRotationIsReportedOnceAndWritingGoesOn) {
    TempDir dir;
    const std::string path = dir.file("app.log");
    // A non-empty directory where the first older file belongs: it can be
    // neither removed nor replaced, even by root.
    std::filesystem::create_directories(path + ".1/occupied");
    OrvantisTest::LogSession session(Log::Synchronous);
    Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 100, 2));
    for (int i = 0; i < 20; ++i) {
        Log::log(Log::Info, "", numberedMessage(i));
    }
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
    std::vector<std::string> all;
    for (int i = 0; i < 20; ++i) {
        all.push_back(numberedMessage(i));
    }
    EXPECT_EQ(messagesIn({path}), all);
}

TEST(RotatingFileSink, AnExternalRenameStartsANewFile) {
    TempDir dir;
    const std::string path = dir.file("app.log");
    OrvantisTest::LogSession session(Log::Synchronous);
    Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 100, 3));
    Log::log(Log::Info, "", numberedMessage(0));
    std::filesystem::rename(path, path + ".moved");  // what logrotate does
    for (int i = 1; i < 4; ++i) {
        Log::log(Log::Info, "", numberedMessage(i));
    }
    Log::deinit();
    EXPECT_EQ(session.takeRecords().size(), 4u);  // no report: nothing failed
    std::vector<std::string> all;
    for (int i = 0; i < 4; ++i) {
        all.push_back(numberedMessage(i));
    }
    EXPECT_EQ(messagesIn({path + ".moved", path + ".1", path}), all);
}

TEST(RotatingFileSink, JsonLinesParseWithAStandardParser) {
    if (std::system("python3 -c pass") != 0) {
        GTEST_SKIP() << "python3 is needed to read the JSON back";
    }
    TempDir dir;
    const std::string path = dir.file("app.jsonl");
    static const char kBinary[] = "nul\0byte \"quoted\" back\\slash\ttab";
    struct Case {
        std::string category, message, expected;  // expected message as Python prints it (ascii escapes)
    } cases[] = {
        {"Backup", "disk 91% full", "disk 91% full"},
        {"multi\nline", std::string(kBinary, sizeof kBinary - 1),
         "nul\\x00byte \"quoted\" back\\\\slash\\ttab"},
        {"", "bad \xC3 utf8 \xF0\x9F\x98\x80 \x7F end", "bad \\ufffd utf8 \\U0001f600 \\x7f end"},
    };
    {
        OrvantisTest::LogSession session(Log::Synchronous);
        Log::addSink(std::make_unique<Log::RotatingFileSink>(path, 1 << 20, 2, Log::FileSink::Json));
        for (const Case& c : cases) {
            Log::log(Log::Warning, c.category, c.message);
        }
    }
    const std::string script = dir.file("read.py");
    OrvantisTest::writeFile(script,
                            "import json, sys, re\n"
                            "for line in open(sys.argv[1], encoding='utf-8'):\n"
                            "    r = json.loads(line)\n"
                            "    assert re.fullmatch(r'\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d', r['time'])\n"
                            "    assert isinstance(r['thread'], int) and r['thread'] > 0\n"
                            "    print(r['level'], ascii(r['category'])[1:-1], ascii(r['message'])[1:-1], sep='|')\n");
    const std::string output = dir.file("out.txt");
    ASSERT_EQ(std::system(("python3 '" + script + "' '" + path + "' > '" + output + "'").c_str()), 0)
        << readFile(path);
    const std::vector<std::string> got = lines(readFile(output));
    ASSERT_EQ(got.size(), 3u) << readFile(path);
    EXPECT_EQ(got[0], "warning|Backup|disk 91% full");
    EXPECT_EQ(got[1], "warning|multi\\nline|" + cases[1].expected);
    EXPECT_EQ(got[2], "warning||" + cases[2].expected);
}

}  // namespace
