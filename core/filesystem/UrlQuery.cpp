// UrlQuery.cpp — the items of a URL's query («key=value» pieces between
// '&' and ';'), read and edited in place in the stored text.
#include "core/filesystem/Url.h"

namespace Orvantis::Filesystem {

// ---- Subquery --------------------------------------------------------------

Url::Subquery::Subquery(const std::string& key, const std::string& value) : text(key + "=" + value) {}

Url::Subquery::Subquery(const char* key, const char* value)
    : Subquery(std::string(key != nullptr ? key : ""), std::string(value != nullptr ? value : "")) {}

Url::Subquery::Subquery(const std::string& text) : text(text) {}

Url::Subquery::Subquery(const char* text) : text(text != nullptr ? text : "") {}

std::string Url::Subquery::key() const {
    const size_t equals = text.find('=');
    return equals == std::string::npos ? std::string() : text.substr(0, equals);
}

std::string Url::Subquery::value() const {
    const size_t equals = text.find('=');
    return equals == std::string::npos ? text : text.substr(equals + 1);
}

bool Url::Subquery::hasKey() const {
    return text.find('=') != std::string::npos;
}

bool operator==(const Url::Subquery& a, const Url::Subquery& b) {
    return a.text == b.text;
}

bool operator!=(const Url::Subquery& a, const Url::Subquery& b) {
    return !(a == b);
}

// ---- items of the query -------------------------------------------------------

namespace {

bool isItemSeparator(char c) {
    return c == '&' || c == ';';
}

}  // namespace

template <class Visit>
void Url::forEachSubquery(Visit visit) const {
    if (queryLength == 0) {
        return;
    }
    const size_t from = componentBeginPos(Component::Query) + 1;
    const size_t to = from - 1 + queryLength;
    size_t begin = from;
    for (size_t i = from;; ++i) {
        if (i == to || isItemSeparator(text[i])) {
            if (!visit(begin, i - begin) || i == to) {
                return;
            }
            begin = i + 1;
        }
    }
}

size_t Url::subqueryCount() const {
    size_t count = 0;
    forEachSubquery([&count](size_t, size_t) {
        ++count;
        return true;
    });
    return count;
}

std::pair<size_t, size_t> Url::findSubquery(size_t i) const {
    std::pair<size_t, size_t> found{npos, npos};
    size_t index = 0;
    forEachSubquery([&](size_t itemBegin, size_t length) {
        if (index++ == i) {
            found = {itemBegin, length};
            return false;
        }
        return true;
    });
    return found;
}

std::vector<Url::Subquery> Url::subqueries() const {
    std::vector<Subquery> items;
    forEachSubquery([&](size_t itemBegin, size_t length) {
        items.emplace_back(text.substr(itemBegin, length));
        return true;
    });
    return items;
}

Utils::Optional<Url::Subquery> Url::subquery(size_t i) const {
    const auto [begin, length] = findSubquery(i);
    if (begin == npos) {
        return {};
    }
    return Subquery(text.substr(begin, length));
}

Utils::Optional<Url::Subquery> Url::findSubquery(const std::string& key) const {
    Utils::Optional<Subquery> found;
    forEachSubquery([&](size_t itemBegin, size_t length) {
        if (length >= key.size() && text.compare(itemBegin, key.size(), key) == 0) {
            found = Subquery(text.substr(itemBegin, length));
            return false;
        }
        return true;
    });
    return found;
}

void Url::appendSubquery(const Subquery& s) {
    // "?" starts a query, "&" separates from a previous item, and a lone '?'
    // already stands in front of the first item.
    const char* separator = queryLength == 0 ? "?" : queryLength > 1 ? "&" : "";
    const std::string inserted = separator + s.text;
    text.insert(componentBeginPos(Component::Fragment), inserted);
    queryLength += inserted.size();
}

void Url::replaceSubquery(size_t i, const Subquery& s) {
    const auto [begin, length] = findSubquery(i);
    if (begin == npos) {
        appendSubquery(s);
        return;
    }
    replaceRange(begin, length, s.text, queryLength);
}

}  // namespace Orvantis::Filesystem
