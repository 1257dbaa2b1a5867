#include "core/utils/Flags.h"
#include "core/utils/Optional.h"

#include <gtest/gtest.h>

#include <string>

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
        {A | B, A, true},   {A | B, AB, true},  {A, AB, false}, {A | C, B, false},
        {Flags<Option>(), None, true},          {A, None, false},
        {Flags<Option>::fromInt(0xFF), C, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.set.testFlag(c.flag), c.expected) << c.set.value() << " / " << c.flag;
    }
}

TEST(Flags, OperatorsCombineAndCompare) {
    Flags<Option> f = A;
    f |= C;
    EXPECT_EQ(f.value(), 5u);
    EXPECT_EQ((f & A).value(), 1u);
    EXPECT_EQ(f & B, Flags<Option>());
    EXPECT_NE(f, Flags<Option>(A));
    EXPECT_EQ(f | B, Flags<Option>::fromInt(7));
}

TEST(Optional, EmptyUntilGivenAValue) {
    Orvantis::Utils::Optional<std::string> empty;
    EXPECT_FALSE(empty.hasValue());
    EXPECT_FALSE(static_cast<bool>(empty));
    Orvantis::Utils::Optional<std::string> full(std::string("x"));
    ASSERT_TRUE(full);
    full.value() += "y";
    EXPECT_EQ(full.value(), "xy");
}

}  // namespace
