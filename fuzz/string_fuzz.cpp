// Fuzzes String::split (and the trims) with fuzzed separators and options.
// Byte 0 holds the options (bits 0 and 1), byte 1 the separator's length
// (below 8), then come the separator and the text. The results are checked
// against properties that hold for every input.
#include "core/string/String.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace Orvantis;
using Parts = std::vector<std::string>;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string joinAll(const Parts& parts, const std::string& separator) {
    std::string joined;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        joined += (i == 0 ? "" : separator) + parts[i];
    }
    return joined;
}

Parts withoutEmpty(Parts parts) {
    parts.erase(std::remove(parts.begin(), parts.end(), std::string()), parts.end());
    return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const auto options = Flags<String::SplitOptions>::fromInt(data[0] & 3u);
    const std::size_t separatorLength = std::min<std::size_t>(data[1] % 8, size - 2);
    const std::string separator(reinterpret_cast<const char*>(data) + 2, separatorLength);
    const std::string text(reinterpret_cast<const char*>(data) + 2 + separatorLength, size - 2 - separatorLength);

    const Parts parts = String::split(text, separator, options);
    const bool anyCharacter = options.testFlag(String::SplitAtAnyCharacter);
    const auto keepOptions =
        anyCharacter ? Flags<String::SplitOptions>(String::SplitAtAnyCharacter) : Flags<String::SplitOptions>();
    const Parts kept = String::split(text, separator, keepOptions);

    // Skipping empty parts drops exactly the empty parts.
    check(withoutEmpty(kept) == (options.testFlag(String::SkipEmptyParts) ? parts : withoutEmpty(parts)));
    if (separator.empty()) {
        check(kept == Parts{text});
    } else if (!anyCharacter) {
        // Whole-substring parts put back together give the text again.
        check(joinAll(kept, separator) == text);
    } else {
        std::size_t bytes = 0;
        for (const std::string& part : kept) {
            check(part.find_first_of(separator) == std::string::npos);
            bytes += part.size();
        }
        // Every separating byte is one byte of the text not in any part.
        check(kept.size() - 1 == text.size() - bytes);
    }

    // Trimming by the separator's bytes: nothing of the set is left at the ends.
    const std::string trimmed = String::trimCopy(text, separator);
    check(trimmed == String::rtrimCopy(String::ltrimCopy(text, separator), separator));
    check(trimmed.empty() || (separator.find(trimmed.front()) == std::string::npos &&
                              separator.find(trimmed.back()) == std::string::npos));
    return 0;
}
