#include "core/platform/Platform.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

using namespace Orvantis;
using OrvantisTest::takeReports;
using Reports = std::vector<std::string>;

TEST(Platform, ConversionsAreExactOrGiveNothing) {
    OrvantisTest::LogSession log;
    // The first and last code points of each encoded length, the last below the surrogates, the first above
    // (pairs of UTF-16 units on Windows).
    using Row = std::pair<std::string, std::wstring>;
    for (const auto& [utf8, wide] :
         {Row{std::string("nul\0in", 6), std::wstring(L"nul\0in", 6)},
          Row{"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF",
              L"\x7F\x80\x7FF\x800\uD7FF\uE000\uFFFF"},
          Row{"\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", L"\U00010000\U0001F600\U0010FFFF"}}) {
        EXPECT_EQ(Platform::widen(utf8.data(), static_cast<long long>(utf8.size())), wide) << utf8;
        EXPECT_EQ(Platform::narrow(wide.data(), static_cast<long long>(wide.size())), utf8) << utf8;
    }
    EXPECT_EQ(Platform::widen("abc", 2) + Platform::widen("\xC3\xBC", -1) + Platform::widen("x", 0), L"ab\u00FC");
    EXPECT_EQ(Platform::narrow(L"abc", 2) + Platform::narrow(L"\u00FC", -1) + Platform::narrow(L"", -1), "ab\xC3\xBC");
    // Valid text gave no record: the first check of the reports below would see it. Invalid text gives nothing
    // and one record with the system's text for the error, its line break included.
#ifdef _WIN32
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_NO_UNICODE_TRANSLATION,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    const std::string error = "Error during conversion: " + std::string(text);
#else
    const std::string error = std::string("Error during conversion: ") + std::strerror(EILSEQ);
#endif
    // stray, truncated, overlong, the first and last surrogates, above U+10FFFF, five bytes, bad continuation
    for (const std::string s : {"\x80", "ab\xC3", "\xC0\xAF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xED\xBF\xBF",
                                "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xE2\x28\xA1"}) {
        EXPECT_EQ(Platform::widen(s.data(), static_cast<long long>(s.size())), L"") << s;
        EXPECT_EQ(takeReports(*log.recording), Reports{"4 Platform::widen(): " + error}) << s;
    }
    EXPECT_EQ(Platform::narrow(std::wstring{L'a', static_cast<wchar_t>(0xD800), L'b'}.c_str(), -1), "");
    EXPECT_EQ(takeReports(*log.recording), Reports{"4 Platform::narrow(): " + error});
    // The length is refused before any byte is read.
    EXPECT_TRUE(Platform::widen("x", 2147483648LL).empty() && Platform::narrow(L"x", 2147483648LL).empty());
    EXPECT_EQ(takeReports(*log.recording),
              (Reports{"3 Platform::widen(): Input string too long.", "3 Platform::narrow(): Input string too long."}));
}

TEST(Platform, EnvironmentCacheServesUntilBypassed) {
    OrvantisTest::LogSession log;
    const char* const name = "ORVANTIS_TEST_CACHE";
    const auto get = [&](bool bypass) { return Platform::getEnvironmentVariable(name, "default", bypass); };
    const auto setDirectly = [](const char* assignment) { ::putenv(const_cast<char*>(assignment)); };  // not cached
    Platform::setEnvironmentVariable(name, "first");
    setDirectly("ORVANTIS_TEST_CACHE=changed");
    EXPECT_EQ(get(false), "first");
    EXPECT_EQ(get(true), "changed");
    Platform::setEnvironmentVariable(name, "");  // removes the variable, and the cache entry
    EXPECT_TRUE(std::getenv(name) == nullptr && get(false) == "default");
    setDirectly("ORVANTIS_TEST_CACHE=late");
    EXPECT_EQ(get(false), "late");  // the default was not cached
    Platform::setEnvironmentVariable(name, "\xE9t\xE9 raw");
#ifdef _WIN32
    // Set byte by byte as UTF-16 units 0xFF80 to 0xFFFF, read back as UTF-8.
    EXPECT_EQ(get(true), Platform::narrow(L"\xFFE9t\xFFE9 raw", -1));
    _wputenv_s(L"ORVANTIS_TEST_CACHE", L"Gr\u00FC\u00DF \U0001F600");  // the wide API's value reads as UTF-8
    EXPECT_EQ(get(true), "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80");
#else
    EXPECT_EQ(get(true), "\xE9t\xE9 raw");
#endif
    EXPECT_TRUE(takeReports(*log.recording).empty());
    Platform::setEnvironmentVariable("BAD=NAME", "v");
    EXPECT_EQ(takeReports(*log.recording),
              Reports{"4 : Could not set the environment variable BAD=NAME to the value v"});
}

}  // namespace
