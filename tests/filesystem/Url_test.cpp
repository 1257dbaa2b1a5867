#include "core/filesystem/Url.h"

#include "filesystem/UrlSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

using Orvantis::Filesystem::Url;
using OrvantisTest::storedParts;
using OrvantisTest::UrlParts;

TEST(UrlParse, SplitsIntoFiveStoredComponents) {
    struct Case {
        std::string text;
        UrlParts parts;
    };
    const Case cases[] = {
        {"res://host:8080/a/b?x=1&y=2#frag", {"res:", "//host:8080", "/a/b", "?x=1&y=2", "#frag"}},
        {"C:\\data\\scan.raw", {"", "", "/C:/data/scan.raw", "", ""}},
        {"x:\\\\srv", {"", "", "/x:/srv", "", ""}},
        {"C:", {"C:", "", "", "", ""}},
        {"file:///C:/x", {"file:", "//", "/C:/x", "", ""}},
        {"a/b:c", {"", "", "a/b:c", "", ""}},
        {"a b:c", {"", "", "a b:c", "", ""}},
        {"1abc:x", {"1abc:", "", "x", "", ""}},
        {"+.-:x", {"+.-:", "", "x", "", ""}},
        {":x", {":", "", "x", "", ""}},
        {"//host/p", {"", "//host", "/p", "", ""}},
        {"?q", {"", "", "", "?q", ""}},
        {"#f", {"", "", "", "", "#f"}},
        {"res://h#f?x", {"res:", "//h", "", "", "#f?x"}},
        {"res://h//a\\b//", {"res:", "//h", "/a/b/", "", ""}},
        {"res:////x", {"res:", "//", "/x", "", ""}},
        {"///", {"", "//", "/", "", ""}},
        {"res:", {"res:", "", "", "", ""}},
        {"res://", {"res:", "//", "", "", ""}},
        {"res:?", {"res:", "", "", "?", ""}},
        {"res://u@h:1?a#b", {"res:", "//u@h:1", "", "?a", "#b"}},
        {"http://h/a//b\\\\c?q=\\\\#f\\\\", {"http:", "//h", "/a/b/c", "?q=\\\\", "#f\\\\"}},
        {"res:a/./../b", {"res:", "", "a/./../b", "", ""}},
        {"", {"", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(storedParts(Url(c.text)), c.parts) << c.text;
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
    EXPECT_EQ(storedParts(u), UrlParts{});
}

TEST(UrlParse, HugeAndDegenerateTextsStayLinear) {
    const size_t mib = size_t(1) << 20;
    const std::string slashes(mib, '/');
    Url u("res:" + slashes + "x");
    EXPECT_EQ(storedParts(u)[1], "//");
    EXPECT_EQ(u.path(), "/x");

    std::string items(mib, '&');
    Url q("?" + items);
    EXPECT_EQ(q.subqueryCount(), mib + 1);
    EXPECT_EQ(q.subqueries().size(), mib + 1);
    EXPECT_EQ(q.subquery(mib).value(), Url::Subquery(""));
    q.replaceSubquery(mib, Url::Subquery("k=v"));
    EXPECT_EQ(q.findSubquery("k").value(), Url::Subquery("k=v"));

    Url p("res://h");
    p.setPath(std::string(mib, '%'));
    EXPECT_EQ(p.path(), "/" + std::string(mib, '%'));
    EXPECT_EQ(Url(std::string(mib, '\\')).string(), "/");
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
    struct Case {
        std::string text;
        std::vector<std::string> expected;  // scheme authority userinfo username password host port path query fragment
        int portNumber;
    };
    const Case cases[] = {
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
        {"res:/%2f%5C%00x", {"res", "", "", "", "", "", "", std::string("//\\\0x", 5), "", ""}, -1},
    };
    for (const Case& c : cases) {
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
    struct Case {
        std::string before;
        std::function<void(Url&)> edit;
        std::string after;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        Url u(c.before);
        c.edit(u);
        EXPECT_EQ(u.string(), c.after) << c.before << " -> " << c.after;
        EXPECT_EQ(OrvantisTest::describeLayoutFault(u), "") << c.before << " -> " << c.after;
    }
}

TEST(UrlSetters, PathComesBackDecoded) {
    Url u("res://h");
    u.setPath("/50% off?#");
    EXPECT_EQ(u.path(), "/50% off?#");
    u.setPath("%41");
    EXPECT_EQ(u.path(), "/%41");
    u.setPath("/C:/x");
    EXPECT_EQ(u.path(), "C:/x");
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
        {"", false},
        {"res://h/a;b", false},
        {"res://h/p?x=a/b", false},
        {"res://h/p#a=b", false},
        {"res://:80", false},
        {"/ab:c", false},
        {"res://h/a%3Ab", false},
        {"res://:p@h", false},
        {"res://u@", false},
        {"res://h;x", false},
        {"res://h=x/p", false},
        {"res://h/p?a:b", false},
        {"res://h/p?a@b", false},
        {"res://h/p#a;b", false},
        {"res://h/p#a&b", false},
        {"res://h:80", true},
        {"res:///x", true},
        {"/C:/x", true},
        {"/a:b", true},
        {"/C:/a%3Ab", true},
        {"res://h/p?a=1&b=2", true},
        {"res://u:p@h:1/p?q;r#f", true},
        {"res://h/p?", true},
        {"res://h#", true},
        {":x", true},
        {"res:p", true},
    };
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(Url(text).isValid(), valid) << text;
    }
    Url badScheme("res://h/p");
    badScheme.setScheme("a b");
    EXPECT_FALSE(badScheme.isValid());
}

// Cases the model below does not produce: an empty user name, the stored
// (encoded) path, and no options at all.
TEST(UrlFormat, CopiesPartsAsStored) {
    EXPECT_EQ(Url("res://:pw@h/p").string(Url::OmitPassword), "res://@h/p");
    EXPECT_EQ(Url("res://u@h:1/p%20?q#f").string(Url::OmitScheme | Url::OmitFragment), "//u@h:1/p%20?q");
    EXPECT_EQ(Url("C:/x").string(Orvantis::Flags<Url::FormattingOption>()), "/C:/x");
}

// An independent model of the formatter: the URL is assembled from known
// pieces and every one of the 256 option sets is checked against them.
TEST(UrlFormat, EveryOptionCombinationMatchesTheParts) {
    const struct {
        std::string scheme, user, password, host, port, path, query, fragment;
        bool authority;
    } urls[] = {
        {"res", "u", "pw", "h", "80", "/p", "q", "f", true},
        {"res", "u", "", "h", "", "/p", "", "f", true},
        {"", "", "", "h", "1", "", "q", "", true},
        {"file", "", "", "", "", "/C:/x", "", "", true},
        {"res", "", "", "", "", "p", "a", "b", false},
    };
    for (const auto& x : urls) {
        const std::string userinfo = x.user + (x.password.empty() ? "" : ":" + x.password);
        const std::string port = x.port.empty() ? "" : ":" + x.port;
        const std::string userPart = userinfo.empty() ? "" : userinfo + "@";
        const std::string text = (x.scheme.empty() ? "" : x.scheme + ":") +
                                 (x.authority ? "//" + userPart + x.host + port : "") + x.path +
                                 (x.query.empty() ? "" : "?" + x.query) + (x.fragment.empty() ? "" : "#" + x.fragment);
        const Url u(text);
        for (uint32_t v = 1; v < 256; ++v) {
            std::string expected = (v & 0x01) || x.scheme.empty() ? "" : x.scheme + ":";
            const uint32_t m = v & 0x1E;
            if (x.authority && m != 0x1E) {
                const uint32_t userBits = v & 0x06;
                const std::string user = userinfo.empty() || userBits == 0x06 ? ""
                                         : userBits == 0                      ? userPart
                                                                              : x.user + "@";
                expected += "//" + user + x.host + ((v & 0x08) ? "" : port);
            }
            expected += (v & 0x20) ? "" : x.path;
            expected += (v & 0x40) || x.query.empty() ? "" : "?" + x.query;
            expected += (v & 0x80) || x.fragment.empty() ? "" : "#" + x.fragment;
            EXPECT_EQ(u.string(v), expected) << text << " / " << v;
        }
        EXPECT_EQ(u.string(), text);
    }
}

}  // namespace
