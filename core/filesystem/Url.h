// Url.h — the URL value type.
//
// A Url is one stored text plus five component lengths (scheme, authority,
// path, query, fragment, in that order and without gaps). Getters cut their
// answer out of the text; setters replace one range of it and correct the
// lengths. Only the path is percent-coded: setPath (and the piece
// constructors) encode it, path() decodes it. Every text parses into some
// split and no operation reports or throws for bad input; isValid() judges
// the result afterwards.
//
// Drive-letter paths are part of the text conventions on every platform:
// «C:/data/x» is stored as «/C:/data/x» and path() gives «C:/data/x» back.
//
// Example:
//   Url u("res://user:pw@host:8080/a/b?x=1&y=2#frag");
//   u.host();                       // "host"
//   u.portNumber();                 // 8080
//   u.findSubquery("y=").value();   // Subquery "y=2"
//   u.string(Url::OmitUserInfo | Url::OmitQuery);  // "res://host:8080/a/b#frag"
//
// Safety: a Url is an unsynchronised value; const members may run
// concurrently on one object, anything that modifies it needs outside locking.
#pragma once

#include "core/Export.h"
#include "core/utils/Flags.h"
#include "core/utils/Optional.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Orvantis::Filesystem {

class Path;

class ORVANTIS_API Url {
public:
    enum class Component { Scheme = 0, Authority = 1, Path = 2, Query = 3, Fragment = 4 };
    enum class AuthorityComponent { UserInfo = 0, Password = 1, Host = 2, Port = 3 };

    // Parts that string() leaves out. OmitUserInfo includes OmitPassword and
    // OmitAuthority includes the three before it.
    enum FormattingOption : uint32_t {
        OmitScheme = 0x01,
        OmitPassword = 0x02,
        OmitUserInfo = 0x06,
        OmitPort = 0x08,
        OmitAuthority = 0x1E,
        OmitPath = 0x20,
        OmitQuery = 0x40,
        OmitFragment = 0x80,
    };

    // Tag of the constructor that builds a URL with an empty authority.
    struct RelativeTag {};
    static constexpr RelativeTag makeRelative{};

    static constexpr size_t npos = static_cast<size_t>(-1);

    // One item of the query, kept exactly as written («key=value», «key=»,
    // «value» or ""); key and value are cut out of it when asked for.
    class ORVANTIS_API Subquery {
    public:
        Subquery() = default;
        Subquery(const std::string& key, const std::string& value);
        Subquery(const char* key, const char* value);
        Subquery(const std::string& text);  // NOLINT: implicit on purpose
        Subquery(const char* text);  // NOLINT: implicit on purpose

        // The text before the first '='; "" when there is none.
        std::string key() const;
        // The text after the first '='; the whole text when there is none.
        std::string value() const;
        bool hasKey() const;

        operator std::string() const { return text; }  // NOLINT: implicit on purpose

        friend ORVANTIS_API bool operator==(const Subquery& a, const Subquery& b);
        friend class Url;

    private:
        std::string text;
    };

    Url();
    Url(const std::string& text);  // NOLINT: implicit on purpose
    // Assembles scheme, encoded path, query and fragment, parses the result
    // and then sets the authority when one is given.
    Url(const std::string& scheme, const std::string& authority, const std::string& path, const std::string& query,
        const std::string& fragment);
    // The same with an empty authority: Url(Url::makeRelative, "res", "p", "", "").
    Url(RelativeTag, const std::string& scheme, const std::string& path, const std::string& query,
        const std::string& fragment);
    // fromLocalFile of the path's text.
    Url(const Path& path);  // NOLINT: implicit on purpose
    Url(const Url& other);
    Url& operator=(const Url& other);
    ~Url();

    void clear();
    bool isEmpty() const { return text.empty(); }
    // Also true for the empty authority "//".
    bool hasAuthority() const { return authorityLength >= 2; }
    // Both a scheme and an authority.
    bool isAbsolute() const { return schemeLength != 0 && authorityLength != 0; }
    bool isRelative() const { return !isAbsolute(); }

    // Byte-wise comparison of the stored texts; a string argument is taken
    // as it is, not parsed.
    bool operator==(const Url& other) const { return text == other.text; }
    bool operator!=(const Url& other) const { return text != other.text; }
    bool operator==(const std::string& other) const { return text == other; }
    bool operator!=(const std::string& other) const { return text != other; }

