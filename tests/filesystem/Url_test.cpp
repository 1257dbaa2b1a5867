#include "core/filesystem/Url.h"

#include "core/filesystem/Path.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

using Orvantis::Filesystem::Path;
using Orvantis::Filesystem::Url;
using Subquery = Url::Subquery;
using Parts = std::array<std::string, 5>;

// The five stored components, each cut out by leaving out the other four:
// scheme with ':', authority with "//", path, query with '?', fragment with '#'.
Parts storedParts(const Url& u) {
    return {u.string(Url::OmitAuthority | Url::OmitPath | Url::OmitQuery | Url::OmitFragment),
            u.string(Url::OmitScheme | Url::OmitPath | Url::OmitQuery | Url::OmitFragment),
            u.string(Url::OmitScheme | Url::OmitAuthority | Url::OmitQuery | Url::OmitFragment),
            u.string(Url::OmitScheme | Url::OmitAuthority | Url::OmitPath | Url::OmitFragment),
            u.string(Url::OmitScheme | Url::OmitAuthority | Url::OmitPath | Url::OmitQuery)};
}

// Whether the stored components tile the text in order, each with its delimiter.
bool wellLaidOut(const Url& u) {
    const Parts p = storedParts(u);
    return p[0] + p[1] + p[2] + p[3] + p[4] == u.string() && (p[0].empty() || p[0].back() == ':') &&
           (p[1].empty() || p[1].rfind("//", 0) == 0) && (p[3].empty() || p[3][0] == '?') &&
           (p[4].empty() || p[4][0] == '#');
}

TEST(UrlParse, SplitsIntoFiveStoredComponents) {
    const std::pair<std::string, Parts> cases[] = {
        {"res://host:8080/a/b?x=1&y=2#frag", {"res:", "//host:8080", "/a/b", "?x=1&y=2", "#frag"}},
        {"C:\\data\\scan.raw", {"", "", "/C:/data/scan.raw", "", ""}}, {"x:\\\\srv", {"", "", "/x:/srv", "", ""}},
        {"C:", {"C:", "", "", "", ""}}, {"file:///C:/x", {"file:", "//", "/C:/x", "", ""}},
        {"a/b:c", {"", "", "a/b:c", "", ""}}, {"a b:c", {"", "", "a b:c", "", ""}},
        {"1abc:x", {"1abc:", "", "x", "", ""}}, {"+.-:x", {"+.-:", "", "x", "", ""}},
        {":x", {":", "", "x", "", ""}}, {"//host/p", {"", "//host", "/p", "", ""}},
        {"?q", {"", "", "", "?q", ""}}, {"#f", {"", "", "", "", "#f"}},
        {"res://h#f?x", {"res:", "//h", "", "", "#f?x"}}, {"res://h//a\\b//", {"res:", "//h", "/a/b/", "", ""}},
        {"res:////x", {"res:", "//", "/x", "", ""}}, {"///", {"", "//", "/", "", ""}},
        {"res:", {"res:", "", "", "", ""}}, {"res://", {"res:", "//", "", "", ""}},
        {"res:?", {"res:", "", "", "?", ""}}, {"res://u@h:1?a#b", {"res:", "//u@h:1", "", "?a", "#b"}},
        {"http://h/a//b\\\\c?q=\\\\#f\\\\", {"http:", "//h", "/a/b/c", "?q=\\\\", "#f\\\\"}},
        {"res:a/./../b", {"res:", "", "a/./../b", "", ""}}, {"", {"", "", "", "", ""}},
        {"A:\\x", {"", "", "/A:/x", "", ""}}, {"z:/x", {"", "", "/z:/x", "", ""}},
    };
    for (const auto& [text, parts] : cases) {
        EXPECT_EQ(storedParts(Url(text)), parts) << text;
        EXPECT_EQ(storedParts(Url(Url(text).string())), parts) << text << " parsed again";
    }
}

