#include "core/string/String.h"

#include <gtest/gtest.h>

#include <locale>

namespace {

namespace S = Orvantis::String;
using Parts = std::vector<std::string>;

// Every form of each function gives the same result.
TEST(String, AffixesTrimReplaceSplitAndJoin) {
    // text, affix, startsWith, endsWith
    const std::tuple<std::string, std::string, bool, bool> affixes[] = {
        {"abc", "", true, true},
        {"abc", "abc", true, true},
        {"ab", "abc", false, false},
        {std::string("a\0b", 3), std::string("\0b", 2), false, true}};
    for (const auto& [text, affix, starts, ends] : affixes) {
        EXPECT_EQ((std::pair{S::startsWith(text, affix), S::endsWith(text, affix)}), (std::pair{starts, ends}))
            << affix;
    }
    // text, set, left, right, both
    const std::string trims[][5] = {{"  x  ", " ", "x  ", "  x", "x"},
                                    {"   ", " ", "", "", ""},
                                    {" x ", "", " x ", " x ", " x "},
                                    {"abXba", "ba", "Xba", "abX", "X"}};
    for (const auto& [text, set, left, right, both] : trims) {
        std::string l = text, r = text, b = text;
        S::ltrim(l, set), S::rtrim(r, set), S::trim(b, set);
        EXPECT_EQ((Parts{S::ltrimCopy(text, set), S::rtrimCopy(text, set), S::trimCopy(text, set), l, r, b}),
                  (Parts{left, right, both, left, right, both}))
            << '"' << text << '"';
    }
    EXPECT_EQ(S::trimCopy(" \t\v\f\r\nx y\n"), "x y");  // the blanks by default
    const std::string replaces[][4] = {
        {"aba", "a", "aa", "aabaa"}, {"text", "", "x", "text"}, {"aaaa", "aa", "a", "aa"}, {"abc", "abcd", "x", "abc"}};
    for (const auto& [text, from, to, result] : replaces) {
        std::string inPlace = text;
        S::replaceAll(inPlace, from, to);
        EXPECT_EQ((Parts{S::replaceAllCopy(text, from, to), inPlace}), (Parts{result, result})) << from << " -> " << to;
    }
    const auto any = S::SplitAtAnyCharacter, skip = S::SkipEmptyParts;
    const std::tuple<std::string, std::string, Orvantis::Flags<S::SplitOptions>, Parts> cases[] = {
        {"", ",", {}, {""}},
        {"x; y", "; ", {}, {"x", "y"}},
        {"x---y", "--", skip, {"x", "-y"}},
        {"a,b", "", any, {"a,b"}},
        {",;a;;b,", ",;", any, {"", "", "a", "", "b", ""}},
        {",;a;;b,", ",;", any | skip, {"a", "b"}}};
    for (const auto& [text, separator, options, parts] : cases) {
        EXPECT_EQ(S::split(text, separator, options), parts) << text << " at " << separator << " " << options.value();
    }
    // Joining leaves out empty parts together with their separators.
    EXPECT_EQ(S::joinNonEmpty({"", "x", "", "y", ""}, ", ") + S::joinNonEmpty({"a", "b"}, ""), "x, yab");
}

// A ctype facet that, unlike the classic one, maps '1' to '!' in upper case.
struct ShoutingCtype : std::ctype<char> {
    char do_toupper(char c) const override { return c == '1' ? '!' : std::ctype<char>::do_toupper(c); }
};

// Byte by byte with the global locale: "ä" and "Ä" in UTF-8 stay as they are.
TEST(String, CaseFollowsTheGlobalLocale) {
    const std::string mixed = "Ab1\xC3\xA4Z\xC3\x84", upper = "AB!\xC3\xA4Z\xC3\x84", lower = "ab1\xC3\xA4z\xC3\x84";
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new ShoutingCtype));
    std::string up = mixed, low = mixed;
    S::toUpper(up), S::toLower(low);
    const Parts converted = {up, S::toUpperCopy(mixed), low, S::toLowerCopy(mixed)};
    std::locale::global(previous);
    EXPECT_EQ(converted, (Parts{upper, upper, lower, lower}));
}

}  // namespace
