#include "core/filesystem/Url.h"

#include "core/filesystem/Path.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

namespace {

using Orvantis::Filesystem::Path;
using Orvantis::Filesystem::Url;
using Subquery = Url::Subquery;
using Parts = std::array<std::string, 5>;
using Strings = std::vector<std::string>;

// The five stored components, each cut out by leaving out the other four:
// scheme with ':', authority with "//", path, query with '?', fragment with '#'.
Parts storedParts(const Url& u) {
    const uint32_t all = 0u | Url::OmitScheme | Url::OmitAuthority | Url::OmitPath | Url::OmitQuery | Url::OmitFragment;
    return {u.string(all & ~Url::OmitScheme), u.string(all & ~Url::OmitAuthority), u.string(all & ~Url::OmitPath),
            u.string(all & ~Url::OmitQuery), u.string(all & ~Url::OmitFragment)};
}

TEST(Url, ParseSplitsIntoFiveStoredComponents) {
    const std::pair<std::string, Parts> cases[] = {
        {"res://host:8080/a/b?x=1&y=2#frag", {"res:", "//host:8080", "/a/b", "?x=1&y=2", "#frag"}},
        {"C:\\data\\scan.raw", {"", "", "/C:/data/scan.raw", "", ""}},
        {"C:", {"C:", "", "", "", ""}},
        {"file:///C:/x", {"file:", "//", "/C:/x", "", ""}},
        {"a/b:c", {"", "", "a/b:c", "", ""}},
        {":x", {":", "", "x", "", ""}},
        {"//host/p", {"", "//host", "/p", "", ""}},
        {"?q", {"", "", "", "?q", ""}},
        {"res://h#f?x", {"res:", "//h", "", "", "#f?x"}},
        {"http://h/a//b\\\\c?q=\\\\#f\\\\", {"http:", "//h", "/a/b/c", "?q=\\\\", "#f\\\\"}},
    };
    for (const auto& [text, parts] : cases) {
        EXPECT_EQ(storedParts(Url(text)), parts) << text;
    }
    // Comparison with a string is byte-wise against the stored text.
    EXPECT_TRUE(Url("C:/x") != std::string("C:/x") && Url("C:\\x") == Url("/C:/x") && Url("//h/p").isRelative());
    EXPECT_EQ(Url("res", "h", "p q#", "a=1", "f").string(), "res://h/p q%23?a=1#f");
    EXPECT_EQ(Url(Url::makeRelative, "file", "C:\\x", "", "f").string(), "file:C:/x#f");
}

TEST(Url, GettersCutComponentsOutOfTheText) {
    const std::pair<std::string, Strings> cases[] = {
        // scheme authority userinfo username password host port portNumber path query fragment
        {"res://user:pw@host:8080/a%20b?x=1#frag",
         {"res", "user:pw@host:8080", "user:pw", "user", "pw", "host", "8080", "8080", "/a b", "x=1", "frag"}},
        {"file:///x", {"file", "", "", "", "", "", "", "-1", "/x", "", ""}},
        {"res://a:b:c@h:1:2", {"res", "a:b:c@h:1:2", "a:b:c", "a", "b:c", "h", "1:2", "1", "", "", ""}},
        // One decoding pass, hex digits of either case; a '%' without two hex digits stays.
        {"res:/%4a%4F/50%25%20off%3f", {"res", "", "", "", "", "", "", "-1", "/JO/50% off?", "", ""}},
        {"res:/%2541/%/a%4/%zz%4g%", {"res", "", "", "", "", "", "", "-1", "/%41/%/a%4/%zz%4g%", "", ""}},
    };
    for (const auto& [text, expected] : cases) {
        const Url u(text);
        EXPECT_EQ((Strings{u.scheme(), u.authority(), u.userinfo(), u.username(), u.password(), u.host(), u.port(),
                           std::to_string(u.portNumber()), u.path(), u.query(), u.fragment()}),
                  expected)
            << text;
    }
    const std::pair<std::string, int> ports[] = {{"8x", 8}, {" \t+7", 7}, {"2147483648", -1}, {"-2147483648", INT_MIN}};
    for (const auto& [port, number] : ports) {
        EXPECT_EQ(Url("res://h:" + port + "/x").portNumber(), number) << port;
    }
}

TEST(Url, SettersReplaceOneRangeAndManageDelimiters) {
    using Setter = void (Url::*)(const std::string&);
    const Setter query = &Url::setQuery, fragment = &Url::setFragment, scheme = &Url::setScheme, host = &Url::setHost,
                 authority = &Url::setAuthority, port = &Url::setPort, userinfo = &Url::setUserinfo,
                 username = &Url::setUsername, password = &Url::setPassword, path = &Url::setPath;
    const std::tuple<std::string, Setter, std::string, std::string> cases[] = {
        {"res://h/p?q#f", query, "", "res://h/p#f"},
        {"res://h/p#f", query, "?a", "res://h/p?a#f"},
        {"res://h/p?q#f", fragment, "", "res://h/p?q"},
        {"/p", scheme, "ftp", "ftp:/p"},
        {"res:p", authority, "//h", "res://h/p"},
        {"res://h/p", authority, "", "res:/p"},
        {"res://u@h:80/x", host, "new", "res://u@new:80/x"},
        {"/x", port, "", "//localhost/x"},
        {"res://u@h:80", port, ":81", "res://u@h:81"},
        {"res://me@h/x", userinfo, "", "res://h/x"},
        {"/x", userinfo, "me@", "//me@localhost/x"},
        {"res://al:pw@h", username, "bob", "res://bob:pw@h"},
        {"res://h/x", password, "pw", "res://:pw@h/x"},
        {"res://al:o@h:1", password, ":pw", "res://al:pw@h:1"},
        {"res://al:o@h", password, "", "res://al@h"},
        {"res://h", path, "dir/f", "res://h/dir/f"},
        {"file:", path, "//x", "file:/x"},
        {"res://h/p?q", path, "", "res://h?q"},
    };
    for (const auto& [before, set, argument, after] : cases) {
        Url u(before);
        (u.*set)(argument);
        EXPECT_EQ(u.string(), after) << before << " + " << argument;
        EXPECT_EQ(storedParts(u), storedParts(Url(after))) << before << " + " << argument;  // the lengths follow
    }
    Url numbered("/x"), negative("res://h?q#f");
    numbered.setPort(8080), negative.setPort(-5), negative.setPath("a\\b !#$%&*+,;=?@[]");  // encoded, not normalised
    EXPECT_EQ(numbered.string() + " " + negative.string(),
              "//localhost:8080/x res://h:-5/a\\b %21%23%24%25%26%2a%2b%2c%3b%3d%3f%40%5b%5d?q#f");
}

TEST(Url, ValidityRules) {
    const std::pair<std::string, bool> cases[] = {
        {"", false},          {"res://h/a;b", false}, {"res://h/p?x=a/b", false},  {"res://h/p#a=b", false},
        {"res://:80", false}, {"/ab:c", false},       {"res://h/a%3Ab", false},    {"res://:p@h", false},
        {"res://u@", false},  {"res://h;x", false},   {"res://h/p?a@b", false},    {"res://h:80", true},
        {"res:///x", true},   {"/C:/a%3Ab", true},    {"res://h/p?a=1&b=2", true}, {"res://u:p@h:1/p?q;r#f", true},
        {":x", true},         {"res:p", true},
    };
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(Url(text).isValid(), valid) << text;
    }
    Url badScheme("res://h/p");
    badScheme.setScheme("a b");
    EXPECT_FALSE(badScheme.isValid());
}

