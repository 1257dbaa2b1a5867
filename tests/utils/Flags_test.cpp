#include "core/utils/Flags.h"

#include <gtest/gtest.h>

namespace {

enum Option : uint32_t { None = 0, A = 1, B = 2, AB = 3, C = 4 };
ORVANTIS_DECLARE_FLAG_OPERATORS(Option)

// A flag is set when all its bits are; the zero flag means "the set is empty".
TEST(Flags, TestFlagNeedsEveryBitAndTreatsZeroAsEmptySet) {
    const std::tuple<Orvantis::Flags<Option>, Option, bool> cases[] = {
        {A | C, C, true}, {A | B, AB, true}, {A | C, AB, false}, {{}, None, true}, {A, None, false}};
    for (const auto& [set, flag, expected] : cases) {
        EXPECT_EQ(set.testFlag(flag), expected) << set.value() << " / " << flag;
    }
}

}  // namespace
