// The vectored exception handler: an integer division by zero in a child
// process is reported and ends it with status -106.
#include "Harness.h"

#include "core/log/ConsoleSink.h"
#include "core/log/Log.h"

#include <windows.h>

#include <string>

namespace {

using namespace Orvantis;
using OrvantisWindowsTest::visible;

__attribute__((noinline)) int divide(int numerator, int denominator) {
    return numerator / denominator;
}

int crashByDivisionByZero() {
    Log::init(Log::Trace, Log::Synchronous);
    Log::addSink(std::make_unique<Log::ConsoleSink>());
    volatile int zero = 0;
    return divide(7, zero);
}
WCHILD("divzero", crashByDivisionByZero);

// Runs this program with `mode`, returns its exit code and its output.
DWORD runChild(const char* mode, std::string& output) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::string command = std::string("\"") + self + "\" " + mode;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return 0xFFFFFFFF;
    }
    CloseHandle(writeEnd);
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        output.append(buffer, n);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    return code;
}

WTEST(DivisionByZeroIsReportedAndEndsWithMinus106) {
    std::string output;
    const DWORD code = runChild("divzero", output);
    WCHECK_EQ(static_cast<int>(code), -106);
    WCHECK(output.find("***** Encountered fatal exception: Divide by zero error, PID ") != std::string::npos);
    if (output.find("Divide by zero error") == std::string::npos) {
        std::cout << "  child output: " << visible(output.substr(0, 400)) << std::endl;
    }
}

}  // namespace
