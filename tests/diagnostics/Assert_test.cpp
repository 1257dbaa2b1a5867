#include "core/diagnostics/Assert.h"

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <sstream>

namespace {

using namespace Orvantis;

// Runs the default dialogue with `input` as standard input; returns the
// action and what it printed.
std::pair<Assert::Action, std::string> dialogue(const std::string& input) {
    std::istringstream in(input);
    std::ostringstream out;
    std::streambuf* savedIn = std::cin.rdbuf(in.rdbuf());
    std::streambuf* savedOut = std::cout.rdbuf(out.rdbuf());
    std::cin.clear();
    const Assert::Action action = Assert::defaultHandler("a < b", "too big", "src/x.cpp", "compute", 42);
    std::cin.rdbuf(savedIn);
    std::cout.rdbuf(savedOut);
    std::cin.clear();
    return {action, out.str()};
}

const std::string kReport =
    "Assertion 'a < b' failed:\n"
    "  Message: 'too big'\n"
    "  Function: compute\n"
    "  Location: src/x.cpp:42\n"
    "\n";
const std::string kPrompt = "Select: (i)gnore once, ignore (a)lways, (d)ebug breakpoint, (q)uit\n";

TEST(AssertDialogue, FirstCharacterOfTheWordChooses) {
    struct Case {
        const char* input;
        Assert::Action expected;
    };
    const Case cases[] = {
        {"i\n", Assert::Ignore},           {"ignore\n", Assert::Ignore}, {"  \n\n  a\n", Assert::IgnoreAlways},
        {"apple\n", Assert::IgnoreAlways}, {"d", Assert::Break},         {"debugger please\n", Assert::Break},
    };
    for (const Case& c : cases) {
        const auto [action, output] = dialogue(c.input);
        EXPECT_EQ(action, c.expected) << c.input;
        EXPECT_EQ(output, kReport + kPrompt) << c.input;
    }
}

TEST(AssertDialogue, InvalidWordsArePromptedAgain) {
    const auto [action, output] = dialogue("x Q Ignore\ni\n");
    EXPECT_EQ(action, Assert::Ignore);
    EXPECT_EQ(output, kReport + kPrompt + "  Invalid choice: 'x'. :(\n" + kPrompt + "  Invalid choice: 'Q'. :(\n" +
                          kPrompt + "  Invalid choice: 'Ignore'. :(\n" + kPrompt);
}

TEST(AssertDialogue, ExhaustedInputGoesOnSilenced) {
    const auto [action, output] = dialogue("what\n");
    EXPECT_EQ(action, Assert::IgnoreAlways);
    EXPECT_EQ(output, kReport + kPrompt + "  Invalid choice: 'what'. :(\n" + kPrompt +
                          "standard in is in an invalid state, exiting program.\n");
}

TEST(AssertDialogue, QuitEndsTheProcessWithStatusOne) {
    EXPECT_EXIT(dialogue("quit\n"), ::testing::ExitedWithCode(1), "");
}

int g_calls = 0;
Assert::Action g_answer = Assert::Ignore;
std::string g_seen;

Assert::Action recordingHandler(const char* expression, const char* message, const char* file, const char* function,
                                int line) {
    ++g_calls;
    g_seen = std::string(expression) + "|" + message + "|" + file + "|" + function + "|" + std::to_string(line);
    return g_answer;
}

void checkPositive(int value) {
    ORVANTIS_ASSERT(value > 0, "must be positive");
}

TEST(AssertMacro, CallsTheCurrentHandlerAndHonoursIgnoreAlwaysPerSite) {
    EXPECT_EQ(Assert::handler(), &Assert::defaultHandler);
    Assert::setHandler(&recordingHandler);
    EXPECT_EQ(Assert::handler(), &recordingHandler);

    g_calls = 0;
    g_answer = Assert::Ignore;
    checkPositive(1);
    EXPECT_EQ(g_calls, 0);
    checkPositive(-1);
    checkPositive(-1);
    EXPECT_EQ(g_calls, 2);
    EXPECT_EQ(g_seen.substr(0, 27), "value > 0|must be positive|");
    EXPECT_NE(g_seen.find("Assert_test.cpp|checkPositive|"), std::string::npos) << g_seen;

    g_answer = Assert::IgnoreAlways;
    checkPositive(-1);
    checkPositive(-1);
    EXPECT_EQ(g_calls, 3);
    ORVANTIS_ASSERT(false, "another site still asks");
    EXPECT_EQ(g_calls, 4);

    Assert::setHandler(nullptr);
    ORVANTIS_ASSERT(false, "no handler: goes on");
    Assert::setHandler(&Assert::defaultHandler);
}

TEST(AssertMacro, BreakRaisesATrap) {
    EXPECT_EXIT(
        {
            Assert::setHandler([](const char*, const char*, const char*, const char*, int) { return Assert::Break; });
            ORVANTIS_ASSERT(1 + 1 == 3, "arithmetic");
        },
#ifdef _WIN32
        // The unhandled breakpoint exception (EXCEPTION_BREAKPOINT) ends the process.
        ::testing::ExitedWithCode(static_cast<int>(0x80000003)), "");
#else
        ::testing::KilledBySignal(SIGTRAP), "");
#endif
}

}  // namespace