    // Turns backslashes in the path into '/' and collapses runs of '/'.
    // "." and "..", letter case and a trailing '/' stay.
    void normalizePath();

    // ---- components, as stored (only path() decodes) ----
    std::string scheme() const;
    std::string authority() const;
    std::string userinfo() const;
    std::string username() const;
    std::string password() const;
    std::string host() const;
    std::string port() const;
    // port() read the way std::stoi reads it; -1 when no number can be read
    // or it does not fit an int. Never throws.
    int portNumber() const;
    // The decoded path; a drive-letter path loses its leading '/'.
    std::string path() const;
    std::string query() const;
    std::string fragment() const;

    // ---- setters: each adds or drops its delimiter; an empty text removes
    // the component. Only setPath encodes. ----
    void setScheme(const std::string& scheme);
    void setAuthority(const std::string& authority);
    void setUserinfo(const std::string& userinfo);
    void setUsername(const std::string& username);
    void setPassword(const std::string& password);
    void setHost(const std::string& host);
    void setPort(const std::string& port);
    void setPort(int port);
    void setPath(const std::string& path);
    void setQuery(const std::string& query);
    void setFragment(const std::string& fragment);

    bool isValid() const;

    // The text without the parts that `options` names; no option gives the
    // stored text. Nothing is encoded or decoded.
    std::string string(Flags<FormattingOption> options = {}) const;
    std::string string(uint32_t options) const { return string(Flags<FormattingOption>::fromInt(options)); }

    // ---- query items, split at every '&' and ';' ----
    size_t subqueryCount() const;
    std::vector<Subquery> subqueries() const;
    Utils::Optional<Subquery> subquery(size_t i) const;
    // The first item whose text begins with `key` (a prefix test: ask for
    // «a=» to find exactly the key «a»).
    Utils::Optional<Subquery> findSubquery(const std::string& key) const;
    void appendSubquery(const Subquery& s);
    // Replaces item i, or appends `s` when there is no item i.
    void replaceSubquery(size_t i, const Subquery& s);

    // ---- local files ----
    // The "file" URL of a local path; an absolute path gets the authority "//".
    static Url fromLocalFile(const std::string& path);
    // The decoded path of a "file" URL; the empty path for any other scheme.
    Path toLocalFile() const;
    // `url` (a local path when isLocalPath) resolved against the directory
    // `base` when its path is relative; a local or existing result becomes
    // a "file" URL with an authority.
    static Url relativeTo(const std::string& url, const std::string& base, bool isLocalPath);

private:
    size_t componentBeginPos(Component c) const;
    size_t authorityComponentBeginPos(AuthorityComponent a) const;
    size_t findBetween(size_t from, size_t to, char c) const;
    // The ':' between user name and password, or npos (no password, or no
    // user information at all).
    size_t passwordColonPos() const;
    bool pathIsWindowsStyle() const;
    static std::string percentEncoded(const std::string& s);
    static std::string percentDecoded(const std::string& s);

    void replaceComponent(Component c, const std::string& s);
    static std::string appendIfAbsent(char c, const std::string& s);
    static std::string prependIfAbsent(char c, const std::string& s);

    std::pair<size_t, size_t> findSubquery(size_t i) const;
    // Calls visit(begin, length) for each query item in order, until visit
    // returns false; nothing for a URL without a query.
    template <class Visit>
    void forEachSubquery(Visit visit) const;

    void parse();
    size_t* lengthOf(Component c);
    // Replaces [pos, pos + count) by `s` and corrects `length`, the length
    // of the component that holds the range.
    void replaceRange(size_t pos, size_t count, const std::string& s, size_t& length);
    size_t atSignPos() const;
    size_t authorityEnd() const { return schemeLength + authorityLength; }

    std::string text;
    size_t schemeLength = 0;
    size_t authorityLength = 0;
    size_t pathLength = 0;
    size_t queryLength = 0;
    size_t fragmentLength = 0;
};

ORVANTIS_DECLARE_FLAG_OPERATORS(Url::FormattingOption)

ORVANTIS_API bool operator==(const Url::Subquery& a, const Url::Subquery& b);
ORVANTIS_API bool operator!=(const Url::Subquery& a, const Url::Subquery& b);

}  // namespace Orvantis::Filesystem
