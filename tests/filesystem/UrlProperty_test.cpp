// Properties of Url over generated texts: the layout invariant after any
// edit, stable re-parsing, and round trips through setPath and the getters.
#include "core/filesystem/Url.h"

#include "filesystem/UrlSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>

namespace {

using Orvantis::Filesystem::Url;
using OrvantisTest::describeLayoutFault;
using OrvantisTest::storedParts;

class Generator {
public:
    explicit Generator(unsigned seed) : rng(seed) {}

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }

    // Short texts rich in delimiters, now and then with an arbitrary byte.
    std::string text(size_t maxLength) {
        static const std::string alphabet = "/:?#@&;=%\\.aAcCzZ09+-[] h";
        std::string s;
        const size_t n = below(maxLength + 1);
        for (size_t i = 0; i < n; ++i) {
            s += below(20) == 0 ? static_cast<char>(below(256)) : alphabet[below(alphabet.size())];
        }
        return s;
    }

    std::string from(const std::string& alphabet, size_t minLength, size_t maxLength) {
        std::string s;
        const size_t n = minLength + below(maxLength - minLength + 1);
        for (size_t i = 0; i < n; ++i) {
            s += alphabet[below(alphabet.size())];
        }
        return s;
    }

    // Applies one randomly chosen setter with a random argument.
    void edit(Url& u) {
        const std::string arg = text(6);
        switch (below(13)) {
            case 0: u.setScheme(arg); break;
            case 1: u.setAuthority(arg); break;
            case 2: u.setUserinfo(arg); break;
            case 3: u.setUsername(arg); break;
            case 4: u.setPassword(arg); break;
            case 5: u.setHost(arg); break;
            case 6: u.setPort(arg); break;
            case 7: u.setPort(static_cast<int>(below(200000)) - 100000); break;
            case 8: u.setPath(arg); break;
            case 9: u.setQuery(arg); break;
            case 10: u.setFragment(arg); break;
            case 11: u.appendSubquery(Url::Subquery(arg)); break;
            default: u.replaceSubquery(below(4), Url::Subquery(arg)); break;
        }
    }

private:
    std::mt19937 rng;
};

TEST(UrlProperty, ParsedTextsKeepTheLayoutAndReparseToThemselves) {
    Generator gen(1234);
    for (int i = 0; i < 4000; ++i) {
        const std::string text = gen.text(24);
        const Url u(text);
        ASSERT_EQ(describeLayoutFault(u), "") << text;
        const Url again(u.string());
        ASSERT_EQ(again.string(), u.string()) << text;
        ASSERT_EQ(storedParts(again), storedParts(u)) << text;
    }
}

TEST(UrlProperty, EverySetterSequenceKeepsTheLayout) {
    Generator gen(99);
    for (int i = 0; i < 1500; ++i) {
        Url u(gen.text(20));
        for (int step = 0; step < 12; ++step) {
            gen.edit(u);
            ASSERT_EQ(describeLayoutFault(u), "") << "after step " << step << ": " << u.string();
        }
    }
}

TEST(UrlProperty, SetPathGivesThePathBack) {
    Generator gen(7);
    const std::string segmentChars = "abcXYZ019 .-_~:%!#$&*+,;=?@[]";
    const char* bases[] = {"res://h?q#f", "res:?q#f", "", "file://", "//u@h:1", "#f"};
    for (int i = 0; i < 3000; ++i) {
        Url u(bases[gen.below(6)]);
        const std::string query = u.query();
        const std::string fragment = u.fragment();
        // No backslashes and no repeated slashes; behind an authority the
        // path begins with '/'.
        std::string p = u.hasAuthority() || gen.below(2) == 0 ? "/" : "";
        const size_t segments = gen.below(4);
        for (size_t s = 0; s < segments; ++s) {
            p += (s == 0 ? "" : "/") + gen.from(segmentChars, 1, 6);
        }
        u.setPath(p);
        const bool driveForm = p.size() >= 3 && p[0] == '/' && std::isalpha(static_cast<unsigned char>(p[1])) &&
                               p[2] == ':';
        ASSERT_EQ(u.path(), driveForm ? p.substr(1) : p) << u.string();
        ASSERT_EQ(u.query(), query) << u.string();
        ASSERT_EQ(u.fragment(), fragment) << u.string();
    }
}

// Texts assembled from known pieces parse back into exactly those pieces,
// and pieces from the permitted alphabets make a valid URL.
TEST(UrlProperty, AssembledUrlsParseIntoTheirPieces) {
    Generator gen(2024);
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::string plain = letters + "0123456789-._~";
    for (int i = 0; i < 3000; ++i) {
        const std::string scheme = gen.below(5) == 0 ? "" : gen.from(letters, 1, 1) + gen.from(letters + "0123456789+.-", 1, 6);  // one letter would read as a drive
        const std::string user = gen.below(3) == 0 ? gen.from(plain, 1, 6) : "";
        const std::string password = !user.empty() && gen.below(2) == 0 ? gen.from(plain, 1, 6) : "";
        const std::string host = gen.from(plain, 1, 10);
        const std::string port = gen.below(2) == 0 ? std::to_string(gen.below(65536)) : "";
        std::string path;
        for (size_t s = gen.below(4); s > 0; --s) {
            path += "/" + gen.from(plain, 1, 6);
        }
        const std::string query = gen.below(2) == 0 ? gen.from(plain + "=&;", 0, 12) : "";
        const std::string fragment = gen.below(3) == 0 ? gen.from(plain, 0, 6) : "";

        const std::string userinfo = user + (password.empty() ? "" : ":" + password);
        const std::string authority = (userinfo.empty() ? "" : userinfo + "@") + host + (port.empty() ? "" : ":" + port);
        const std::string text = (scheme.empty() ? "" : scheme + ":") + "//" + authority + path +
                                 (query.empty() ? "" : "?" + query) + (fragment.empty() ? "" : "#" + fragment);
        const Url u(text);
        ASSERT_EQ(u.scheme(), scheme) << text;
        ASSERT_EQ(u.authority(), authority) << text;
        ASSERT_EQ(u.userinfo(), userinfo) << text;
        ASSERT_EQ(u.username(), user) << text;
        ASSERT_EQ(u.password(), password) << text;
        ASSERT_EQ(u.host(), host) << text;
        ASSERT_EQ(u.port(), port) << text;
        ASSERT_EQ(u.portNumber(), port.empty() ? -1 : std::stoi(port)) << text;
        ASSERT_EQ(u.path(), path) << text;
        ASSERT_EQ(u.query(), query) << text;
        ASSERT_EQ(u.fragment(), fragment) << text;
        ASSERT_TRUE(u.isValid()) << text;
        ASSERT_EQ(u.isAbsolute(), !scheme.empty()) << text;
    }
}

}  // namespace