TEST(Url, FormatLeavesOutWhatTheOptionsName) {
    const std::string full = "res://u:pw@h:80/p";
    const std::tuple<std::string, Orvantis::Flags<Url::FormattingOption>, std::string> cases[] = {
        {full, Url::OmitPassword, "res://u@h:80/p"}, {"res://:pw@h/p", Url::OmitPassword, "res://@h/p"},
        {full, Url::OmitUserInfo, "res://h:80/p"},   {full, Url::OmitPort, "res://u:pw@h/p"},
        {full, Url::OmitScheme, "//u:pw@h:80/p"},    {"C:/x", {}, "/C:/x"},
    };
    for (const auto& [text, options, expected] : cases) {
        EXPECT_EQ(Url(text).string(options), expected) << text << " / " << options.value();
    }
}

TEST(Url, SubqueriesSplitFindAndEditInPlace) {
    const std::pair<std::string, Strings> queries[] = {
        {"res://h/p#a&b", {}},
        {"res://h/p?", {""}},
        {"res://h/p?a=1&b=2;c", {"a=1", "b=2", "c"}},
        {"res://h/p?a&&=b#f&g", {"a", "", "=b"}},
    };
    for (const auto& [text, items] : queries) {
        const Url u(text);
        Strings expected = items, got;
        for (size_t i = 0; i <= u.subqueryCount(); ++i) {  // one past the end has no value
            const auto item = u.subquery(i);
            got.push_back(
                item.hasValue() ? item.value().key() + (item.value().hasKey() ? "=" : "") + item.value().value() : "-");
        }
        expected.push_back("-");
        EXPECT_EQ(got, expected) << text;
        EXPECT_EQ(u.subqueries().size(), u.subqueryCount()) << text;
    }
    EXPECT_EQ(Subquery("a=b=c").key() + " " + Subquery("a", "1").value(), "a 1");
    const std::string found[][3] = {
        // url, key prefix, item found ("-": none)
        {"res://h/p?ab=1&a=2;a", "a", "ab=1"},
        {"res://h/p?ab=1&a=2;a", "a=", "a=2"},
        {"res://h/p?ab=1", "ab=12", "-"},
        {"res://h/p?ab=1", "b", "-"},
        {"res://h/p", "", "-"},
        {"res://h/p?", "", ""},
    };
    for (const auto& [url, key, expected] : found) {
        const auto item = Url(url).findSubquery(key);
        EXPECT_EQ(item.hasValue() ? std::string(item.value()) : "-", expected) << url << " " << key;
    }
    const std::tuple<std::string, int, Subquery, std::string> edits[] = {
        // before, index to replace (-1: append), item, after
        {"res://h/p", -1, Subquery("k", "v"), "res://h/p?k=v"},
        {"res://h/p?", -1, Subquery("k", "v"), "res://h/p?k=v"},
        {"res://h/p?a=1#f", -1, Subquery("k", "v"), "res://h/p?a=1&k=v#f"},
        {"res://h/p?a=1&b=2#f", 1, Subquery("c", "33"), "res://h/p?a=1&c=33#f"},
        {"res://h/p?a=1;b=2", 0, Subquery(""), "res://h/p?;b=2"},
        {"res://h/p?a=1&b=2", 5, Subquery("z"), "res://h/p?a=1&b=2&z"},
    };
    for (const auto& [before, index, item, after] : edits) {
        Url u(before);
        index < 0 ? u.appendSubquery(item) : u.replaceSubquery(static_cast<size_t>(index), item);
        EXPECT_EQ(u.string(), after) << before;
        EXPECT_EQ(storedParts(u), storedParts(Url(after))) << before;
    }
}