TEST(UrlParse, FlagsAndComparisons) {
    EXPECT_TRUE(Url("file:///C:/x").hasAuthority());
    EXPECT_TRUE(Url("file:///C:/x").isAbsolute());
    EXPECT_FALSE(Url("//host/p").isAbsolute());
    EXPECT_TRUE(Url("//host/p").isRelative());
    EXPECT_FALSE(Url("res:/p").isAbsolute());
    EXPECT_TRUE(Url().isEmpty());
    // Comparison with a string is byte-wise against the stored text.
    EXPECT_FALSE(Url("C:/x") == std::string("C:/x"));
    EXPECT_TRUE(Url("C:/x") == std::string("/C:/x"));
    EXPECT_TRUE(Url("C:/x") != std::string("C:/x"));
    EXPECT_EQ(Url("C:\\x"), Url("/C:/x"));
    EXPECT_NE(Url("res://h/a"), Url("res://h/A"));
    Url u("res://h/p?q#f");
    u.clear();
    EXPECT_TRUE(u.isEmpty());
    EXPECT_EQ(storedParts(u), Parts{});
}

TEST(UrlParse, NormalizePathTouchesOnlyThePath) {
    Url u("res://h/p?a\\\\b#c//d");
    u.setPath("/x\\\\y//z/");  // setPath stores backslashes as given
    EXPECT_EQ(u.string(), "res://h/x\\\\y//z/?a\\\\b#c//d");
    u.normalizePath();
    EXPECT_EQ(u.string(), "res://h/x/y/z/?a\\\\b#c//d");
    EXPECT_EQ(u.query(), "a\\\\b");
}

TEST(UrlGetters, CutComponentsOutOfTheText) {
    const struct {
        std::string text;
        std::vector<std::string> expected;  // scheme authority userinfo username password host port path query fragment
        int portNumber;
    } cases[] = {
        {"res://user:pw@host:8080/a%20b?x=1#frag",
         {"res", "user:pw@host:8080", "user:pw", "user", "pw", "host", "8080", "/a b", "x=1", "frag"}, 8080},
        {"res://h", {"res", "h", "", "", "", "h", "", "", "", ""}, -1},
        {"/x", {"", "", "", "", "", "", "", "/x", "", ""}, -1},
        {"file:///x", {"file", "", "", "", "", "", "", "/x", "", ""}, -1},
        {":x?#", {"", "", "", "", "", "", "", "x", "", ""}, -1},
        {"res://u@h", {"res", "u@h", "u", "u", "", "h", "", "", "", ""}, -1},
        {"res://:p@h", {"res", ":p@h", ":p", "", "p", "h", "", "", "", ""}, -1},
        {"res://a:b:c@h:1:2", {"res", "a:b:c@h:1:2", "a:b:c", "a", "b:c", "h", "1:2", "", "", ""}, 1},
        {"res://u@v@h", {"res", "u@v@h", "u", "u", "", "v@h", "", "", "", ""}, -1},
        // Brackets are not special: the port starts at the first ':'.
        {"//[::1]:80/x", {"", "[::1]:80", "", "", "", "[", ":1]:80", "/x", "", ""}, -1},
        {"file:///C:/a%20b", {"file", "", "", "", "", "", "", "C:/a b", "", ""}, -1},
        {"/C:", {"", "", "", "", "", "", "", "C:", "", ""}, -1},
        {"res://h/%41", {"res", "h", "", "", "", "h", "", "/A", "", ""}, -1},
        {"res:/%4a%4A/50%25%20off%3f", {"res", "", "", "", "", "", "", "/JJ/50% off?", "", ""}, -1},
        // One decoding pass; a '%' without two hex digits stays.
        {"res:/%2541/%/a%4/%zz%4g%", {"res", "", "", "", "", "", "", "/%41/%/a%4/%zz%4g%", "", ""}, -1},
        {"res:/%4F%4f", {"res", "", "", "", "", "", "", "/OO", "", ""}, -1},
        {"res:/%2f%5C%00x", {"res", "", "", "", "", "", "", std::string("//\\\0x", 5), "", ""}, -1},
    };
    for (const auto& c : cases) {
        const Url u(c.text);
        const std::vector<std::string> got{u.scheme(),   u.authority(), u.userinfo(), u.username(), u.password(),
                                           u.host(),     u.port(),      u.path(),     u.query(),    u.fragment()};
        EXPECT_EQ(got, c.expected) << c.text;
        EXPECT_EQ(u.portNumber(), c.portNumber) << c.text;
    }
}

TEST(UrlGetters, PortNumberReadsLikeStoi) {
    const std::pair<std::string, int> cases[] = {
        {"80", 80},          {"8x", 8},           {"abc", -1},          {"99999999999", -1},
        {"-5", -5},          {" \t+7", 7},        {"- 5", -1},          {"", -1},
        {"2147483647", INT_MAX}, {"2147483648", -1}, {"-2147483648", INT_MIN}, {"-2147483649", -1},
        {"0000000000000000000000042", 42},        {"+", -1},
    };
    for (const auto& [port, expected] : cases) {
        EXPECT_EQ(Url("res://h:" + port + "/x").portNumber(), expected) << port;
    }
}

