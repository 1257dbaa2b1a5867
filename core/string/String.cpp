#include "core/string/String.h"

#include <locale>

namespace Orvantis::String {

namespace {

// A match of the separator: where it starts and how many bytes it covers.
struct Match {
    size_t position = std::string::npos;
    size_t length = 0;
    bool found() const { return position != std::string::npos; }
};

Match findSeparator(const std::string& str, const std::string& separator, bool anyCharacter, size_t start) {
    if (separator.empty()) {
        return Match();
    }
    if (anyCharacter) {
        return Match{str.find_first_of(separator, start), 1};
    }
    return Match{str.find(separator, start), separator.size()};
}

// Applies `convert(facet, byte)` to every byte with the ctype facet of the
// global locale, which is taken once per call.
template <class Convert>
void convertEachByte(std::string& str, Convert convert) {
    const std::locale locale;
    const auto& ctype = std::use_facet<std::ctype<char>>(locale);
    for (char& c : str) {
        c = convert(ctype, c);
    }
}

}  // namespace

bool startsWith(const std::string& str, const std::string& prefix) {
    return prefix.size() <= str.size() && str.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& str, const std::string& suffix) {
    return suffix.size() <= str.size() && str.compare(str.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void ltrim(std::string& str, const std::string& characters) {
    const size_t first = str.find_first_not_of(characters);
    str.erase(0, first);  // npos erases everything
}

std::string ltrimCopy(const std::string& str, const std::string& characters) {
    const size_t first = str.find_first_not_of(characters);
    return first == std::string::npos ? std::string() : str.substr(first);
}

void rtrim(std::string& str, const std::string& characters) {
    const size_t last = str.find_last_not_of(characters);
    str.erase(last == std::string::npos ? 0 : last + 1);
}

std::string rtrimCopy(const std::string& str, const std::string& characters) {
    const size_t last = str.find_last_not_of(characters);
    return last == std::string::npos ? std::string() : str.substr(0, last + 1);
}

void trim(std::string& str, const std::string& characters) {
    ltrim(str, characters);
    rtrim(str, characters);
}

std::string trimCopy(const std::string& str, const std::string& characters) {
    const size_t first = str.find_first_not_of(characters);
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = str.find_last_not_of(characters);
    return str.substr(first, last - first + 1);
}

std::string replaceAllCopy(const std::string& str, const std::string& from, const std::string& to) {
    if (from.empty()) {
        return str;
    }
    // One pass that copies the text between matches and the replacement of
    // each match; the replacement is never searched again.
    std::string result;
    size_t copied = 0;
    for (size_t found = str.find(from); found != std::string::npos; found = str.find(from, copied)) {
        result.append(str, copied, found - copied).append(to);
        copied = found + from.size();
    }
    if (copied == 0) {
        return str;  // nothing matched
    }
    result.append(str, copied, std::string::npos);
    return result;
}

void replaceAll(std::string& str, const std::string& from, const std::string& to) {
    if (from.empty() || str.find(from) == std::string::npos) {
        return;
    }
    str = replaceAllCopy(str, from, to);
}

std::vector<std::string> split(const std::string& str, const std::string& separator, Flags<SplitOptions> options) {
    const bool anyCharacter = options.testFlag(SplitAtAnyCharacter);
    const bool skipEmpty = options.testFlag(SkipEmptyParts);

    std::vector<std::string> parts;
    size_t start = 0;
    for (Match m = findSeparator(str, separator, anyCharacter, start); m.found();
         m = findSeparator(str, separator, anyCharacter, start)) {
        if (m.position > start || !skipEmpty) {
            parts.push_back(str.substr(start, m.position - start));
        }
        start = m.position + m.length;
    }
    if (start < str.size() || !skipEmpty) {
        parts.push_back(str.substr(start));
    }
    return parts;
}

std::string joinNonEmpty(const std::vector<std::string>& parts, const std::string& separator) {
    std::string result;
    for (const std::string& part : parts) {
        if (!result.empty() && !part.empty()) {
            result += separator;
        }
        result += part;
    }
    return result;
}

void toLower(std::string& str) {
    convertEachByte(str, [](const std::ctype<char>& ctype, char c) { return ctype.tolower(c); });
}

std::string toLowerCopy(const std::string& str) {
    std::string result = str;
    toLower(result);
    return result;
}

void toUpper(std::string& str) {
    convertEachByte(str, [](const std::ctype<char>& ctype, char c) { return ctype.toupper(c); });
}

std::string toUpperCopy(const std::string& str) {
    std::string result = str;
    toUpper(result);
    return result;
}

}  // namespace Orvantis::String
