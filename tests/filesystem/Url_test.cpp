#include "core/filesystem/Url.h"

#include "core/filesystem/Path.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Orvantis::Filesystem::Path;
using Orvantis::Filesystem::Url;
using Subquery = Url::Subquery;
using Strings = std::vector<std::string>;

// The five stored components, each cut out by leaving out the other four:
// scheme with ':', authority with "//", path, query with '?', fragment with '#'.
Strings storedParts(const Url& u) {
    const uint32_t all = 0u | Url::OmitScheme | Url::OmitAuthority | Url::OmitPath | Url::OmitQuery | Url::OmitFragment;
    return {u.string(all & ~Url::OmitScheme), u.string(all & ~Url::OmitAuthority), u.string(all & ~Url::OmitPath),
            u.string(all & ~Url::OmitQuery), u.string(all & ~Url::OmitFragment)};
}

TEST(Url, ParseSplitsIntoFiveStoredComponents) {
    using Row = std::pair<std::string, Strings>;
    for (const auto& [text, parts] :
         {Row{"res://host:8080/a/b?x=1&y=2#frag", {"res:", "//host:8080", "/a/b", "?x=1&y=2", "#frag"}},
          Row{"C:\\data\\scan.raw", {"", "", "/C:/data/scan.raw", "", ""}},
          Row{"file:///C:/x", {"file:", "//", "/C:/x", "", ""}}, Row{"a/b:c?q", {"", "", "a/b:c", "?q", ""}},
          Row{"res://h#f?x", {"res:", "//h", "", "", "#f?x"}},
          Row{"http://h/a//b\\\\c?q=\\\\#f\\\\", {"http:", "//h", "/a/b/c", "?q=\\\\", "#f\\\\"}}}) {
        EXPECT_EQ(storedParts(Url(text)), parts) << text;
    }
    // Comparison with a string is byte-wise against the stored text.
    EXPECT_TRUE(Url("C:/x") != std::string("C:/x") && Url("C:\\x") == Url("/C:/x") && Url("//h/p").host() == "h");
    EXPECT_EQ(Url("res", "h", "p q#", "a=1", "f").string(), "res://h/p q%23?a=1#f");
}

TEST(Url, GettersCutComponentsOutOfTheText) {
    const std::pair<std::string, Strings> cases[] = {
        // scheme authority userinfo username password host port portNumber path query fragment
        {"rs://u:p:w@h:8:1/a%20b?x#f", {"rs", "u:p:w@h:8:1", "u:p:w", "u", "p:w", "h", "8:1", "8", "/a b", "x", "f"}},
        // One decoding pass, hex digits of either case; a '%' without two hex digits stays.
        {"file:/%4a%4F/%2541/%/a%4/%zz%4g%/%3f",
         {"file", "", "", "", "", "", "", "-1", "/JO/%41/%/a%4/%zz%4g%/?", "", ""}},
        {"file:///C:/a%20b", {"file", "", "", "", "", "", "", "-1", "C:/a b", "", ""}},  // a drive path drops its '/'
    };
    for (const auto& [text, expected] : cases) {
        const Url u(text);
        EXPECT_EQ((Strings{u.scheme(), u.authority(), u.userinfo(), u.username(), u.password(), u.host(), u.port(),
                           std::to_string(u.portNumber()), u.path(), u.query(), u.fragment()}),
                  expected)
            << text;
    }
    // The port number skips blanks and a '+', ends at a non-digit, and is -1 when it overflows or has no digit.
    EXPECT_EQ(
        Url("res://h: \t+7x/").portNumber() + Url("res://h:2147483648").portNumber() + Url("res://h:x1").portNumber(),
        7 - 1 - 1);
}

TEST(Url, SettersReplaceOneRangeAndManageDelimiters) {
    const std::tuple<std::string, void (*)(Url&), std::string> cases[] = {
        {"res://h/p?q#f", [](Url& u) { u.setQuery(""); }, "res://h/p#f"},
        {"res://h#f", [](Url& u) { u.setQuery("?a"); }, "res://h?a#f"},
        {"res:p", [](Url& u) { u.setAuthority("//h"); }, "res://h/p"},
        {"/p", [](Url& u) { u.setScheme("ftp"); }, "ftp:/p"},
        {"res://u@h:80/x", [](Url& u) { u.setHost("new"); }, "res://u@new:80/x"},
        {"file:///x", [](Url& u) { u.setHost("h"); }, "file://h/x"},
        {"res://a@h", [](Url& u) { u.setUserinfo("b"); }, "res://b@h"},
        {"res://al:o@h", [](Url& u) { u.setUsername("bo"); }, "res://bo:o@h"},
        {"res://h", [](Url& u) { u.setFragment("f"); }, "res://h#f"},
        {"/x", [](Url& u) { u.setUserinfo("me@"); }, "//me@localhost/x"},
        {"res://h?q", [](Url& u) { u.setPort(-5); }, "res://h:-5?q"},
        {"res://h/x", [](Url& u) { u.setPassword("pw"); }, "res://:pw@h/x"},
        {"res://al:o@h", [](Url& u) { u.setPassword(""); }, "res://al@h"},
        {"res://h", [](Url& u) { u.setPath("dir/f"); }, "res://h/dir/f"},
        {"file:", [](Url& u) { u.setPath("//x"); }, "file:/x"},
        {"res://h#f", [](Url& u) { u.setPath("/a b#%&;=?@"); }, "res://h/a b%23%25%26%3b%3d%3f%40#f"},
    };
    for (const auto& [before, set, after] : cases) {
        Url u(before);
        set(u);
        // Every stored component, so the text and the lengths kept beside it.
        EXPECT_EQ(storedParts(u), storedParts(Url(after))) << before << " to " << after;
    }
}

