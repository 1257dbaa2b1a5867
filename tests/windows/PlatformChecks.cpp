// Windows behaviour of the platform services and the console sink.
#include "Harness.h"

#include "core/log/ConsoleSink.h"
#include "core/log/Log.h"
#include "core/platform/Platform.h"

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

using namespace Orvantis;
using OrvantisWindowsTest::visible;

struct Collected {
    std::vector<Log::Sink::LogCapture> records;
};

class CollectingSink : public Log::Sink {
public:
    explicit CollectingSink(Collected* out) : m_out(out) {}

protected:
    void flush() override {}
    void logImpl(const LogCapture& c) override { m_out->records.push_back(c); }

private:
    Collected* m_out;
};

// Logging with one collecting sink for the scope's duration.
struct Session {
    Collected collected;
    Session() {
        Log::init(Log::Trace, Log::Synchronous);
        Log::addSink(std::make_unique<CollectingSink>(&collected));
    }
    ~Session() { Log::deinit(); }
};

bool endsWithCrLf(const std::string& text) {
    return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

WTEST(Utf16ConversionsRoundTripAndRefuseUnpairedSurrogates) {
    Session session;
    WCHECK(Platform::widen("Gr\xC3\xBC\xC3\x9F"
                           "e \xF0\x9F\x98\x80",
                           -1) == L"Gr\u00FC\u00DFe \U0001F600");
    WCHECK_EQ(Platform::narrow(L"\U0001F600", -1), std::string("\xF0\x9F\x98\x80"));
    WCHECK(Platform::widen("abc", 2) == L"ab");

    const wchar_t unpaired[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    WCHECK_EQ(Platform::narrow(unpaired, -1), std::string());
    WCHECK(Platform::widen("\xC3", -1).empty());
    WCHECK_EQ(session.collected.records.size(), size_t{2});
    if (session.collected.records.size() == 2) {
        const auto& narrowRecord = session.collected.records[0];
        WCHECK_EQ(narrowRecord.category, std::string("Platform::narrow()"));
        WCHECK(narrowRecord.message.rfind("Error during conversion: ", 0) == 0);
        // The system's text is kept whole, line break included.
        WCHECK(endsWithCrLf(narrowRecord.message));
        WCHECK_EQ(session.collected.records[1].category, std::string("Platform::widen()"));
    }
}

WTEST(LastErrorMessageKeepsTheSystemsLineBreak) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    const std::string text = Platform::getLastWindowsErrorMessage();
    WCHECK(text.size() > 2);
    WCHECK(endsWithCrLf(text));
}

WTEST(EnvironmentWidensBytewise) {
    Session session;
    Platform::setEnvironmentVariable("ORVANTIS_WINDOWS_ASCII", "plain");
    WCHECK_EQ(Platform::getEnvironmentVariable("ORVANTIS_WINDOWS_ASCII", "", true), std::string("plain"));
    // "é" in UTF-8 is two bytes above 0x7F; each becomes its own UTF-16 unit
    // 0xFFC3, 0xFFA9 on the way in, so the value does not read back the same.
    const std::string accented = "\xC3\xA9";
    Platform::setEnvironmentVariable("ORVANTIS_WINDOWS_BYTES", accented);
    const std::string back = Platform::getEnvironmentVariable("ORVANTIS_WINDOWS_BYTES", "", true);
    WCHECK(!back.empty());
    WCHECK(back != accented);
    WCHECK_EQ(back, Platform::narrow(L"\xFFC3\xFFA9", -1));
    Platform::setEnvironmentVariable("ORVANTIS_WINDOWS_BYTES", "");
    WCHECK_EQ(Platform::getEnvironmentVariable("ORVANTIS_WINDOWS_BYTES", "unset", true), std::string("unset"));
}

// Exposes the protected output operation.
class TestableConsoleSink : public Log::ConsoleSink {
public:
    using ConsoleSink::ConsoleSink;
    using ConsoleSink::logImpl;
};

WTEST(ConsoleSinkRestoresAttributesAndWritesCrLf) {
    // The sink takes the standard-output handle when it is made: point it at a
    // console screen buffer of our own with known attributes.
    AllocConsole();
    HANDLE original = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE buffer = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (buffer == INVALID_HANDLE_VALUE) {
        std::cout << "  (no console can be created here: attribute check skipped)" << std::endl;
    } else {
        const WORD custom = FOREGROUND_BLUE | FOREGROUND_INTENSITY | BACKGROUND_GREEN;
        SetConsoleTextAttribute(buffer, custom);
        SetStdHandle(STD_OUTPUT_HANDLE, buffer);
        {
            TestableConsoleSink sink(Log::ConsoleSink::Colored);
            sink.logImpl(Log::Sink::LogCapture{{}, Log::Fatal, "Windows", "white on red, then back"});
        }
        SetStdHandle(STD_OUTPUT_HANDLE, original);
        CONSOLE_SCREEN_BUFFER_INFO after{};
        WCHECK(GetConsoleScreenBufferInfo(buffer, &after));
        WCHECK_EQ(after.wAttributes, custom);
        CloseHandle(buffer);
    }

    // Standard output in text mode turns "\n" into "\r\n".
    char path[MAX_PATH];
    GetTempFileNameA(".", "orv", 0, path);
    std::fflush(stdout);
    const int saved = _dup(_fileno(stdout));
    std::FILE* file = std::freopen(path, "w", stdout);
    WCHECK(file != nullptr);
    {
        TestableConsoleSink sink(Log::ConsoleSink::Colored);
        sink.logImpl(Log::Sink::LogCapture{{}, Log::Error, "c", "m"});
    }
    std::fflush(stdout);
    _dup2(saved, _fileno(stdout));
    _close(saved);
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    DeleteFileA(path);
    WCHECK_EQ(visible(text.str()), std::string("[c] m\\r\\n"));
}

}  // namespace