TEST(UrlSetters, ReplaceOneRangeAndManageDelimiters) {
    const std::tuple<std::string, std::function<void(Url&)>, std::string> cases[] = {
        {"res://h/p?q#f", [](Url& u) { u.setQuery(""); }, "res://h/p#f"},
        {"res://h/p?q#f", [](Url& u) { u.setQuery("?a=1"); }, "res://h/p?a=1#f"},
        {"res://h/p#f", [](Url& u) { u.setQuery("a"); }, "res://h/p?a#f"},
        {"res://h/p?q#f", [](Url& u) { u.setFragment(""); }, "res://h/p?q"},
        {"res://h/p", [](Url& u) { u.setFragment("#x"); }, "res://h/p#x"},
        {"res://h", [](Url& u) { u.setScheme("ftp:"); }, "ftp://h"},
        {"res://h", [](Url& u) { u.setScheme(""); }, "//h"},
        {"/p", [](Url& u) { u.setScheme("x"); }, "x:/p"},
        {"res:p", [](Url& u) { u.setAuthority("h"); }, "res://h/p"},
        {"res:/p", [](Url& u) { u.setAuthority("//h"); }, "res://h/p"},
        {"res://h/p", [](Url& u) { u.setAuthority(""); }, "res:/p"},
        {"?q", [](Url& u) { u.setAuthority("x"); }, "//x?q"},
        {"res://h:80/x", [](Url& u) { u.setHost(""); }, "res:/x"},
        {"res://u@h:80/x", [](Url& u) { u.setHost("new"); }, "res://u@new:80/x"},
        {"res:p", [](Url& u) { u.setHost("h"); }, "res://h/p"},
        {"/x", [](Url& u) { u.setPort(8080); }, "//localhost:8080/x"},
        {"/x", [](Url& u) { u.setPort(""); }, "//localhost/x"},
        {"res://h:80/x", [](Url& u) { u.setPort(""); }, "res://h/x"},
        {"res://h/x", [](Url& u) { u.setPort(-5); }, "res://h:-5/x"},
        {"res://u@h:80", [](Url& u) { u.setPort(":81"); }, "res://u@h:81"},
        {"res://h/x", [](Url& u) { u.setUserinfo("me"); }, "res://me@h/x"},
        {"res://me@h/x", [](Url& u) { u.setUserinfo(""); }, "res://h/x"},
        {"/x", [](Url& u) { u.setUserinfo(""); }, "/x"},
        {"/x", [](Url& u) { u.setUserinfo("me@"); }, "//me@localhost/x"},
        {"res://old:pw@h", [](Url& u) { u.setUserinfo("a:b"); }, "res://a:b@h"},
        {"res://al:pw@h", [](Url& u) { u.setUsername("bob"); }, "res://bob:pw@h"},
        {"res://al@h", [](Url& u) { u.setUsername("bob"); }, "res://bob@h"},
        {"res://h", [](Url& u) { u.setUsername("bob"); }, "res://bob@h"},
        {"res://al:pw@h", [](Url& u) { u.setUsername(""); }, "res://:pw@h"},
        {"res://h/x", [](Url& u) { u.setPassword("pw"); }, "res://:pw@h/x"},
        {"res://al@h", [](Url& u) { u.setPassword("pw"); }, "res://al:pw@h"},
        {"res://al:old@h:1", [](Url& u) { u.setPassword(":pw"); }, "res://al:pw@h:1"},
        {"res://al:old@h", [](Url& u) { u.setPassword(""); }, "res://al@h"},
        {"/p", [](Url& u) { u.setPassword("x"); }, "//:x@localhost/p"},
        {"res://h", [](Url& u) { u.setPath("dir/f"); }, "res://h/dir/f"},
        {"file:", [](Url& u) { u.setPath("//x"); }, "file:/x"},
        {"res:", [](Url& u) { u.setPath("///"); }, "res:/"},
        {"res:", [](Url& u) { u.setPath("a b?"); }, "res:a b%3f"},
        {"res://h?q#f", [](Url& u) { u.setPath("!#$%&*+,;=?@[]"); },
         "res://h/%21%23%24%25%26%2a%2b%2c%3b%3d%3f%40%5b%5d?q#f"},
        {"res://h/p?q", [](Url& u) { u.setPath(""); }, "res://h?q"},
        {"res://h", [](Url& u) { u.setPath("/a\\b//c"); }, "res://h/a\\b//c"},
    };
    for (const auto& [before, edit, after] : cases) {
        Url u(before);
        edit(u);
        EXPECT_EQ(u.string(), after) << before << " -> " << after;
        EXPECT_TRUE(wellLaidOut(u)) << before << " -> " << after;
    }
}

