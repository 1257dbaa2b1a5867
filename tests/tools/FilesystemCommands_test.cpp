// The orvantis commands around the filesystem classes: ls and log, run as a
// separate process. Skipped when the tool is not built.
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace OrvantisTest;

std::set<std::string> lines(const std::string& text) {
    std::set<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.insert(line);
    }
    return out;
}

class FilesystemCommands : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(toolPath())) {
            GTEST_SKIP() << "the orvantis tool is not built";
        }
    }
    TempDir scratch;
    const std::string dir = scratch.path.string();
};

TEST_F(FilesystemCommands, LsListsOneAbsolutePathALine) {
    fs::create_directories(dir + "/t/sub/deeper");
    for (const char* f : {"t/a.txt", "t/b.log", "t/sub/c.txt", "t/sub/deeper/d.txt"}) {
        writeFile(dir + "/" + f, "");
    }
    const std::string t = dir + "/t";
    ToolRun r = runTool(dir, {"ls", "t"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::set<std::string>{t + "/a.txt", t + "/b.log", t + "/sub"}));

    r = runTool(dir, {"ls", "--recursive", "t", "--ext", ".txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::set<std::string>{t + "/a.txt", t + "/sub/c.txt", t + "/sub/deeper/d.txt"}));

    r = runTool(dir, {"ls", "t/a.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "orvantis ls: [Filesystem::Directory] Error during scan of '" + t + "/a.txt': Not a directory\n");
    r = runTool(dir, {"ls", "missing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"ls"}, {"ls", "a", "b"}, {"ls", "t", "--ext"}, {"ls", "t", "--what"}}) {
        EXPECT_EQ(runTool(dir, bad).status, 2) << bad.back();
    }
}

TEST_F(FilesystemCommands, LogAppendsRecordsInTheLibrarysFormat) {
    ASSERT_EQ(runTool(dir, {"log", "logs/app.log", "--level", "warning", "--category", "Script", "two", "words"}).status, 0);
    const ToolRun fatal = runTool(dir, {"log", "--level", "FATAL", "logs/app.log", "--", "--level"});
    EXPECT_EQ(fatal.status, 0) << fatal.err;  // written, not the end of anything
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.(0|[1-9]\d{0,2}))";
    EXPECT_TRUE(std::regex_match(readFile(dir + "/logs/app.log"),
                                 std::regex(stamp + "\tWARN \t\\[Script\\] two words\n\n\n" + stamp + "\tFATAL\t--level\n")))
        << readFile(dir + "/logs/app.log");

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"log", "only-a-file"}, {"log", "f", "m", "--level", "loud"}, {"log", "f", "m", "--category"}}) {
        EXPECT_EQ(runTool(dir, bad).status, 2) << bad.back();
    }
}

}  // namespace
