#include "core/utils/Version.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using Orvantis::Utils::Version;

// Numbers, not text, compare, field by field: each pair goes both ways through
// all six operators. A negative number makes a version invalid; its text says
// so. The library's own version is read from the project's version text.
TEST(Version, OrderTextAndValidity) {
    const std::tuple<Version, Version, int, const char*> cases[] = {
        {Version(1, 10, 0), Version(1, 9, 5), 1, "1.10.0"},
        {Version(INT_MAX, 2, 30), Version(INT_MAX, 3, 0), -1, "2147483647.2.30"},
        {Version(-1, 9, 9), Version(0, 0, 0), -1, "invalid"},
        {Version(0, -5, 0), Version(0, -5, 0), 0, "invalid"}};
    for (const auto& [a, b, order, text] : cases) {
        EXPECT_EQ((std::pair{a.isValid(), a.toString()}), (std::pair{text[0] != 'i', std::string(text)}));
        for (const auto& [left, right, o] : {std::tuple{a, b, order}, std::tuple{b, a, -order}}) {
            EXPECT_EQ((std::vector<bool>{left == right, left != right, (left < right), left <= right, (left > right),
                                         left >= right}),
                      (std::vector<bool>{o == 0, o != 0, (o < 0), o <= 0, (o > 0), o >= 0}))
                << left.toString() << " vs " << right.toString();
        }
    }
    EXPECT_EQ(Orvantis::Utils::libraryVersion().toString(), ORVANTIS_TEST_PROJECT_VERSION);
}

}  // namespace
