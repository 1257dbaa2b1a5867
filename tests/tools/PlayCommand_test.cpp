// `orvantis play`, run as a separate process: its counts must add up, and
// bad arguments end with status 2. Skipped when the tool is not built.
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace OrvantisTest;

// The number after `label` in the report, or -1.
long reported(const std::string& out, const std::string& label) {
    std::smatch m;
    return std::regex_search(out, m, std::regex(label + " +([0-9]+)")) ? std::stol(m[1]) : -1;
}

class PlayCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(toolPath())) {
            GTEST_SKIP() << "the orvantis tool is not built";
        }
    }
    ToolRun play(const std::vector<std::string>& args) {
        std::vector<std::string> all{"play"};
        all.insert(all.end(), args.begin(), args.end());
        return runTool(dir.path, all);
    }
    TempDir dir;
};

TEST_F(PlayCommand, CountsAddUp) {
    const ToolRun everyFrame = play({"--fps", "200", "--frames", "20", "--no-skip"});
    ASSERT_EQ(everyFrame.status, 0) << everyFrame.err;
    EXPECT_EQ(reported(everyFrame.out, "frames called"), 20);
    EXPECT_EQ(reported(everyFrame.out, "dropped"), 0);
    EXPECT_EQ(reported(everyFrame.out, "passes"), 1);
    EXPECT_NE(everyFrame.out.find("lateness p99"), std::string::npos);
    EXPECT_NE(everyFrame.out.find("lateness histogram"), std::string::npos);

    // Each call takes 3.5 frame intervals: frames are dropped, the last one never.
    const ToolRun busy = play({"--fps", "100", "--frames", "10", "--busy", "35"});
    ASSERT_EQ(busy.status, 0) << busy.err;
    const long called = reported(busy.out, "frames called");
    EXPECT_GE(called, 2);
    EXPECT_LE(called, 5);
    EXPECT_EQ(called + reported(busy.out, "dropped"), 10);

    const ToolRun looped = play({"--fps", "200", "--frames", "5", "--loop", "--no-skip", "--seconds", "0.2"});
    ASSERT_EQ(looped.status, 0) << looped.err;
    EXPECT_GE(reported(looped.out, "passes"), 2);
    EXPECT_GE(reported(looped.out, "frames called"), 10);
}

TEST_F(PlayCommand, BadArgumentsExitWithStatus2) {
    const std::vector<std::vector<std::string>> cases = {
        {"--fps", "0", "--frames", "3"},   {"--frames", "3"},
        {"--fps", "30"},                   {"--fps", "30", "--frames", "2.5"},
        {"--fps", "x", "--frames", "3"},   {"--fps", "30", "--frames", "3", "--busy", "-1"},
        {"--fps", "30", "--frames", "3", "--bogus"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.back());
        const ToolRun r = play(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("Usage: orvantis play"), std::string::npos) << r.err;
    }
}

}  // namespace
