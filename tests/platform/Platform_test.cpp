#include "core/platform/Platform.h"

#include "core/log/Log.h"
#include "support/Capture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

using namespace Orvantis;
using OrvantisTest::Recording;
using OrvantisTest::RecordingSink;

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        Log::init(Log::Trace, Log::Synchronous);
        Log::addSink(std::make_unique<RecordingSink>(recording));
    }
    void TearDown() override {
        Log::deinit();
        Log::setGlobalLevel(Log::Trace);
    }
    std::string eilseqText() const { return std::strerror(EILSEQ); }

    std::shared_ptr<Recording> recording = std::make_shared<Recording>();
};

TEST_F(PlatformTest, ConversionsRoundTripValidText) {
    const std::string samples[] = {"plain ASCII", "Grüße", "€ and 中文", "\xF0\x9F\x98\x80 emoji",
                                   std::string("nul\0inside", 10), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xF4\x8F\xBF\xBF"};
    for (const std::string& s : samples) {
        const std::wstring wide = Platform::widen(s.data(), static_cast<long long>(s.size()));
        EXPECT_EQ(Platform::narrow(wide.data(), static_cast<long long>(wide.size())), s);
    }
    EXPECT_EQ(Platform::widen("Grüße", -1), L"Grüße");
    EXPECT_EQ(Platform::widen("abc", 2), L"ab");
    EXPECT_EQ(Platform::narrow(L"\U0001F600", -1), "\xF0\x9F\x98\x80");
    EXPECT_TRUE(recording->records.empty());
}

TEST_F(PlatformTest, EmptyInputGivesEmptyResultWithoutRecord) {
    EXPECT_EQ(Platform::widen("", -1), L"");
    EXPECT_EQ(Platform::widen("abc", 0), L"");
    EXPECT_EQ(Platform::narrow(L"", -1), "");
    EXPECT_EQ(Platform::narrow(L"abc", 0), "");
    EXPECT_TRUE(recording->records.empty());
}

TEST_F(PlatformTest, InvalidUtf8IsRefusedWithErrorRecord) {
    const std::string invalid[] = {
        "\x80",              // lone continuation byte
        "ab\xC3",            // truncated two-byte sequence
        "\xC0\xAF",          // overlong '/'
        "\xE0\x80\xAF",      // overlong three-byte form
        "\xED\xA0\x80",      // UTF-16 surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF8\x88\x80\x80\x80",
        "ok\xE2\x82",        // truncated at the end
        "\xE2\x28\xA1",      // bad continuation
    };
    for (const std::string& s : invalid) {
        recording->records.clear();
        EXPECT_EQ(Platform::widen(s.data(), static_cast<long long>(s.size())), L"") << s;
        ASSERT_EQ(recording->records.size(), 1u) << s;
        EXPECT_EQ(recording->records[0].level, Log::Error);
        EXPECT_EQ(recording->records[0].category, "Platform::widen()");
        EXPECT_EQ(recording->records[0].message, "Error during conversion: " + eilseqText());
    }
}

TEST_F(PlatformTest, InvalidCodePointsAreRefusedByNarrow) {
    const wchar_t surrogate[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    const wchar_t tooLarge[] = {static_cast<wchar_t>(0x110000), 0};
    for (const wchar_t* text : {surrogate, tooLarge}) {
        recording->records.clear();
        EXPECT_EQ(Platform::narrow(text, -1), "");
        ASSERT_EQ(recording->records.size(), 1u);
        EXPECT_EQ(recording->records[0].category, "Platform::narrow()");
        EXPECT_EQ(recording->records[0].message, "Error during conversion: " + eilseqText());
    }
}

TEST_F(PlatformTest, TooLongInputWarnsWithoutReadingIt) {
    const char small[] = "x";
    const wchar_t wideSmall[] = L"x";
    // The length check comes before any byte is read.
    EXPECT_EQ(Platform::widen(small, 2147483648LL), L"");
    EXPECT_EQ(Platform::narrow(wideSmall, 2147483648LL), "");
    ASSERT_EQ(recording->records.size(), 2u);
    EXPECT_EQ(recording->records[0].level, Log::Warning);
    EXPECT_EQ(recording->records[0].category, "Platform::widen()");
    EXPECT_EQ(recording->records[0].message, "Input string too long.");
    EXPECT_EQ(recording->records[1].category, "Platform::narrow()");
}

TEST_F(PlatformTest, ErrorRecordsFollowTheGlobalLevel) {
    Log::setGlobalLevel(Log::Fatal);
    EXPECT_EQ(Platform::widen("\xFF", -1), L"");
    EXPECT_EQ(Platform::widen("x", 2147483648LL), L"");
    EXPECT_TRUE(recording->records.empty());
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
    EXPECT_TRUE(recording->records.empty());
}

TEST_F(PlatformTest, EnvironmentBytesRoundTripAndFailuresAreLogged) {
    const std::string value = "\xE9t\xE9 \xFF raw bytes";
    Platform::setEnvironmentVariable("ORVANTIS_TEST_BYTES", value);
    EXPECT_EQ(Platform::getEnvironmentVariable("ORVANTIS_TEST_BYTES", "", true), value);
    Platform::setEnvironmentVariable("ORVANTIS_TEST_BYTES", "");

    Platform::setEnvironmentVariable("BAD=NAME", "v");
    ASSERT_EQ(recording->records.size(), 1u);
    EXPECT_EQ(recording->records[0].level, Log::Error);
    EXPECT_EQ(recording->records[0].category, "");
    EXPECT_EQ(recording->records[0].message, "Could not set the environment variable BAD=NAME to the value v");
}

}  // namespace
