#include "core/diagnostics/Assert.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
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
    return {action, out.str()};
}

TEST(AssertDialogue, FirstCharacterOfTheWordChooses) {
    const std::string report =
        "Assertion 'a < b' failed:\n  Message: 'too big'\n  Function: compute\n  Location: src/x.cpp:42\n\n";
    const std::string prompt = "Select: (i)gnore once, ignore (a)lways, (d)ebug breakpoint, (q)uit\n";
    const auto invalid = [&](const std::string& word) { return "  Invalid choice: '" + word + "'. :(\n" + prompt; };
    // input, action, what follows the report; exhausted input goes on, silenced for good
    using Row = std::tuple<std::string, Assert::Action, std::string>;
    for (const auto& [input, expected, output] :
         {Row{"  \n\n  apple\n", Assert::IgnoreAlways, prompt}, Row{"d", Assert::Break, prompt},
          Row{"x Q Ignore\nignore\n", Assert::Ignore, prompt + invalid("x") + invalid("Q") + invalid("Ignore")},
          Row{"what\n", Assert::IgnoreAlways,
              prompt + invalid("what") + "standard in is in an invalid state, exiting program.\n"}}) {
        EXPECT_EQ(dialogue(input), std::make_pair(expected, report + output)) << input;
    }
    EXPECT_EXIT(dialogue("quit\n"), ::testing::ExitedWithCode(1), "");
}

int g_calls = 0;
Assert::Action g_answer = Assert::Ignore;
std::string g_seen;

Assert::Action record(const char* condition, const char* message, const char* file, const char* function, int) {
    g_seen = std::string(condition) + "|" + message + "|" + (std::strstr(file, "Assert_test") ? function : file);
    return ++g_calls, g_answer;
}

void checkPositive(int value) {
    ORVANTIS_ASSERT(value > 0, "must be positive");
}

// In child processes, so that every run starts with no call site silenced.
TEST(AssertMacro, CallsTheHandlerUntilIgnoredForGoodAtThatSite) {
    EXPECT_EQ(Assert::handler(), &Assert::defaultHandler);
    Assert::setHandler(&record);
    EXPECT_EXIT(
        {
            for (const Assert::Action answer : {Assert::Ignore, Assert::IgnoreAlways}) {  // asked twice, then once
                g_answer = answer;
                checkPositive(1);
                checkPositive(-1);
                checkPositive(-1);
            }
            const bool seen = g_seen == "value > 0|must be positive|checkPositive";
            ORVANTIS_ASSERT(false, "another site still asks");
            std::exit(seen ? g_calls : 0);
        },
        ::testing::ExitedWithCode(4), "");
    g_answer = Assert::Break;
#ifdef _WIN32  // the unhandled breakpoint exception (EXCEPTION_BREAKPOINT) ends the process
    EXPECT_EXIT(ORVANTIS_ASSERT(1 + 1 == 3, "arithmetic"), ::testing::ExitedWithCode(static_cast<int>(0x80000003)), "");
#else
    EXPECT_EXIT(ORVANTIS_ASSERT(1 + 1 == 3, "arithmetic"), ::testing::KilledBySignal(SIGTRAP), "");
#endif
    Assert::setHandler(&Assert::defaultHandler);
}

}  // namespace
