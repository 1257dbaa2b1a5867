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

// One shown property: its name and its value, as text and as JSON.
struct Field {
    const char* name;
    std::string text;
    std::string json;
};

Field text(const char* name, const std::string& value) {
    return {name, value, jsonString(value)};
}

Field flag(const char* name, bool value) {
    return {name, value ? "true" : "false", value ? "true" : "false"};
}

// Prints one URL as a JSON object on one line, or as an indented table.
void show(const std::string& input, bool local, bool json) {
    static bool first = true;
    const Url url = local ? Url::fromLocalFile(input) : Url(input);
    std::vector<Field> fields;
    if (local) {
        fields.push_back(text("local", input));
    }
    for (Field f :
         {text("url", url.string()), text("scheme", url.scheme()), text("authority", url.authority()),
          text("userinfo", url.userinfo()), text("username", url.username()), text("password", url.password()),
          text("host", url.host()), text("port", url.port()),
          Field{"portNumber", std::to_string(url.portNumber()), std::to_string(url.portNumber())},
          text("path", url.path()), text("query", url.query()), text("fragment", url.fragment()),
          flag("hasAuthority", url.hasAuthority()), flag("absolute", url.isAbsolute()), flag("valid", url.isValid())}) {
        fields.push_back(f);
    }
    std::string items = "[";
    for (const Url::Subquery& item : url.subqueries()) {
        items += (items.size() > 1 ? "," : "") + std::string("{\"text\":") + jsonString(item) +
                 ",\"key\":" + jsonString(item.key()) + ",\"value\":" + jsonString(item.value()) +
                 ",\"hasKey\":" + (item.hasKey() ? "true" : "false") + "}";
    }
    const std::optional<std::string> localPath = localPathOf(url);
    fields.push_back({"subqueries", items + "]", items + "]"});
    fields.push_back({"localPath", localPath.value_or("null"), localPath ? jsonString(*localPath) : "null"});
    if (json) {
        for (size_t i = 0; i < fields.size(); ++i) {
            std::cout << (i == 0 ? "{\"" : ",\"") << fields[i].name << "\":" << fields[i].json;
        }
        std::cout << "}\n";
        return;
    }
    std::cout << (first ? "" : "\n") << input << "\n";
    for (const Field& f : fields) {
        std::cout << "  " << std::left << std::setw(14) << f.name << f.text << "\n";
    }
    first = false;
}

}  // namespace

int runUrl(const std::vector<std::string>& args) {
    const Arguments a = parse(
        args, {"URL...",
               "Splits each URL into its components, port number, validity and query\n"
               "items (and, for \"file\" URLs, the local path). With --local, the operands\n"
               "are local paths and each is shown as its \"file\" URL. \"-\" reads one\n"
               "operand a line from standard input.",
               {{"json", 0, nullptr, "one JSON object a line"}, {"local", 0, nullptr, "the operands are local paths"}},
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
