// Url.cpp — parsing, percent coding, component access, editing, validity
// and formatting of the URL value type.
#include "core/filesystem/Url.h"

#include <array>
#include <climits>
#include <cstring>

namespace Orvantis::Filesystem {

namespace {

// Character classes used while scanning; all of them are plain ASCII, so the
// result never depends on the process's locale.
using CharTable = std::array<bool, 256>;

constexpr CharTable makeTable(const char* members) {
    CharTable table{};
    for (const char* m = members; *m != '\0'; ++m) {
        table[static_cast<unsigned char>(*m)] = true;
    }
    return table;
}

constexpr CharTable kSchemeChars = makeTable("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+.-");
// Characters that end the authority, and those that end the path.
constexpr CharTable kAuthorityEnd = makeTable("/?#");
constexpr CharTable kPathEnd = makeTable("?#");

bool inTable(const CharTable& table, char c) {
    return table[static_cast<unsigned char>(c)];
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The white space that std::stoi skips in the "C" locale.
bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int hexValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The characters that the path encoding replaces by an escape. Built on
// first use; the initialisation of a local static is thread-safe.
const CharTable& encodedChars() {
    static const CharTable table = makeTable("!#$%&*+,;=?@[]");
    return table;
}

// Decodes every '%' followed by two hexadecimal digits in [begin, end); any
// other '%' is kept and decoding goes on right after it.
std::string decodeRange(const char* begin, const char* end) {
    std::string out;
    const char* percent = static_cast<const char*>(std::memchr(begin, '%', static_cast<size_t>(end - begin)));
    if (percent == nullptr) {
        return std::string(begin, end);
    }
    out.reserve(static_cast<size_t>(end - begin));
    out.append(begin, percent);
    for (const char* p = percent; p < end; ++p) {
        if (*p == '%' && end - p >= 3) {
            const int high = hexValue(p[1]);
            const int low = hexValue(p[2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                p += 2;
                continue;
            }
        }
        out.push_back(*p);
    }
    return out;
}

bool startsWithDoubleSlash(const std::string& s, size_t pos = 0) {
    return s.size() >= pos + 2 && s[pos] == '/' && s[pos + 1] == '/';
}

}  // namespace

// ---- construction and parsing ---------------------------------------------

Url::Url() = default;

Url::Url(const std::string& text) : text(text) {
    parse();
}

Url::Url(const std::string& scheme, const std::string& authority, const std::string& path, const std::string& query,
         const std::string& fragment)
    : text(appendIfAbsent(':', scheme) + percentEncoded(path) + prependIfAbsent('?', query) +
           prependIfAbsent('#', fragment)) {
    parse();
    if (!authority.empty()) {
        setAuthority(startsWithDoubleSlash(authority) ? authority : "//" + authority);
    }
}

Url::Url(RelativeTag, const std::string& scheme, const std::string& path, const std::string& query,
         const std::string& fragment)
    : Url(scheme, std::string(), path, query, fragment) {}

Url::Url(const Url& other) = default;
Url& Url::operator=(const Url& other) = default;
Url::~Url() = default;

void Url::clear() {
    text.clear();
    schemeLength = authorityLength = pathLength = queryLength = fragmentLength = 0;
}

void Url::parse() {
    schemeLength = authorityLength = pathLength = queryLength = fragmentLength = 0;

    // A drive letter would otherwise read as a one-letter scheme.
    if (text.size() >= 3 && isAsciiLetter(text[0]) && text[1] == ':') {
        text.insert(text.begin(), '/');
    }
    const size_t n = text.size();

    size_t pos = 0;
    while (pos < n && inTable(kSchemeChars, text[pos])) {
        ++pos;
    }
    if (pos < n && text[pos] == ':') {
        schemeLength = pos + 1;
    }

    pos = schemeLength;
    if (startsWithDoubleSlash(text, pos)) {
        size_t end = pos + 2;
        while (end < n && !inTable(kAuthorityEnd, text[end])) {
            ++end;
        }
        authorityLength = end - pos;
        pos = end;
    }

    if (pos < n && text[pos] != '?' && text[pos] != '#') {
        size_t end = pos;
        while (end < n && !inTable(kPathEnd, text[end])) {
            ++end;
        }
        pathLength = end - pos;
        pos = end;
    }

    if (pos < n && text[pos] == '?') {
        const size_t hash = text.find('#', pos);
        const size_t end = hash == std::string::npos ? n : hash;
        queryLength = end - pos;
        pos = end;
    }

    fragmentLength = n - pos;
    normalizePath();
}

void Url::normalizePath() {
    if (pathLength == 0) {
        return;
    }
    const size_t begin = componentBeginPos(Component::Path);
    const size_t end = begin + pathLength;
    size_t write = begin;
    bool previousWasSlash = false;
    for (size_t read = begin; read < end; ++read) {
        char c = text[read];
        if (c == '\\') {
            c = '/';
        }
        if (c == '/' && previousWasSlash) {
            continue;
        }
        previousWasSlash = c == '/';
        text[write++] = c;
    }
    const size_t removed = end - write;
    if (removed != 0) {
        text.erase(write, removed);
        pathLength -= removed;
    }
}

// ---- positions ----------------------------------------------------------

size_t Url::componentBeginPos(Component c) const {
    switch (c) {
        case Component::Scheme: return 0;
        case Component::Authority: return schemeLength;
        case Component::Path: return schemeLength + authorityLength;
        case Component::Query: return schemeLength + authorityLength + pathLength;
        case Component::Fragment: return schemeLength + authorityLength + pathLength + queryLength;
    }
    return 0;
}

size_t Url::authorityComponentBeginPos(AuthorityComponent a) const {
    const size_t begin = schemeLength;
    const size_t end = authorityEnd();
    const size_t at = atSignPos();
    switch (a) {
        case AuthorityComponent::UserInfo: return at == npos ? npos : begin + 2;
        case AuthorityComponent::Password: return passwordColonPos();
        case AuthorityComponent::Host:
            if (at != npos) {
                return at + 1;
            }
            return authorityLength >= 2 ? begin + 2 : npos;
        case AuthorityComponent::Port: return findBetween(at != npos ? at : begin, end, ':');
    }
    return npos;
}

size_t Url::findBetween(size_t from, size_t to, char c) const {
    if (to > text.size()) {
        to = text.size();
    }
    if (from >= to) {
        return npos;
    }
    const void* hit = std::memchr(text.data() + from, c, to - from);
    return hit == nullptr ? npos : static_cast<size_t>(static_cast<const char*>(hit) - text.data());
}

size_t Url::passwordColonPos() const {
    const size_t at = atSignPos();
    return at == npos ? npos : findBetween(schemeLength, at, ':');
}

size_t Url::atSignPos() const {
    return findBetween(schemeLength, authorityEnd(), '@');
}

bool Url::pathIsWindowsStyle() const {
    const size_t p = componentBeginPos(Component::Path);
    return pathLength >= 3 && text[p] == '/' && isAsciiLetter(text[p + 1]) && text[p + 2] == ':';
}

// ---- percent coding ------------------------------------------------------

std::string Url::percentEncoded(const std::string& s) {
    static constexpr char kHex[] = "0123456789abcdef";
    const CharTable& encoded = encodedChars();
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        if (inTable(encoded, c)) {
            const auto byte = static_cast<unsigned char>(c);
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string Url::percentDecoded(const std::string& s) {
    return decodeRange(s.data(), s.data() + s.size());
}

// ---- getters -------------------------------------------------------------

namespace {

// text[from, to), or "" when the range is empty or reversed.
std::string slice(const std::string& text, size_t from, size_t to) {
    return to > from ? text.substr(from, to - from) : std::string();
}

}  // namespace

std::string Url::scheme() const {
    return schemeLength < 2 ? std::string() : text.substr(0, schemeLength - 1);
}

std::string Url::authority() const {
    return authorityLength < 3 ? std::string() : text.substr(schemeLength + 2, authorityLength - 2);
}

std::string Url::userinfo() const {
    const size_t at = atSignPos();
    return at == npos ? std::string() : slice(text, schemeLength + 2, at);
}

std::string Url::username() const {
    const size_t at = atSignPos();
    if (at == npos) {
        return std::string();
    }
    const size_t colon = passwordColonPos();
    return slice(text, schemeLength + 2, colon != npos ? colon : at);
}

std::string Url::password() const {
    const size_t colon = passwordColonPos();
    return colon == npos ? std::string() : slice(text, colon + 1, atSignPos());
}

std::string Url::host() const {
    const size_t begin = authorityComponentBeginPos(AuthorityComponent::Host);
    if (begin == npos) {
        return std::string();
    }
    const size_t port = authorityComponentBeginPos(AuthorityComponent::Port);
    return slice(text, begin, port != npos ? port : authorityEnd());
}

std::string Url::port() const {
    const size_t colon = authorityComponentBeginPos(AuthorityComponent::Port);
    return colon == npos ? std::string() : slice(text, colon + 1, authorityEnd());
}

int Url::portNumber() const {
    const size_t colon = authorityComponentBeginPos(AuthorityComponent::Port);
    if (colon == npos) {
        return -1;
    }
    const size_t end = authorityEnd();
    size_t i = colon + 1;
    while (i < end && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= end || !isDigit(text[i])) {
        return -1;
    }
    // Magnitudes beyond INT_MAX + 1 cannot fit in either sign; stop early so
    // that long digit runs cannot overflow.
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    for (; i < end && isDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit) {
            return -1;
        }
    }
    const long long value = negative ? -magnitude : magnitude;
    return value > INT_MAX ? -1 : static_cast<int>(value);
}

std::string Url::path() const {
    if (pathLength == 0) {
        return std::string();
    }
    const size_t begin = componentBeginPos(Component::Path);
    // A drive-letter path drops its leading '/'; that '/' never belongs to
    // an escape, so it can be skipped before decoding.
    const size_t from = pathIsWindowsStyle() ? begin + 1 : begin;
    return decodeRange(text.data() + from, text.data() + begin + pathLength);
}

std::string Url::query() const {
    return queryLength < 2 ? std::string() : text.substr(componentBeginPos(Component::Query) + 1, queryLength - 1);
}

std::string Url::fragment() const {
    return fragmentLength < 2 ? std::string()
                              : text.substr(componentBeginPos(Component::Fragment) + 1, fragmentLength - 1);
}

// ---- editing -------------------------------------------------------------

size_t* Url::lengthOf(Component c) {
    switch (c) {
        case Component::Scheme: return &schemeLength;
        case Component::Authority: return &authorityLength;
        case Component::Path: return &pathLength;
        case Component::Query: return &queryLength;
        case Component::Fragment: return &fragmentLength;
    }
    return nullptr;
}

void Url::replaceComponent(Component c, const std::string& s) {
    size_t* length = lengthOf(c);
    if (length != nullptr) {
        replaceRange(componentBeginPos(c), *length, s, *length);
    }
}

void Url::replaceRange(size_t pos, size_t count, const std::string& s, size_t& length) {
    text.replace(pos, count, s);
    length = length - count + s.size();
}

std::string Url::appendIfAbsent(char c, const std::string& s) {
    return s.empty() || s.back() == c ? s : s + c;
}

std::string Url::prependIfAbsent(char c, const std::string& s) {
    return s.empty() || s.front() == c ? s : c + s;
}

void Url::setScheme(const std::string& scheme) {
    replaceComponent(Component::Scheme, appendIfAbsent(':', scheme));
}

void Url::setQuery(const std::string& query) {
    replaceComponent(Component::Query, prependIfAbsent('?', query));
}

void Url::setFragment(const std::string& fragment) {
    replaceComponent(Component::Fragment, prependIfAbsent('#', fragment));
}

void Url::setAuthority(const std::string& authority) {
    if (authority.empty()) {
        replaceComponent(Component::Authority, std::string());
        return;
    }
    // A path behind an authority must begin with '/'.
    const size_t path = componentBeginPos(Component::Path);
    if (authorityLength < 2 && pathLength != 0 && text[path] != '/') {
        text.insert(text.begin() + static_cast<std::ptrdiff_t>(path), '/');
        ++pathLength;
    }
    replaceComponent(Component::Authority, startsWithDoubleSlash(authority) ? authority : "//" + authority);
}

void Url::setHost(const std::string& host) {
    if (!hasAuthority() || host.empty()) {
        setAuthority(host);
        return;
    }
    const size_t begin = authorityComponentBeginPos(AuthorityComponent::Host);
    const size_t port = authorityComponentBeginPos(AuthorityComponent::Port);
    const size_t end = port != npos ? port : authorityEnd();
    replaceRange(begin, end - begin, host, authorityLength);
}

void Url::setUserinfo(const std::string& userinfo) {
    if (!hasAuthority()) {
        if (userinfo.empty()) {
            return;
        }
        setHost("localhost");
    }
    const size_t host = authorityComponentBeginPos(AuthorityComponent::Host);
    const size_t from = atSignPos() != npos ? schemeLength + 2 : host;
    replaceRange(from, host - from, appendIfAbsent('@', userinfo), authorityLength);
}

void Url::setUsername(const std::string& username) {
    const size_t at = atSignPos();
    if (at == npos) {
        setUserinfo(username);
        return;
    }
    const size_t colon = passwordColonPos();
    const size_t from = schemeLength + 2;
    replaceRange(from, (colon != npos ? colon : at) - from, username, authorityLength);
}

void Url::setPassword(const std::string& password) {
    const std::string withColon = prependIfAbsent(':', password);
    const size_t at = atSignPos();
    if (at == npos) {
        setUserinfo(withColon);
        return;
    }
    const size_t colon = passwordColonPos();
    const size_t from = colon != npos ? colon : at;
    replaceRange(from, at - from, withColon, authorityLength);
}

void Url::setPort(const std::string& port) {
    if (!hasAuthority()) {
        setHost("localhost");
    }
    const size_t end = authorityEnd();
    const size_t colon = authorityComponentBeginPos(AuthorityComponent::Port);
    const size_t from = colon != npos ? colon : end;
    replaceRange(from, end - from, prependIfAbsent(':', port), authorityLength);
}

void Url::setPort(int port) {
    setPort(std::to_string(port));
}

void Url::setPath(const std::string& path) {
    std::string p = path;
    if (!p.empty()) {
        if (!hasAuthority() && p.front() == '/') {
            // Without an authority a leading "//" would read as one.
            const size_t run = p.find_first_not_of('/');
            p.erase(0, (run == std::string::npos ? p.size() : run) - 1);
        } else if (hasAuthority() && p.front() != '/') {
            p.insert(p.begin(), '/');
        }
    }
    replaceComponent(Component::Path, percentEncoded(p));
}

// ---- validity --------------------------------------------------------------

namespace {

bool containsAny(const std::string& text, size_t from, size_t to, const char* set) {
    for (size_t i = from; i < to; ++i) {
        if (text[i] != '\0' && std::strchr(set, text[i]) != nullptr) {
            return true;
        }
    }
    return false;
}

bool containsAny(const std::string& text, const char* set) {
    return containsAny(text, 0, text.size(), set);
}

}  // namespace

bool Url::isValid() const {
    if (text.empty()) {
        return false;
    }

    if (schemeLength != 0) {
        for (size_t i = 0; i + 1 < schemeLength; ++i) {
            if (!inTable(kSchemeChars, text[i])) {
                return false;
            }
        }
    }

    if (authorityLength != 0) {
        if (!startsWithDoubleSlash(text, schemeLength)) {
            return false;
        }
        if (containsAny(authority(), ";/?=&#")) {
            return false;
        }
        if (!host().empty()) {
            if (username().empty() && !password().empty()) {
                return false;
            }
        } else if (!userinfo().empty() || !port().empty()) {
            return false;
        }
    }

    if (pathLength != 0) {
        const size_t begin = componentBeginPos(Component::Path);
        const size_t end = begin + pathLength;
        if (hasAuthority() && text[begin] != '/') {
            return false;
        }
        if (containsAny(text, begin, end, ";?=&#")) {
            return false;
        }
        if (!pathIsWindowsStyle() && path().find(':') != std::string::npos) {
            return false;
        }
    }

    if (queryLength != 0) {
        const size_t begin = componentBeginPos(Component::Query);
        if (containsAny(text, begin + 1, begin + queryLength, "/?:@#")) {
            return false;
        }
    }

    if (fragmentLength != 0) {
        const size_t begin = componentBeginPos(Component::Fragment);
        if (containsAny(text, begin + 1, begin + fragmentLength, ";/?:@=&#")) {
            return false;
        }
    }
    return true;
}

// ---- formatting --------------------------------------------------------------

std::string Url::string(Flags<FormattingOption> options) const {
    const uint32_t flags = options.value();
    if (flags == 0) {
        return text;
    }
    std::string out;
    out.reserve(text.size());

    if ((flags & OmitScheme) == 0) {
        out.append(text, 0, schemeLength);
    }

    const uint32_t authorityFlags = flags & OmitAuthority;
    if (authorityFlags == 0) {
        out.append(text, schemeLength, authorityLength);
    } else if (authorityFlags != OmitAuthority && hasAuthority()) {
        out += "//";
        const size_t at = atSignPos();
        const uint32_t userFlags = flags & OmitUserInfo;
        if (at != npos && userFlags != OmitUserInfo) {
            const size_t from = schemeLength + 2;
            if (userFlags == 0) {
                out.append(text, from, at + 1 - from);
            } else {
                const size_t colon = passwordColonPos();
                out.append(text, from, (colon != npos ? colon : at) - from);
                out += '@';
            }
        }
        const size_t host = authorityComponentBeginPos(AuthorityComponent::Host);
        const size_t port = authorityComponentBeginPos(AuthorityComponent::Port);
        const size_t end = authorityEnd();
        out.append(text, host, (port != npos ? port : end) - host);
        if ((flags & OmitPort) == 0 && port != npos) {
            out.append(text, port, end - port);
        }
    }

    if ((flags & OmitPath) == 0) {
        out.append(text, componentBeginPos(Component::Path), pathLength);
    }
    if ((flags & OmitQuery) == 0) {
        out.append(text, componentBeginPos(Component::Query), queryLength);
    }
    if ((flags & OmitFragment) == 0) {
        out.append(text, componentBeginPos(Component::Fragment), fragmentLength);
    }
    return out;
}

}  // namespace Orvantis::Filesystem
