#include "core/string/String.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>
#include <vector>

namespace {

namespace S = Orvantis::String;
using Orvantis::Flags;
using Parts = std::vector<std::string>;

TEST(String, PrefixAndSuffixTests) {
    const std::tuple<std::string, std::string, bool, bool> cases[] = {
        // text, affix, startsWith, endsWith
        {"abc", "", true, true},    {"abc", "ab", true, false},  {"abc", "bc", false, true},
        {"abc", "abc", true, true}, {"ab", "abc", false, false}, {"abc", "b", false, false},
        {std::string("a\0b", 3), std::string("\0b", 2), false, true},
    };
    for (const auto& [text, affix, starts, ends] : cases) {
        EXPECT_EQ(S::startsWith(text, affix), starts) << text << " / " << affix;
        EXPECT_EQ(S::endsWith(text, affix), ends) << text << " / " << affix;
    }
}

TEST(String, TrimmingInPlaceAndCopyAgree) {
    const std::string cases[][5] = {
        // text, set, left, right, both
        {"  x  ", " ", "x  ", "  x", "x"},  {"   ", " ", "", "", ""},           {" x ", "", " x ", " x ", " x "},
        {"x\t\n", "\n\t", "x\t\n", "x", "x"}, {"xx", "x", "", "", ""},         {"abXba", "ba", "Xba", "abX", "X"},
        {"\xC3\xA4 ", " ", "\xC3\xA4 ", "\xC3\xA4", "\xC3\xA4"},
    };
    for (const auto& [text, set, left, right, both] : cases) {
        SCOPED_TRACE('"' + text + '"');
        std::string l = text, r = text, b = text;
        S::ltrim(l, set);
        S::rtrim(r, set);
        S::trim(b, set);
        EXPECT_EQ((Parts{S::ltrimCopy(text, set), S::rtrimCopy(text, set), S::trimCopy(text, set)}), (Parts{left, right, both}));
        EXPECT_EQ((Parts{l, r, b}), (Parts{left, right, both}));
    }
    EXPECT_EQ(S::trimCopy(" \t\v\f\r\nx y\n"), "x y");  // the blanks by default
}

TEST(String, ReplaceAllNeverRescansInsertedText) {
    const std::string mib(1 << 20, 'a');
    const std::string cases[][4] = {
        {"aaa", "a", "b", "bbb"},  {"text", "", "x", "text"},  {"aba", "a", "aa", "aabaa"}, {"aaaa", "aa", "a", "aa"},
        {"abcabc", "bc", "", "aa"}, {"abc", "abcd", "x", "abc"}, {"xab", "ab", "-", "x-"},  {mib, "a", "bb", std::string(2 << 20, 'b')},
    };
    for (const auto& [text, from, to, result] : cases) {
        SCOPED_TRACE(text.substr(0, 8) + ": " + from + " -> " + to);
        EXPECT_EQ(S::replaceAllCopy(text, from, to), result);
        std::string inPlace = text;
        S::replaceAll(inPlace, from, to);
        EXPECT_EQ(inPlace, result);
    }
}

TEST(String, SplitByModeAndOptions) {
    const auto any = Flags<S::SplitOptions>(S::SplitAtAnyCharacter);
    const auto skip = Flags<S::SplitOptions>(S::SkipEmptyParts);
    const auto both = S::SplitAtAnyCharacter | S::SkipEmptyParts;
    const std::tuple<std::string, std::string, Flags<S::SplitOptions>, Parts> cases[] = {
        {"x,y,,z,", ",", {}, {"x", "y", "", "z", ""}}, {"x,y,,z,", ",", skip, {"x", "y", "z"}},
        {"x;y z", "; ", any, {"x", "y", "z"}},         {"x;y z", "; ", {}, {"x;y z"}},
        {"x; y", "; ", {}, {"x", "y"}},                {"", ",", {}, {""}},
        {"", ",", skip, {}},                           {"", ",", both, {}},
        {"x---y", "--", {}, {"x", "-y"}},              {"--", "--", {}, {"", ""}},
        {"a,b", "", {}, {"a,b"}},                      {"a,b", "", any, {"a,b"}},
        {",;a;;b,", ",;", any, {"", "", "a", "", "b", ""}}, {",;a;;b,", ",;", both, {"a", "b"}},
        {",,", ",", skip, {}},
    };
    for (const auto& [text, separator, options, parts] : cases) {
        EXPECT_EQ(S::split(text, separator, options), parts) << '"' << text << "\" at \"" << separator << "\" " << options.value();
    }
    EXPECT_EQ(S::split("a,b", ","), (Parts{"a", "b"}));
}

TEST(String, JoinNonEmptySkipsEmptyParts) {
    EXPECT_EQ(S::joinNonEmpty({"", "x", "", "y", ""}, ", "), "x, y");
    EXPECT_EQ(S::joinNonEmpty({}, ", "), "");
    EXPECT_EQ(S::joinNonEmpty({"", ""}, ","), "");
    EXPECT_EQ(S::joinNonEmpty({"a", "b", "c"}, ""), "abc");
}

// A ctype facet that, unlike the classic one, maps '1' to '!' in upper case.
class ShoutingCtype : public std::ctype<char> {
protected:
    char do_toupper(char c) const override { return c == '1' ? '!' : std::ctype<char>::do_toupper(c); }
};

TEST(String, CaseConversionFollowsTheGlobalLocale) {
    const std::string mixed = "Ab-z1\xC3\xA4Z\xC3\x84";  // ASCII, hyphen, digit, "ä", "Ä" in UTF-8
    std::string upper = mixed, lower = mixed;
    S::toUpper(upper);
    S::toLower(lower);
    EXPECT_EQ((Parts{upper, S::toUpperCopy(mixed)}), (Parts(2, "AB-Z1\xC3\xA4Z\xC3\x84")));
    EXPECT_EQ((Parts{lower, S::toLowerCopy(mixed)}), (Parts(2, "ab-z1\xC3\xA4z\xC3\x84")));
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new ShoutingCtype));
    const std::string shouted = S::toUpperCopy("a1");
    std::locale::global(previous);
    EXPECT_EQ(shouted, "A!");
}

}  // namespace
