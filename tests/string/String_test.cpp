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
    struct Case {
        std::string str, affix;
        bool starts, ends;
    } cases[] = {
        {"abc", "", true, true},    {"abc", "ab", true, false},  {"abc", "bc", false, true},
        {"abc", "abc", true, true}, {"ab", "abc", false, false}, {"abc", "b", false, false},
        {std::string("a\0b", 3), std::string("\0b", 2), false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(S::startsWith(c.str, c.affix), c.starts) << c.str << " / " << c.affix;
        EXPECT_EQ(S::endsWith(c.str, c.affix), c.ends) << c.str << " / " << c.affix;
    }
}

TEST(String, TrimmingInPlaceAndCopyAgree) {
    struct Case {
        std::string str, set, left, right, both;
    } cases[] = {
        {"  x  ", " ", "x  ", "  x", "x"},
        {"   ", " ", "", "", ""},
        {" x ", "", " x ", " x ", " x "},
        {"x\t\n", "\n\t", "x\t\n", "x", "x"},
        {"xx", "x", "", "", ""},
        {"abXba", "ba", "Xba", "abX", "X"},
        {"\xC3\xA4 ", " ", "\xC3\xA4 ", "\xC3\xA4", "\xC3\xA4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(S::ltrimCopy(c.str, c.set), c.left) << '"' << c.str << '"';
        EXPECT_EQ(S::rtrimCopy(c.str, c.set), c.right) << '"' << c.str << '"';
        EXPECT_EQ(S::trimCopy(c.str, c.set), c.both) << '"' << c.str << '"';
        std::string l = c.str, r = c.str, b = c.str;
        S::ltrim(l, c.set);
        S::rtrim(r, c.set);
        S::trim(b, c.set);
        EXPECT_EQ(l, c.left);
        EXPECT_EQ(r, c.right);
        EXPECT_EQ(b, c.both);
    }
    // Without a set, the blanks " \t\n\v\f\r" are trimmed.
    EXPECT_EQ(S::trimCopy(" \t\v\f\r\nx y\n"), "x y");
}

TEST(String, ReplaceAllNeverRescansInsertedText) {
    struct Case {
        std::string str, from, to, result;
    } cases[] = {
        {"aaa", "a", "b", "bbb"},     {"text", "", "x", "text"}, {"aba", "a", "aa", "aabaa"},
        {"aaaa", "aa", "a", "aa"},    {"abcabc", "bc", "", "aa"}, {"abc", "abcd", "x", "abc"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(S::replaceAllCopy(c.str, c.from, c.to), c.result) << c.str;
        std::string inPlace = c.str;
        S::replaceAll(inPlace, c.from, c.to);
        EXPECT_EQ(inPlace, c.result) << c.str;
    }
}

TEST(String, SplitByModeAndOptions) {
    const auto any = Flags<S::SplitOptions>(S::SplitAtAnyCharacter);
    const auto skip = Flags<S::SplitOptions>(S::SkipEmptyParts);
    const auto both = S::SplitAtAnyCharacter | S::SkipEmptyParts;
    struct Case {
        std::string str, separator;
        Flags<S::SplitOptions> options;
        Parts parts;
    } cases[] = {
        {"x,y,,z,", ",", {}, {"x", "y", "", "z", ""}},
        {"x,y,,z,", ",", skip, {"x", "y", "z"}},
        {"x;y z", "; ", any, {"x", "y", "z"}},
        {"x;y z", "; ", {}, {"x;y z"}},
        {"x; y", "; ", {}, {"x", "y"}},
        {"", ",", {}, {""}},
        {"", ",", skip, {}},
        {"", ",", both, {}},
        {"x---y", "--", {}, {"x", "-y"}},
        {"--", "--", {}, {"", ""}},
        {"a,b", "", {}, {"a,b"}},
        {"a,b", "", any, {"a,b"}},
        {",;a;;b,", ",;", any, {"", "", "a", "", "b", ""}},
        {",;a;;b,", ",;", both, {"a", "b"}},
        {",,", ",", skip, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(S::split(c.str, c.separator, c.options), c.parts)
            << '"' << c.str << "\" at \"" << c.separator << "\" options " << c.options.value();
    }
    EXPECT_EQ(S::split("a,b", ","), (Parts{"a", "b"}));
}

TEST(String, JoinNonEmptySkipsEmptyParts) {
    EXPECT_EQ(S::joinNonEmpty({"", "x", "", "y", ""}, ", "), "x, y");
    EXPECT_EQ(S::joinNonEmpty({}, ", "), "");
    EXPECT_EQ(S::joinNonEmpty({"", ""}, ","), "");
    EXPECT_EQ(S::joinNonEmpty({"a", "b", "c"}, ""), "abc");
}

TEST(String, CaseConversionTouchesOnlyAsciiUnderClassicLocale) {
    const std::string mixed = "Ab-z\xC3\xA4Z\xC3\x84";  // ASCII, hyphen, "ä", "Ä" in UTF-8
    std::string upper = mixed, lower = mixed;
    S::toUpper(upper);
    S::toLower(lower);
    EXPECT_EQ(upper, "AB-Z\xC3\xA4Z\xC3\x84");
    EXPECT_EQ(lower, "ab-z\xC3\xA4z\xC3\x84");
    EXPECT_EQ(S::toUpperCopy(mixed), upper);
    EXPECT_EQ(S::toLowerCopy(mixed), lower);
}

// A ctype facet that, unlike the classic one, maps '1' to '!' in upper case.
class ShoutingCtype : public std::ctype<char> {
protected:
    char do_toupper(char c) const override { return c == '1' ? '!' : std::ctype<char>::do_toupper(c); }
};

TEST(String, CaseConversionFollowsTheGlobalLocale) {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new ShoutingCtype));
    const std::string upper = S::toUpperCopy("a1");
    std::locale::global(previous);
    EXPECT_EQ(upper, "A!");
    EXPECT_EQ(S::toUpperCopy("a1"), "A1");
}

}  // namespace
