// String.h — byte-wise helpers on std::string.
//
// Prefix and suffix tests, trimming by a set of characters, replacing every
// occurrence, splitting, joining and case conversion. Strings are sequences
// of bytes: UTF-8 passes through unchanged except where a rule changes a
// byte. Every function that changes text comes in two forms: one works in
// place, the one with the suffix Copy returns the result and leaves its
// argument alone. Nothing here reports errors; every input has a result.
//
// Example:
//   String::trimCopy("  x  ");                            // "x"
//   String::split("x,y,,z,", ",");                        // {"x", "y", "", "z", ""}
//   String::split("x,y,,z,", ",", String::SkipEmptyParts); // {"x", "y", "z"}
//   String::split("x;y z", "; ", String::SplitAtAnyCharacter);  // {"x", "y", "z"}
//   String::joinNonEmpty({"", "x", "", "y"}, ", ");       // "x, y"
//   String::replaceAllCopy("aba", "a", "aa");             // "aabaa"
#pragma once

#include "core/Export.h"
#include "core/utils/Flags.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Orvantis::String {

// How split() reads its separator; combine with |. Without any option the
// separator is one whole substring and empty parts are kept.
enum SplitOptions : uint32_t {
    // The separator string is a set of characters: any one of them separates.
    SplitAtAnyCharacter = 1,
    // Empty parts are left out of the result.
    SkipEmptyParts = 2,
};

ORVANTIS_DECLARE_FLAG_OPERATORS(SplitOptions)

// The blank characters that the trim functions remove by default.
inline constexpr const char* defaultTrimCharacters = " \t\n\v\f\r";

// True if `prefix` is not longer than `str` and equals its first bytes; an
// empty prefix is always true.
ORVANTIS_API bool startsWith(const std::string& str, const std::string& prefix);
// True if `suffix` is not longer than `str` and equals its last bytes; an
// empty suffix is always true.
ORVANTIS_API bool endsWith(const std::string& str, const std::string& suffix);

// Trimming removes leading (l), trailing (r) or both kinds of bytes that
// occur in `characters` (a set: order and repetition do not matter; an empty
// set removes nothing). A string made only of such bytes becomes empty.
ORVANTIS_API void ltrim(std::string& str, const std::string& characters = defaultTrimCharacters);
ORVANTIS_API std::string ltrimCopy(const std::string& str, const std::string& characters = defaultTrimCharacters);
ORVANTIS_API void rtrim(std::string& str, const std::string& characters = defaultTrimCharacters);
ORVANTIS_API std::string rtrimCopy(const std::string& str, const std::string& characters = defaultTrimCharacters);
ORVANTIS_API void trim(std::string& str, const std::string& characters = defaultTrimCharacters);
ORVANTIS_API std::string trimCopy(const std::string& str, const std::string& characters = defaultTrimCharacters);

// Replaces every occurrence of `from` by `to`, left to right. Inserted text
// is never searched again, so `to` may contain `from`. An empty `from`
// changes nothing.
ORVANTIS_API void replaceAll(std::string& str, const std::string& from, const std::string& to);
ORVANTIS_API std::string replaceAllCopy(const std::string& str, const std::string& from, const std::string& to);

// The parts of `str` between the matches of `separator`, in order and not
// trimmed. An empty separator never matches: the whole string is one part.
// Splitting "" gives one empty part, or none with SkipEmptyParts.
ORVANTIS_API std::vector<std::string> split(const std::string& str, const std::string& separator,
                                            Flags<SplitOptions> options = Flags<SplitOptions>());

// The non-empty parts joined by `separator`; empty parts add neither text
// nor separators.
ORVANTIS_API std::string joinNonEmpty(const std::vector<std::string>& parts, const std::string& separator);

// Case conversion byte by byte with the ctype facet of the global locale
// (std::locale()). Under the classic locale only A-Z and a-z change; bytes of
// multi-byte UTF-8 characters stay as they are.
ORVANTIS_API void toLower(std::string& str);
ORVANTIS_API std::string toLowerCopy(const std::string& str);
ORVANTIS_API void toUpper(std::string& str);
ORVANTIS_API std::string toUpperCopy(const std::string& str);

}  // namespace Orvantis::String