TEST(UrlSetters, PathComesBackDecoded) {
    const std::pair<const char*, const char*> cases[] = {
        {"/50% off?#", "/50% off?#"}, {"%41", "/%41"}, {"/C:/x", "C:/x"}, {"a/:b@c", "/a/:b@c"},
    };
    for (const auto& [path, back] : cases) {
        Url u("res://h?q#f");
        u.setPath(path);
        EXPECT_EQ(u.path(), back) << path;
        EXPECT_EQ(u.query() + u.fragment(), "qf") << path;
    }
}

TEST(UrlConstruct, AssemblesFromPieces) {
    EXPECT_EQ(Url("res", "h", "/p", "a=1", "f").string(), "res://h/p?a=1#f");
    EXPECT_EQ(Url("res", "", "p", "", "").string(), "res:p");
    EXPECT_EQ(Url("res:", "//h", "p", "?q", "#f").string(), "res://h/p?q#f");
    EXPECT_EQ(Url("res", "h", "p q#", "", "").string(), "res://h/p q%23");
    EXPECT_EQ(Url("", "", "a?b", "", "").string(), "a%3fb");
    EXPECT_EQ(Url("file", "//", "C:\\data\\x", "", "").string(), "file:///C:/data/x");
    EXPECT_EQ(Url(Url::makeRelative, "file", "C:\\x", "", "f").string(), "file:C:/x#f");
    EXPECT_EQ(Url(Url::makeRelative, "", "C:\\x", "", "").string(), "/C:/x");
}

TEST(UrlValidity, RulesInOrder) {
    const std::pair<std::string, bool> cases[] = {
        {"", false},           {"res://h/a;b", false},   {"res://h/p?x=a/b", false}, {"res://h/p#a=b", false},
        {"res://:80", false},  {"/ab:c", false},         {"res://h/a%3Ab", false},   {"res://:p@h", false},
        {"res://u@", false},   {"res://h;x", false},     {"res://h=x/p", false},     {"res://h/p?a:b", false},
        {"res://h/p?a@b", false}, {"res://h/p#a;b", false}, {"res://h/p#a&b", false},
        {"res://h:80", true},  {"res:///x", true},       {"/C:/x", true},            {"/a:b", true},
        {"/C:/a%3Ab", true},   {"res://h/p?a=1&b=2", true}, {"res://u:p@h:1/p?q;r#f", true},
        {"res://h/p?", true},  {"res://h#", true},       {":x", true},               {"res:p", true},
    };
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(Url(text).isValid(), valid) << text;
    }
    Url badScheme("res://h/p");
    badScheme.setScheme("a b");
    EXPECT_FALSE(badScheme.isValid());
}

TEST(UrlFormat, LeavesOutWhatTheOptionsName) {
    using Options = Orvantis::Flags<Url::FormattingOption>;
    const std::string full = "res://u:pw@h:80/p?q#f";
    const std::tuple<std::string, Options, std::string> cases[] = {
        {full, Url::OmitScheme, "//u:pw@h:80/p?q#f"},
        {full, Url::OmitPassword, "res://u@h:80/p?q#f"},
        {full, Url::OmitUserInfo, "res://h:80/p?q#f"},
        {full, Url::OmitPort, "res://u:pw@h/p?q#f"},
        {full, Url::OmitAuthority, "res:/p?q#f"},
        {full, Url::OmitUserInfo | Url::OmitPort, "res://h/p?q#f"},
        {full, Url::OmitPath | Url::OmitQuery, "res://u:pw@h:80#f"},
        {full, Url::OmitFragment, "res://u:pw@h:80/p?q"},
        {"res://:pw@h/p", Url::OmitPassword, "res://@h/p"},
        {"res://u@h:1/p%20?q#f", Url::OmitScheme | Url::OmitFragment, "//u@h:1/p%20?q"},
        {"C:/x", Options(), "/C:/x"},
    };
    for (const auto& [text, options, expected] : cases) {
        EXPECT_EQ(Url(text).string(options), expected) << text << " / " << options.value();
    }
}

