// url_fuzz — Url over arbitrary bytes.
//
// Input layout: one byte of formatting options, then the URL text up to the
// first line feed, then one edit per further line: its first byte picks the
// setter, the rest is the argument. Every getter, isValid, string() and the
// query items are exercised on the parsed URL and after every edit; the
// layout (five components that tile the text, each with its delimiter) is
// checked after every step and any violation aborts.
#include "core/filesystem/Url.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Orvantis::Flags;
using Orvantis::Filesystem::Url;

namespace {

void fail(const char* what, const Url& u) {
    std::fprintf(stderr, "url_fuzz: %s for \"%s\"\n", what, u.string().c_str());
    std::abort();
}

void check(bool ok, const char* what, const Url& u) {
    if (!ok) {
        fail(what, u);
    }
}

// The stored components, cut out by leaving out every other one.
std::vector<std::string> storedParts(const Url& u) {
    return {u.string(0xFEu), u.string(0xE1u), u.string(0xDFu), u.string(0xBFu), u.string(0x7Fu)};
}

void checkLayout(const Url& u) {
    const std::vector<std::string> p = storedParts(u);
    check(p[0] + p[1] + p[2] + p[3] + p[4] == u.string(), "components do not tile the text", u);
    check(p[0].empty() || p[0].back() == ':', "scheme without ':'", u);
    check(p[1].empty() || p[1].compare(0, 2, "//") == 0, "authority without \"//\"", u);
    check(p[3].empty() || p[3][0] == '?', "query without '?'", u);
    check(p[4].empty() || p[4][0] == '#', "fragment without '#'", u);
    check(u.hasAuthority() == !p[1].empty(), "hasAuthority disagrees with the authority", u);
}

void exercise(const Url& u, uint32_t options, const std::string& key) {
    checkLayout(u);
    const std::string components[] = {u.scheme(), u.authority(), u.userinfo(), u.username(), u.password(),
                                      u.host(),   u.port(),      u.path(),     u.query(),    u.fragment()};
    for (const std::string& c : components) {
        check(c.size() <= u.string().size(), "a component longer than the text", u);
    }
    (void)u.portNumber();
    (void)u.isValid();
    (void)u.isAbsolute();
    check(u.string(Flags<Url::FormattingOption>::fromInt(options)).size() <= u.string().size(),
          "formatting made the text longer", u);

    const size_t count = u.subqueryCount();
    const std::vector<Url::Subquery> items = u.subqueries();
    check(items.size() == count, "subqueries() and subqueryCount() disagree", u);
    if (count < 64) {
        for (size_t i = 0; i < count; ++i) {
            const auto item = u.subquery(i);
            check(item.hasValue() && item.value() == items[i], "subquery(i) differs from subqueries()[i]", u);
        }
    }
    check(!u.subquery(count).hasValue(), "an item beyond the count", u);
    const auto found = u.findSubquery(key);
    check(found.hasValue() == (count != 0 &&
                               [&] {
                                   for (const auto& item : items) {
                                       if (static_cast<std::string>(item).compare(0, key.size(), key) == 0) {
                                           return true;
                                       }
                                   }
                                   return false;
                               }()),
          "findSubquery disagrees with the items", u);
}

void edit(Url& u, uint8_t op, const std::string& arg) {
    switch (op % 16) {
        case 0: u.setScheme(arg); break;
        case 1: u.setAuthority(arg); break;
        case 2: u.setUserinfo(arg); break;
        case 3: u.setUsername(arg); break;
        case 4: u.setPassword(arg); break;
        case 5: u.setHost(arg); break;
        case 6: u.setPort(arg); break;
        case 7: u.setPort(static_cast<int>(std::strtol(arg.c_str(), nullptr, 10))); break;
        case 8: u.setPath(arg); break;
        case 9: u.setQuery(arg); break;
        case 10: u.setFragment(arg); break;
        case 11: u.appendSubquery(Url::Subquery(arg)); break;
        case 12: u.replaceSubquery(arg.empty() ? 0 : static_cast<uint8_t>(arg[0]) % 8, Url::Subquery(arg)); break;
        case 13: u.normalizePath(); break;
        case 14: u = Url(u.string()); break;
        default: u = Url(arg, "", arg, arg, arg); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint32_t options = data[0];
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t firstLine = input.find('\n');
    const std::string text = input.substr(0, firstLine);

    Url u(text);
    exercise(u, options, text.substr(0, 2));

    // Parsing the stored text again gives the same text.
    const Url again(u.string());
    check(again == u, "re-parsing changed the text", u);

    size_t pos = firstLine;
    while (pos != std::string::npos && pos + 1 < input.size()) {
        const size_t next = input.find('\n', pos + 1);
        const std::string line = input.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        pos = next;
        if (line.empty()) {
            continue;
        }
        edit(u, static_cast<uint8_t>(line[0]), line.substr(1));
        exercise(u, options, line.substr(1, 1));
    }
    return 0;
}
