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

#ifdef _WIN32
// The system's own text for a Windows error code, line break included.
std::string systemText(DWORD code) {
    char buffer[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
    return buffer;
}
const std::string kConversionError = "Error during conversion: " + systemText(ERROR_NO_UNICODE_TRANSLATION);
#else
const std::string kConversionError = std::string("Error during conversion: ") + std::strerror(EILSEQ);
#endif

// Changes the environment behind the library's back; null removes.
void setDirectly(const std::string& name, const char* value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value : "");
#else
    value ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str());
#endif
}

class PlatformTest : public ::testing::Test {
protected:
    std::vector<OrvantisTest::Record> takeRecords() { return session.takeRecords(); }
    OrvantisTest::LogSession session;
};

TEST_F(PlatformTest, ConversionsRoundTripValidText) {
    const std::string samples[] = {"plain ASCII",
                                   "Grüße",
                                   "€ and 中文",
                                   "\xF0\x9F\x98\x80 emoji",
                                   std::string("nul\0inside", 10),
                                   "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xF4\x8F\xBF\xBF",
                                   "\xEF\xBF\xBF\xF0\x90\x80\x80"};  // U+FFFF then U+10000
    for (const std::string& s : samples) {
        const std::wstring wide = Platform::widen(s.data(), static_cast<long long>(s.size()));
        EXPECT_EQ(Platform::narrow(wide.data(), static_cast<long long>(wide.size())), s);
    }
    EXPECT_EQ(Platform::widen("Grüße", -1), L"Grüße");
    EXPECT_EQ(Platform::widen("abc", 2), L"ab");
    EXPECT_EQ(Platform::widen("\xF0\x90\x80\x80", -1), std::wstring(L"\U00010000"));  // a surrogate pair on Windows
    EXPECT_EQ(Platform::narrow(L"\U0001F600", -1), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Platform::narrow(L"\uFFFF\U00010000", -1), "\xEF\xBF\xBF\xF0\x90\x80\x80");
    for (long long length : {-1LL, 0LL}) {  // empty input: empty result, no record
        EXPECT_EQ(Platform::widen(length ? "" : "abc", length), L"");
        EXPECT_EQ(Platform::narrow(length ? L"" : L"abc", length), "");
    }
    EXPECT_TRUE(takeRecords().empty());
}

TEST_F(PlatformTest, InvalidTextIsRefusedWithOneErrorRecord) {
    const std::string invalid[] = {
        "\x80",  // lone continuation byte
        "ab\xC3",  // truncated two-byte sequence
        "\xC0\xAF",  // overlong '/'
        "\xE0\x80\xAF",  // overlong three-byte form
        "\xF0\x8F\xBF\xBF",  // overlong four-byte form
        "\xED\xA0\x80",  // UTF-16 surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF8\x88\x80\x80\x80",
        "ok\xE2\x82",  // truncated at the end
        "\xE2\x28\xA1",  // bad continuation
    };
    for (const std::string& s : invalid) {
        SCOPED_TRACE(s);
        EXPECT_EQ(Platform::widen(s.data(), static_cast<long long>(s.size())), L"");
        EXPECT_EQ(takeRecords(),
                  (std::vector<OrvantisTest::Record>{{Log::Error, "Platform::widen()", kConversionError}}));
    }
    const wchar_t surrogate[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
#ifdef _WIN32
    for (const wchar_t* text : {surrogate}) {  // UTF-16 cannot hold a code point above U+10FFFF
#else
    const wchar_t tooLarge[] = {static_cast<wchar_t>(0x110000), 0};
    for (const wchar_t* text : {surrogate, tooLarge}) {
#endif
        EXPECT_EQ(Platform::narrow(text, -1), "");
        EXPECT_EQ(takeRecords(),
                  (std::vector<OrvantisTest::Record>{{Log::Error, "Platform::narrow()", kConversionError}}));
    }
}

TEST_F(PlatformTest, TooLongInputWarnsWithoutReadingItAndRecordsFollowTheLevel) {
    const char small[] = "x";
    const wchar_t wideSmall[] = L"x";
    // The length check comes before any byte is read.
    EXPECT_EQ(Platform::widen(small, 2147483648LL), L"");
    EXPECT_EQ(Platform::narrow(wideSmall, 2147483648LL), "");
    EXPECT_EQ(takeRecords(),
              (std::vector<OrvantisTest::Record>{{Log::Warning, "Platform::widen()", "Input string too long."},
                                                 {Log::Warning, "Platform::narrow()", "Input string too long."}}));
    Log::setGlobalLevel(Log::Fatal);
    EXPECT_EQ(Platform::widen("\xFF", -1), L"");
    EXPECT_EQ(Platform::widen("x", 2147483648LL), L"");
    EXPECT_TRUE(takeRecords().empty());
}

TEST_F(PlatformTest, LastErrorMessageIsTheSystemText) {
#ifdef _WIN32
    SetLastError(ERROR_FILE_NOT_FOUND);
    const std::string text = Platform::getLastWindowsErrorMessage();
    EXPECT_EQ(text, systemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");  // kept whole, line break included
#else
    errno = ENOENT;
    EXPECT_EQ(Platform::getLastWindowsErrorMessage(), std::strerror(ENOENT));
#endif
}

TEST_F(PlatformTest, EnvironmentCacheServesUntilBypassed) {
    const std::string name = "ORVANTIS_TEST_CACHE";
    Platform::setEnvironmentVariable(name, "first");
    EXPECT_EQ(std::getenv(name.c_str()), std::string("first"));
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", false), "first");

    setDirectly(name, "changed behind our back");
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", false), "first");
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", true), "changed behind our back");
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", false), "changed behind our back");

    // An empty value removes the variable, and the refresh drops the cache.
    Platform::setEnvironmentVariable(name, "");
    EXPECT_EQ(std::getenv(name.c_str()), nullptr);
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", false), "default");
    setDirectly(name, "late");
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", false), "late");  // default was not cached
    setDirectly(name, nullptr);

    const std::string bytes = "\xE9t\xE9 \xFF raw bytes";
    Platform::setEnvironmentVariable(name, bytes);
#ifdef _WIN32
    // Set byte by byte as UTF-16 units 0xFF80 to 0xFFFF, read back as UTF-8.
    std::wstring units;
    for (const char c : bytes) {
        units += static_cast<wchar_t>(static_cast<short>(static_cast<signed char>(c)));
    }
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "", true), Platform::narrow(units.c_str(), -1));
    // A value set through the wide API is read back as its UTF-8 text.
    _wputenv_s(L"ORVANTIS_TEST_CACHE", L"Gr\u00FC\u00DFe \U0001F600");
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "", true),
              "Gr\xC3\xBC\xC3\x9F"
              "e \xF0\x9F\x98\x80");
#else
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "", true), bytes);
#endif
    Platform::setEnvironmentVariable(name, "");
    EXPECT_TRUE(takeRecords().empty());

    Platform::setEnvironmentVariable("BAD=NAME", "v");
    Platform::setEnvironmentVariable("BAD=NAME", "");  // removal is refused for such a name too
    EXPECT_EQ(takeRecords(), (std::vector<OrvantisTest::Record>{
                                 {Log::Error, "", "Could not set the environment variable BAD=NAME to the value v"},
                                 {Log::Error, "", "Could not set the environment variable BAD=NAME to the value "}}));
}

}  // namespace