TEST(UrlSubquery, KeyAndValueAreCutAtTheFirstEquals) {
    const std::tuple<Subquery, std::string, std::string, std::string, bool> cases[] = {
        // item, text, key, value, hasKey
        {Subquery("a", "1"), "a=1", "a", "1", true},
        {Subquery(std::string("a"), std::string("")), "a=", "a", "", true},
        {Subquery("flag"), "flag", "", "flag", false},
        {Subquery("a=b=c"), "a=b=c", "a", "b=c", true},
        {Subquery(std::string("=v")), "=v", "", "v", true},
        {Subquery(), "", "", "", false},
        {Subquery(nullptr), "", "", "", false},
    };
    for (const auto& [item, text, key, value, hasKey] : cases) {
        EXPECT_EQ(static_cast<std::string>(item), text);
        EXPECT_EQ(item.key(), key) << text;
        EXPECT_EQ(item.value(), value) << text;
        EXPECT_EQ(item.hasKey(), hasKey) << text;
    }
    EXPECT_EQ(Subquery("a", "1"), Subquery("a=1"));
    EXPECT_NE(Subquery("a", "1"), Subquery("a=2"));
}

TEST(UrlSubquery, ItemsAreSplitAtAmpersandAndSemicolon) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"res://h/p", {}},          {"res://h/p#a&b", {}},         {"res://h/p?", {""}},
        {"res://h/p?a=1&b=2;c", {"a=1", "b=2", "c"}},              {"res://h/p?a&&b", {"a", "", "b"}},
        {"?;", {"", ""}},           {"res://h/p?x=1#f&g", {"x=1"}},
    };
    for (const auto& [text, items] : cases) {
        const Url u(text);
        EXPECT_EQ(u.subqueryCount(), items.size()) << text;
        std::vector<std::string> all, each;
        for (const Subquery& s : u.subqueries()) {
            all.push_back(s);
        }
        for (size_t i = 0; u.subquery(i).hasValue(); ++i) {
            each.push_back(u.subquery(i).value());
        }
        EXPECT_EQ(all, items) << text;
        EXPECT_EQ(each, items) << text;
    }
}

TEST(UrlSubquery, FindIsAPrefixTest) {
    const Url u("res://h/p?ab=1&a=2;a");
    const std::pair<std::string, const char*> cases[] = {
        // nullptr: nothing found
        {"a", "ab=1"}, {"a=", "a=2"}, {"", "ab=1"}, {"ab=1", "ab=1"}, {"ab=12", nullptr}, {"b", nullptr},
    };
    for (const auto& [key, expected] : cases) {
        const auto found = u.findSubquery(key);
        ASSERT_EQ(found.hasValue(), expected != nullptr) << key;
        if (expected != nullptr) {
            EXPECT_EQ(found.value(), Subquery(expected)) << key;
        }
    }
    EXPECT_FALSE(Url("res://h/p").findSubquery("").hasValue());
    EXPECT_TRUE(Url("res://h/p?").findSubquery("").hasValue());
}

TEST(UrlSubquery, AppendAndReplaceEditTheQueryInPlace) {
    const std::tuple<std::string, int, Subquery, std::string> cases[] = {
        // before, index to replace (-1: append), item, after
        {"res://h/p", -1, Subquery("k", "v"), "res://h/p?k=v"},
        {"res://h/p?", -1, Subquery("k", "v"), "res://h/p?k=v"},
        {"res://h/p?a=1#f", -1, Subquery("k", "v"), "res://h/p?a=1&k=v#f"},
        {"res://h/p#f", -1, Subquery(""), "res://h/p?#f"},
        {"res://h/p?a=1&b=2#f", 1, Subquery("c", "33"), "res://h/p?a=1&c=33#f"},
        {"res://h/p?a=1;b=2", 0, Subquery(""), "res://h/p?;b=2"},
        {"res://h/p?a&&b", 1, Subquery("x"), "res://h/p?a&x&b"},
        {"res://h/p?a=1&b=2", 5, Subquery("z"), "res://h/p?a=1&b=2&z"},
        {"res://h/p#f", 0, Subquery("z"), "res://h/p?z#f"},
    };
    for (const auto& [before, index, item, after] : cases) {
        Url u(before);
        index < 0 ? u.appendSubquery(item) : u.replaceSubquery(static_cast<size_t>(index), item);
        EXPECT_EQ(u.string(), after) << before;
        EXPECT_TRUE(wellLaidOut(u)) << before;
        EXPECT_EQ(storedParts(u), storedParts(Url(after))) << before;
    }
}

