#include "core/utils/Version.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using Orvantis::Utils::Version;

// Any negative number makes a version invalid; the library's own version is
// read from the project's version text.
TEST(Version, TextAndValidity) {
    const std::pair<Version, const char*> cases[] = {{Version(2, 10, 3), "2.10.3"},
                                                     {Version(INT_MAX, 0, 10), "2147483647.0.10"},
                                                     {Version(-1, 0, 0), "invalid"},
                                                     {Version(0, -5, 0), "invalid"},
                                                     {Version(1, 2, -1), "invalid"}};
    for (const auto& [version, text] : cases) {
        EXPECT_EQ((std::pair{version.isValid(), version.toString()}), (std::pair{text[0] != 'i', std::string(text)}));
    }
    EXPECT_EQ(Orvantis::Utils::libraryVersion().toString(), ORVANTIS_TEST_PROJECT_VERSION);
}

// Numbers, not text, compare, field by field; each pair is checked in both
// directions through all six operators.
TEST(Version, OrdersNumericallyFieldByField) {
    const std::tuple<Version, Version, int> cases[] = {{Version(1, 10, 0), Version(1, 9, 5), 1},
                                                       {Version(1, 2, 30), Version(1, 3, 0), -1},
                                                       {Version(1, 2, 3), Version(1, 2, 4), -1},
                                                       {Version(-1, 9, 9), Version(0, 0, 0), -1},
                                                       {Version(2, 0, 0), Version(2, 0, 0), 0}};
    for (const auto& [a, b, order] : cases) {
        for (const int sign : {1, -1}) {
            const Version &left = sign > 0 ? a : b, &right = sign > 0 ? b : a;
            const int o = sign * order;
            EXPECT_EQ((std::vector<bool>{left == right, left != right, left<right, left <= right, left> right,
                                         left >= right}),
                      (std::vector<bool>{o == 0, o != 0, o<0, o <= 0, o> 0, o >= 0}))
                << left.toString() << " vs " << right.toString();
        }
    }
}

}  // namespace
