#include "core/utils/Version.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using Orvantis::Utils::Version;

TEST(Version, TextAndValidity) {
    struct Case {
        Version v;
        bool valid;
        const char* text;
    } cases[] = {
        {Version(), true, "0.0.0"},
        {Version(2, 10, 3), true, "2.10.3"},
        {Version(1, 2, -1), false, "invalid"},
        {Version(-1, 0, 0), false, "invalid"},
        {Version(0, -5, 0), false, "invalid"},
        {Version(INT_MAX, 0, 10), true, "2147483647.0.10"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.v.isValid(), c.valid) << c.text;
        EXPECT_EQ(c.v.toString(), c.text);
    }
}

// Each pair is checked in both directions through all six operators.
TEST(Version, OrdersNumericallyFieldByField) {
    struct Case {
        Version a, b;
        int order;  // of a against b
    } cases[] = {
        {Version(1, 10, 0), Version(1, 9, 5), 1},  {Version(2, 0, 0), Version(2, 0, 0), 0},
        {Version(1, 2, 3), Version(1, 2, 4), -1},  {Version(1, 2, 30), Version(1, 3, 0), -1},
        {Version(3, 0, 0), Version(2, 99, 99), 1}, {Version(-1, 0, 0), Version(0, 0, 0), -1},
    };
    for (const Case& c : cases) {
        for (int side = 0; side < 2; ++side) {
            const Version& a = side ? c.b : c.a;
            const Version& b = side ? c.a : c.b;
            const int order = side ? -c.order : c.order;
            SCOPED_TRACE(a.toString() + " vs " + b.toString());
            EXPECT_EQ(a == b, order == 0);
            EXPECT_EQ(a != b, order != 0);
            EXPECT_EQ(a < b, order < 0);
            EXPECT_EQ(a <= b, order <= 0);
            EXPECT_EQ(a > b, order > 0);
            EXPECT_EQ(a >= b, order >= 0);
        }
    }
}

TEST(Version, LibraryVersionIsTheProjectVersion) {
    EXPECT_EQ(Orvantis::Utils::libraryVersion().toString(), ORVANTIS_TEST_PROJECT_VERSION);
}

}  // namespace