TEST(Url, ValidityRules) {
    const std::pair<std::string, bool> cases[] = {
        {"", false},          {"res://h/a;b", false}, {"res://h/p?x=a/b", false},  {"res://h/p#a=b", false},
        {"res://:80", false}, {"/ab:c", false},       {"res://h/a%3Ab", false},    {"res://:p@h", false},
        {"res://u@", false},  {"res://h;x", false},   {"res://h/p?a@b", false},    {"res://h:80", true},
        {"res:///x", true},   {"/C:/a%3Ab", true},    {"res://h/p?a=1&b=2", true}, {"res://u:p@h:1/p?q;r#f", true},
    };
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(Url(text).isValid(), valid) << text;
    }
    // Formatting leaves out what the options name.
    EXPECT_EQ(Url("res://u:pw@h:80/p").string(Url::OmitPassword | Url::OmitPort), "res://u@h/p");
    EXPECT_EQ(Url("res://:pw@h/p").string(Url::OmitPassword) + Url("res://u:pw@h/p").string(Url::OmitUserInfo),
              "res://@h/pres://h/p");
}

TEST(Url, SubqueriesSplitFindAndEditInPlace) {
    const std::vector<Subquery> all = Url("res://h/p?a=1&&b=2;c#f&g").subqueries();
    EXPECT_EQ(Strings(all.begin(), all.end()), (Strings{"a=1", "", "b=2", "c"}));
    EXPECT_TRUE(Url("res://h/p#a&b").subqueries().empty() && !Url("res://h/p?a").subquery(1).hasValue());
    EXPECT_EQ(Url("res://h/p?a=1&b=2").subquery(1).value().key() + std::to_string(Url("?a&b;c").subqueryCount()), "b3");
    EXPECT_EQ(Subquery("a=b=c").value() + Subquery("f").key() + Subquery("f").value(), "b=cf");
    EXPECT_TRUE(Subquery("a") != Subquery("b") && !(Subquery("a") != Subquery("a")));
    using Row = std::array<std::string, 3>;  // query, key, the first item that starts with the key ("-" for none)
    for (const auto& [query, key, expected] : {Row{"?ab=1&a=2;a", "a", "ab=1"}, Row{"?ab=1&a=2;a", "a=", "a=2"},
                                               Row{"?ab=1", "ab=12", "-"}, Row{"", "", "-"}, Row{"?", "", ""}}) {
        const auto item = Url("res://h/p" + query).findSubquery(key);
        EXPECT_EQ(item.hasValue() ? std::string(item.value()) : "-", expected) << query << " " << key;
    }
    // before, index to replace (-1: append), item, after
    using Edit = std::tuple<std::string, int, Subquery, std::string>;
    for (const auto& [before, index, item, after] :
         {Edit{"res://h/p", -1, Subquery("k", "v"), "res://h/p?k=v"},
          Edit{"res://h/p?a=1#f", -1, Subquery("k", "v"), "res://h/p?a=1&k=v#f"},
          Edit{"res://h/p?a=1&b=2#f", 1, Subquery("c", "33"), "res://h/p?a=1&c=33#f"}}) {
        Url u(before);
        index < 0 ? u.appendSubquery(item) : u.replaceSubquery(static_cast<size_t>(index), item);
        EXPECT_EQ(storedParts(u), storedParts(Url(after))) << before << " to " << after;
    }
}

TEST(Url, LocalFilesConvertBothWaysAndJoinOntoABase) {
    // Drive paths are absolute only on Windows, POSIX roots everywhere else.
    const bool drives = Path("C:/x").isAbsolute();
    const std::string cases[][5] = {
        // local, url, path, query, fragment
        {"C:\\data\\s 1.raw", drives ? "file:///C:/data/s 1.raw" : "file:C:/data/s 1.raw", "C:/data/s 1.raw", "", ""},
        {"file:C:\\d", drives ? "file:///C:/d" : "file:C:/d", "C:/d", "", ""},  // "file:" is not part of the name
        {"a?b?c#d#e", "file:a%3fb?c#d#e", "a?b", "c", "d#e"},
    };
    for (const auto& [local, url, path, query, fragment] : cases) {
        const Url u(Path{local});
        EXPECT_EQ((Strings{u.string(), u.path(), u.query(), u.fragment()}), (Strings{url, path, query, fragment}));
        EXPECT_EQ(u.toLocalFile(), Path(path)) << local;
    }
    EXPECT_TRUE(Url("res://h/x").toLocalFile() == "" && Url("FILE:///C:/x").toLocalFile() == "");
    // A relative URL joins onto the base.
    EXPECT_EQ(Url::relativeTo("sub\\a?q#f", "C:\\base\\", true).string(), "file:///C:/base/sub/a?q#f");
    OrvantisTest::TempDir dir;  // an existing entry makes a file URL
    OrvantisTest::writeFile(dir.file("x"), "");
    EXPECT_EQ(Url::relativeTo("x", dir.path.generic_string(), false).scheme(), "file");
    EXPECT_EQ(Url::relativeTo("missing.txt", "/base", false).string(), "/base/missing.txt");  // no file, no file URL
}

}  // namespace