// Drive paths are absolute only where Path says so (Windows); POSIX roots
// only where it says so (everywhere else).
const bool drivesAreAbsolute = Path("C:/x").isAbsolute();
const bool rootsAreAbsolute = Path("/x").isAbsolute();

TEST(UrlLocalFile, FromLocalFileBuildsFileUrls) {
    const std::string cases[][5] = {
        // local, url, path, query, fragment
        {"C:\\data\\scan 1.raw", drivesAreAbsolute ? "file:///C:/data/scan 1.raw" : "file:C:/data/scan 1.raw",
         "C:/data/scan 1.raw", "", ""},
        {"/data/x", rootsAreAbsolute ? "file:///data/x" : "file:/data/x", "/data/x", "", ""},
        {"file:///C:/x", "file:///C:/x", "C:/x", "", ""},
        {"file://srv/share", "file:///srv/share", "/srv/share", "", ""},
        {"file:x", "file:x", "x", "", ""},
        {"rel/dir", "file:rel/dir", "rel/dir", "", ""},
        {"a?b#c", "file:a?b#c", "a", "b", "c"},
        {"a#b", "file:a%23b", "a#b", "", ""},
        {"a?b?c#d#e", "file:a%3fb?c#d#e", "a?b", "c", "d#e"},
        {"a b%", "file:a b%25", "a b%", "", ""},
        {"", "file:", "", "", ""},
    };
    for (const auto& [local, url, path, query, fragment] : cases) {
        const Url u = Url::fromLocalFile(local);
        EXPECT_EQ(u.string(), url) << local;
        EXPECT_EQ(u.path() + "|" + u.query() + "|" + u.fragment(), path + "|" + query + "|" + fragment) << local;
        EXPECT_EQ(Url(Path(local)), Url::fromLocalFile(Path(local).string())) << local;
    }
}

TEST(UrlLocalFile, ToLocalFileOnlyForTheFileScheme) {
    const std::pair<std::string, std::string> cases[] = {
        {"file:///C:/data/scan%201.raw", "C:/data/scan 1.raw"}, {"file:rel/x", "rel/x"},
        {"file://host/share/x", "/share/x"}, {"res://h/x", ""}, {"FILE:///C:/x", ""}, {"/C:/x", ""},
    };
    for (const auto& [url, local] : cases) {
        EXPECT_EQ(Url(url).toLocalFile(), Path(local)) << url;
    }
    EXPECT_EQ(Url::fromLocalFile("C:\\data\\scan 1.raw").toLocalFile(), Path("C:/data/scan 1.raw"));
}

TEST(UrlLocalFile, RelativeToJoinsRelativePathsOntoTheBase) {
    OrvantisTest::TempDir dir;
    OrvantisTest::writeFile(dir.file("f.txt"), "x");
    const std::string base = dir.path.string();
    const std::tuple<std::string, std::string, bool, std::string> cases[] = {
        // url, base, isLocalPath, result
        {"sub/a.raw", "C:/base", true, "file:///C:/base/sub/a.raw"},
        {"sub/a.raw", "C:/base/", true, "file:///C:/base/sub/a.raw"},
        {"sub\\a.raw", "C:\\base\\", true, "file:///C:/base/sub/a.raw"},
        {"x?q#f", "", true, "file:///x?q#f"},
        {"file:rel/x", "/base//", true, "file:///base/rel/x"},
        // Not a local path: only an existing file becomes a file URL.
        {"f.txt", base, false, "file://" + base + "/f.txt"},
        {"res:f.txt", base, false, "res://" + base + "/f.txt"},
        {"missing.txt", base, false, base + "/missing.txt"},
    };
    for (const auto& [url, on, isLocalPath, expected] : cases) {
        EXPECT_EQ(Url::relativeTo(url, on, isLocalPath).string(), expected) << url << " on " << on;
    }
    if (rootsAreAbsolute) {
        EXPECT_EQ(Url::relativeTo("/abs/x", "/base", true).string(), "file:///abs/x");
        EXPECT_EQ(Url::relativeTo("res://h/missing", base, false).string(), "res://h/missing");
    }
}

}  // namespace
