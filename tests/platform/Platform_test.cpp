#include "core/platform/Platform.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

using namespace Orvantis;

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
    EXPECT_EQ(Platform::widen("\xF0\x90\x80\x80", -1), std::wstring(1, static_cast<wchar_t>(0x10000)));
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
    const std::string error = std::string("Error during conversion: ") + std::strerror(EILSEQ);
    for (const std::string& s : invalid) {
        SCOPED_TRACE(s);
        EXPECT_EQ(Platform::widen(s.data(), static_cast<long long>(s.size())), L"");
        EXPECT_EQ(takeRecords(), (std::vector<OrvantisTest::Record>{{Log::Error, "Platform::widen()", error}}));
    }
    const wchar_t surrogate[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    const wchar_t tooLarge[] = {static_cast<wchar_t>(0x110000), 0};
    for (const wchar_t* text : {surrogate, tooLarge}) {
        EXPECT_EQ(Platform::narrow(text, -1), "");
        EXPECT_EQ(takeRecords(), (std::vector<OrvantisTest::Record>{{Log::Error, "Platform::narrow()", error}}));
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
    errno = ENOENT;
    EXPECT_EQ(Platform::getLastWindowsErrorMessage(), std::strerror(ENOENT));
}

TEST_F(PlatformTest, EnvironmentCacheServesUntilBypassed) {
    const std::string name = "ORVANTIS_TEST_CACHE";
    Platform::setEnvironmentVariable(name, "first");
    EXPECT_EQ(std::getenv(name.c_str()), std::string("first"));
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", false), "first");

    ::setenv(name.c_str(), "changed behind our back", 1);
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", false), "first");
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", true), "changed behind our back");
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", false), "changed behind our back");

    // An empty value removes the variable, and the refresh drops the cache.
    Platform::setEnvironmentVariable(name, "");
    EXPECT_EQ(std::getenv(name.c_str()), nullptr);
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", false), "default");
    ::setenv(name.c_str(), "late", 1);
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "default", false), "late");  // default was not cached
    ::unsetenv(name.c_str());

    const std::string bytes = "\xE9t\xE9 \xFF raw bytes";
    Platform::setEnvironmentVariable(name, bytes);
    EXPECT_EQ(Platform::getEnvironmentVariable(name, "", true), bytes);
    Platform::setEnvironmentVariable(name, "");
    EXPECT_TRUE(takeRecords().empty());

    Platform::setEnvironmentVariable("BAD=NAME", "v");
    Platform::setEnvironmentVariable("BAD=NAME", "");  // removal is refused for such a name too
    EXPECT_EQ(takeRecords(), (std::vector<OrvantisTest::Record>{
                                 {Log::Error, "", "Could not set the environment variable BAD=NAME to the value v"},
                                 {Log::Error, "", "Could not set the environment variable BAD=NAME to the value "}}));
}

}  // namespace
