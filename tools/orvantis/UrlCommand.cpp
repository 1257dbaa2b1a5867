// UrlCommand.cpp — `orvantis url`: how URLs split into their components.
//
//   orvantis url [--json] URL...           components, port number, validity,
//                                          query items and, for "file" URLs,
//                                          the local path
//   orvantis url [--json] --local PATH...  the "file" URL of each local path
// An operand "-" reads one URL (or path) a line from standard input.
#include "Tool.h"

#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

namespace OrvantisTool {
namespace {

using Orvantis::Filesystem::Url;

// The local path of a "file" URL; nothing for other schemes.
std::optional<std::string> localPathOf(const Url& url) {
    if (url.scheme() != "file") {
        return std::nullopt;
    }
    return url.toLocalFile().string();
}

// Length of the well-formed UTF-8 sequence at s[i], or 0.
size_t utf8SequenceLength(const std::string& s, size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > s.size()) {
        return 0;
    }
    for (size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    const auto second = static_cast<unsigned char>(s[i + 1]);
    if ((b == 0xE0 && second < 0xA0) || (b == 0xED && second > 0x9F) || (b == 0xF0 && second < 0x90) ||
        (b == 0xF4 && second > 0x8F)) {
        return 0;
    }
    return n;
}

// A JSON string literal; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(const std::string& s) {
    std::ostringstream out;
    out << '"';
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out << '\\' << s[i];
        } else if (c == '\n') {
            out << "\\n";
        } else if (c == '\t') {
            out << "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out << "\\u" << std::hex << std::setw(4) << std::setfill('0') << static_cast<int>(c) << std::dec;
        } else if (c < 0x80) {
            out << s[i];
        } else if (const size_t n = utf8SequenceLength(s, i); n != 0) {
            out << s.substr(i, n);
            i += n - 1;
        } else {
            out << "\\ufffd";
        }
    }
    out << '"';
    return out.str();
}

void printJson(std::ostream& out, const Url& url, const std::optional<std::string>& localInput) {
    out << '{';
    if (localInput) {
        out << "\"local\":" << jsonString(*localInput) << ',';
    }
    out << "\"url\":" << jsonString(url.string()) << ",\"scheme\":" << jsonString(url.scheme())
        << ",\"authority\":" << jsonString(url.authority()) << ",\"userinfo\":" << jsonString(url.userinfo())
        << ",\"username\":" << jsonString(url.username()) << ",\"password\":" << jsonString(url.password())
        << ",\"host\":" << jsonString(url.host()) << ",\"port\":" << jsonString(url.port())
        << ",\"portNumber\":" << url.portNumber() << ",\"path\":" << jsonString(url.path())
        << ",\"query\":" << jsonString(url.query()) << ",\"fragment\":" << jsonString(url.fragment())
        << ",\"hasAuthority\":" << (url.hasAuthority() ? "true" : "false")
        << ",\"absolute\":" << (url.isAbsolute() ? "true" : "false")
        << ",\"valid\":" << (url.isValid() ? "true" : "false") << ",\"subqueries\":[";
    const auto items = url.subqueries();
    for (size_t i = 0; i < items.size(); ++i) {
        out << (i == 0 ? "" : ",") << "{\"text\":" << jsonString(items[i]) << ",\"key\":" << jsonString(items[i].key())
            << ",\"value\":" << jsonString(items[i].value()) << ",\"hasKey\":" << (items[i].hasKey() ? "true" : "false")
            << '}';
    }
    out << "],\"localPath\":";
    const auto local = localPathOf(url);
    out << (local ? jsonString(*local) : "null") << "}\n";
}

// ---- text ----------------------------------------------------------------

void printText(std::ostream& out, const Url& url, const std::optional<std::string>& localInput) {
    auto row = [&](const char* name, const std::string& value) {
        out << "  " << std::left << std::setw(12) << name << value << "\n";
    };
    if (localInput) {
        out << *localInput << "\n";
        row("url", url.string());
    } else {
        out << url.string() << "\n";
    }
    row("scheme", url.scheme());
    row("authority", url.hasAuthority() ? "//" + url.authority() : "(none)");
    row("userinfo", url.userinfo());
    row("username", url.username());
    row("password", url.password());
    row("host", url.host());
    row("port", url.port());
    row("port number", std::to_string(url.portNumber()));
    row("path", url.path());
    row("query", url.query());
    row("fragment", url.fragment());
    row("absolute", url.isAbsolute() ? "yes" : "no");
    row("valid", url.isValid() ? "yes" : "no");
    const auto items = url.subqueries();
    row("subqueries", std::to_string(items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
        out << "    [" << i << "] " << static_cast<std::string>(items[i]);
        if (items[i].hasKey()) {
            out << "   key \"" << items[i].key() << "\", value \"" << items[i].value() << "\"";
        }
        out << "\n";
    }
    if (const auto local = localPathOf(url)) {
        row("local path", *local);
    }
}

void show(const std::string& input, bool local, bool json) {
    static bool first = true;
    const Url url = local ? Url::fromLocalFile(input) : Url(input);
    const std::optional<std::string> localInput = local ? std::optional<std::string>(input) : std::nullopt;
    if (json) {
        printJson(std::cout, url, localInput);
    } else {
        std::cout << (first ? "" : "\n");
        printText(std::cout, url, localInput);
    }
    first = false;
}

}  // namespace

int runUrl(const std::vector<std::string>& args) {
    const Arguments a = parse(args, {"URL...",
                                     "Splits each URL into its components, port number, validity and query\n"
                                     "items (and, for \"file\" URLs, the local path). With --local, the operands\n"
                                     "are local paths and each is shown as its \"file\" URL. \"-\" reads one\n"
                                     "operand a line from standard input.",
                                     {{"json", 0, nullptr, "one JSON object a line"},
                                      {"local", 0, nullptr, "the operands are local paths"}},
                                     1,
                                     SIZE_MAX});
    for (const std::string& operand : a.operands) {
        if (operand != "-") {
            show(operand, a.has("local"), a.has("json"));
            continue;
        }
        for (std::string line; std::getline(std::cin, line);) {
            show(line, a.has("local"), a.has("json"));
        }
    }
    return 0;
}

}  // namespace OrvantisTool