TEST(Url, LocalFilesConvertBothWays) {
    // Drive paths are absolute only on Windows, POSIX roots everywhere else.
    const bool drives = Path("C:/x").isAbsolute();
    const std::string cases[][5] = {
        // local, url, path, query, fragment
        {"C:\\data\\s 1.raw", drives ? "file:///C:/data/s 1.raw" : "file:C:/data/s 1.raw", "C:/data/s 1.raw", "", ""},
        {"/data/x", drives ? "file:/data/x" : "file:///data/x", "/data/x", "", ""},
        {"file://srv/share", "file:///srv/share", "/srv/share", "", ""},
        {"a?b?c#d#e", "file:a%3fb?c#d#e", "a?b", "c", "d#e"},
    };
    for (const auto& [local, url, path, query, fragment] : cases) {
        const Url u = Url::fromLocalFile(local);
        EXPECT_EQ((Strings{u.string(), u.path(), u.query(), u.fragment()}), (Strings{url, path, query, fragment}));
        EXPECT_EQ(Url(Path(local)), Url::fromLocalFile(Path(local).string())) << local;
        EXPECT_EQ(u.toLocalFile(), Path(path)) << local;
    }
    for (const char* other : {"res://h/x", "FILE:///C:/x", "/C:/x"}) {
        EXPECT_EQ(Url(other).toLocalFile(), Path::emptyPath) << other;
    }
}

TEST(Url, RelativeToJoinsRelativePathsOntoTheBase) {
    OrvantisTest::TempDir dir;
    OrvantisTest::writeFile(dir.file("f.txt"), "x");
    const std::string base = dir.path.generic_string();
    // The base as the resolution roots it: a drive path gets a '/' in front.
    const std::string rooted = base.front() == '/' ? base : "/" + base;
    const std::tuple<std::string, std::string, bool, std::string> cases[] = {
        // url, base, isLocalPath, result
        {"sub\\a.raw", "C:\\base\\", true, "file:///C:/base/sub/a.raw"},
        {"x?q#f", "", true, "file:///x?q#f"},
        {"file:rel/x", "/base//", true, "file:///base/rel/x"},
        // Not a local path: only an existing file becomes a file URL.
        {"f.txt", base, false, "file://" + rooted + "/f.txt"},
        {"res:f.txt", base, false, "res://" + rooted + "/f.txt"},
        {"missing.txt", base, false, rooted + "/missing.txt"},
#ifndef _WIN32  // "/missing" is absolute only where paths have no drives
        {"res://h/missing", base, false, "res://h/missing"},
#endif
    };
    for (const auto& [url, on, isLocalPath, expected] : cases) {
        EXPECT_EQ(Url::relativeTo(url, on, isLocalPath).string(), expected) << url << " on " << on;
    }
}

}  // namespace
