#include "core/utils/Version.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using Orvantis::Utils::Version;

TEST(Version, DefaultIsZeroAndValid) {
    const Version v;
    EXPECT_EQ(v.major, 0);
    EXPECT_EQ(v.minor, 0);
    EXPECT_EQ(v.patch, 0);
    EXPECT_TRUE(v.isValid());
    EXPECT_EQ(v.toString(), "0.0.0");
}

TEST(Version, TextAndValidity) {
    struct Case {
        Version v;
        bool valid;
        const char* text;
    } cases[] = {
        {Version(2, 10, 3), true, "2.10.3"},
        {Version(1, 2, -1), false, "invalid"},
        {Version(-1, 0, 0), false, "invalid"},
        {Version(0, -5, 0), false, "invalid"},
        {Version(0, 0, 7), true, "0.0.7"},
        {Version(INT_MAX, 0, 10), true, "2147483647.0.10"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.v.isValid(), c.valid) << c.text;
        EXPECT_EQ(c.v.toString(), c.text);
    }
}

// Checks all six operators against the expected order of a and b.
void expectOrder(const Version& a, const Version& b, int order) {
    SCOPED_TRACE(a.toString() + " vs " + b.toString());
    EXPECT_EQ(a == b, order == 0);
    EXPECT_EQ(a != b, order != 0);
    EXPECT_EQ(a < b, order < 0);
    EXPECT_EQ(a <= b, order <= 0);
    EXPECT_EQ(a > b, order > 0);
    EXPECT_EQ(a >= b, order >= 0);
}

TEST(Version, OrdersNumericallyFieldByField) {
    struct Case {
        Version a, b;
        int order;
    } cases[] = {
        {Version(1, 10, 0), Version(1, 9, 5), 1},
        {Version(2, 0, 0), Version(2, 0, 0), 0},
        {Version(1, 2, 3), Version(1, 2, 4), -1},
        {Version(1, 2, 30), Version(1, 3, 0), -1},
        {Version(3, 0, 0), Version(2, 99, 99), 1},
        {Version(-1, 0, 0), Version(0, 0, 0), -1},
        {Version(0, 0, -2), Version(0, 0, -1), -1},
    };
    for (const Case& c : cases) {
        expectOrder(c.a, c.b, c.order);
        expectOrder(c.b, c.a, -c.order);
    }
}

TEST(Version, CopiesAllThreeNumbers) {
    Version v(9, 9, 9);
    const Version source(4, 5, 6);
    v = source;
    EXPECT_EQ(v, source);
    Version moved(1, 1, 1);
    moved = Version(7, 8, 9);
    EXPECT_EQ(moved.toString(), "7.8.9");
}

TEST(Version, LibraryVersionIsAValidRelease) {
    const Version v = Orvantis::Utils::libraryVersion();
    EXPECT_TRUE(v.isValid());
    EXPECT_GT(v, Version(0, 0, 0));
}

}  // namespace
