#include "core/utils/Flags.h"

#include <gtest/gtest.h>

namespace {

enum Option : uint32_t { None = 0, A = 1, B = 2, AB = 3, C = 4 };
ORVANTIS_DECLARE_FLAG_OPERATORS(Option)

using Orvantis::Flags;

TEST(Flags, TestFlagNeedsEveryBitAndTreatsZeroAsEmptySet) {
    struct Case {
        Flags<Option> set;
        Option flag;
        bool expected;
    };
    const Case cases[] = {
        {A | B, A, true},
        {A | B, AB, true},
        {A, AB, false},
        {A | C, B, false},
        {Flags<Option>(), None, true},
        {A, None, false},
        {Flags<Option>::fromInt(0xFF), C, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.set.testFlag(c.flag), c.expected) << c.set.value() << " / " << c.flag;
    }
}

}  // namespace
