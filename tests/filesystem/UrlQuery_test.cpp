#include "core/filesystem/Url.h"

#include "filesystem/UrlSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Orvantis::Filesystem::Url;
using Subquery = Url::Subquery;

TEST(UrlSubquery, KeyAndValueAreCutAtTheFirstEquals) {
    const struct {
        Subquery item;
        std::string text, key, value;
        bool hasKey;
    } cases[] = {
        {Subquery("a", "1"), "a=1", "a", "1", true},
        {Subquery(std::string("a"), std::string("")), "a=", "a", "", true},
        {Subquery("flag"), "flag", "", "flag", false},
        {Subquery("a=b=c"), "a=b=c", "a", "b=c", true},
        {Subquery(std::string("=v")), "=v", "", "v", true},
        {Subquery(), "", "", "", false},
        {Subquery(nullptr), "", "", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<std::string>(c.item), c.text);
        EXPECT_EQ(c.item.key(), c.key) << c.text;
        EXPECT_EQ(c.item.value(), c.value) << c.text;
        EXPECT_EQ(c.item.hasKey(), c.hasKey) << c.text;
    }
    EXPECT_EQ(Subquery("a", "1"), Subquery("a=1"));
    EXPECT_NE(Subquery("a", "1"), Subquery("a=2"));
}

TEST(UrlSubquery, ItemsAreSplitAtAmpersandAndSemicolon) {
    const struct {
        std::string url;
        std::vector<std::string> items;
    } cases[] = {
        {"res://h/p", {}},
        {"res://h/p#a&b", {}},
        {"res://h/p?", {""}},
        {"res://h/p?a=1&b=2;c", {"a=1", "b=2", "c"}},
        {"res://h/p?a&&b", {"a", "", "b"}},
        {"?;", {"", ""}},
        {"res://h/p?x=1#f&g", {"x=1"}},
    };
    for (const auto& c : cases) {
        const Url u(c.url);
        EXPECT_EQ(u.subqueryCount(), c.items.size()) << c.url;
        std::vector<std::string> all;
        for (const Subquery& s : u.subqueries()) {
            all.push_back(s);
        }
        EXPECT_EQ(all, c.items) << c.url;
        for (size_t i = 0; i < c.items.size(); ++i) {
            ASSERT_TRUE(u.subquery(i).hasValue()) << c.url << " item " << i;
            EXPECT_EQ(static_cast<std::string>(u.subquery(i).value()), c.items[i]) << c.url << " item " << i;
        }
        EXPECT_FALSE(u.subquery(c.items.size()).hasValue()) << c.url;
    }
}

TEST(UrlSubquery, FindIsAPrefixTest) {
    const Url u("res://h/p?ab=1&a=2;a");
    const struct {
        std::string key;
        const char* expected;  // nullptr: nothing found
    } cases[] = {
        {"a", "ab=1"}, {"a=", "a=2"}, {"", "ab=1"}, {"ab=1", "ab=1"}, {"ab=12", nullptr}, {"b", nullptr},
    };
    for (const auto& c : cases) {
        const auto found = u.findSubquery(c.key);
        ASSERT_EQ(found.hasValue(), c.expected != nullptr) << c.key;
        if (c.expected != nullptr) {
            EXPECT_EQ(found.value(), Subquery(c.expected)) << c.key;
        }
    }
    EXPECT_FALSE(Url("res://h/p").findSubquery("").hasValue());
    EXPECT_TRUE(Url("res://h/p?").findSubquery("").hasValue());
}

TEST(UrlSubquery, AppendAndReplaceEditTheQueryInPlace) {
    const struct {
        std::string before;
        int replaceIndex;  // -1: append
        Subquery item;
        std::string after;
    } cases[] = {
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
    for (const auto& c : cases) {
        Url u(c.before);
        if (c.replaceIndex < 0) {
            u.appendSubquery(c.item);
        } else {
            u.replaceSubquery(static_cast<size_t>(c.replaceIndex), c.item);
        }
        EXPECT_EQ(u.string(), c.after) << c.before;
        EXPECT_EQ(OrvantisTest::describeLayoutFault(u), "") << c.before;
        EXPECT_EQ(u.fragment(), Url(c.after).fragment()) << c.before;
    }
}

}  // namespace
