// Deliberate crashes in child processes: each must end with exit status
// -106 after a Fatal record that names the fault and carries a stack trace
// with the crashing function in it.
#include "core/log/CrashReporting.h"
#include "core/log/FileSink.h"
#include "core/log/Log.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using namespace Orvantis;

constexpr int kFatalExitStatus = -106 & 0xFF;

// --- the crashes; noinline so that each has its own frame in the trace ----

__attribute__((noinline, no_sanitize_undefined)) int crashByDivisionByZero(int numerator) {
    volatile int dividend = numerator;
    volatile int zero = 0;
    return dividend / zero;
}

__attribute__((noinline, no_sanitize_address, no_sanitize_undefined)) void crashByNullWrite() {
    // Read through a volatile so that the compiler cannot see the null.
    volatile int* volatile target = nullptr;
    *target = 1;
}

__attribute__((noinline)) int crashByRecursion(int depth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    return crashByRecursion(depth + 1) + frame[0];
}

__attribute__((noinline)) void crashByIllegalInstruction() {
    __builtin_trap();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class FatalReporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        // Not the pid: the threadsafe death test style re-runs the test in a new
        // process that must find the same file.
        path = ::testing::TempDir() + "orvantis_fatal_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        std::remove(path.c_str());
    }
    void TearDown() override { std::remove(path.c_str()); }

    void startLogging(Log::Mode mode) const {
        Log::init(Log::Trace, mode);
        Log::addSink(std::make_unique<Log::FileSink>(path));
        Log::log(Log::Info, "", "before the crash");
    }

    // The file's last record is the Fatal report for `name`, with `function`
    // in its stack trace, and every earlier record came first.
    void expectReport(const std::string& name, const std::string& function) const {
        const std::string text = readFile(path);
        const std::string head = "\tFATAL\t***** Encountered fatal exception: " + name + ", PID ";
        const size_t at = text.find(head);
        ASSERT_NE(at, std::string::npos) << text;
        const size_t before = text.find("\tINFO \tbefore the crash\n");
        EXPECT_NE(before, std::string::npos) << text;
        EXPECT_LT(before, at);
        EXPECT_NE(text.find(" *****\n", at), std::string::npos);
        EXPECT_NE(text.find(function, at), std::string::npos) << "stack trace lacks " << function << ":\n" << text;
        EXPECT_EQ(text.find("***** Encountered", at + head.size()), std::string::npos) << "reported twice";
    }

    std::string path;
};

TEST_F(FatalReporterTest, EachFaultIsReportedAndEndsTheProcess) {
    struct Crash {
        const char* name;
        const char* function;
        void (*run)();
    };
    const Crash crashes[] = {
        {"Divide by zero error", "crashByDivisionByZero", [] { std::printf("%d", crashByDivisionByZero(7)); }},
        {"Access Violation", "crashByNullWrite", [] { crashByNullWrite(); }},
        {"Stack overflow", "crashByRecursion", [] { std::printf("%d", crashByRecursion(0)); }},
        {"Illegal instruction", "crashByIllegalInstruction", [] { crashByIllegalInstruction(); }},
    };
    for (const Crash& crash : crashes) {
        SCOPED_TRACE(crash.name);
        std::remove(path.c_str());
        EXPECT_EXIT(
            {
                startLogging(Log::Synchronous);
                crash.run();
            },
            ::testing::ExitedWithCode(kFatalExitStatus), "");
        expectReport(crash.name, crash.function);
    }
}

TEST_F(FatalReporterTest, FaultOnAnotherThreadInAsynchronousMode) {
    EXPECT_EXIT(
        {
            startLogging(Log::Asynchronous);
            for (int i = 0; i < 1000; ++i) {
                Log::log(Log::Debug, "", "queued " + std::to_string(i));
            }
            std::thread worker([] {
                Log::prepareThreadForCrashReports();
                std::printf("%d", crashByRecursion(0));
            });
            worker.join();
        },
        ::testing::ExitedWithCode(kFatalExitStatus), "");
    expectReport("Stack overflow", "crashByRecursion");
    const std::string text = readFile(path);
    EXPECT_LT(text.find("\tqueued 999\n"), text.find("\tFATAL\t")) << "records before the report were lost";
}

// Not initialised (or the level above Fatal): the process ends as the fault
// would have ended it without the reporter.
bool endedByTheOriginalCrash(int status) {
    if (WIFSIGNALED(status)) {
        return WTERMSIG(status) == SIGSEGV;
    }
    // Under AddressSanitizer its own handler comes back and reports instead.
    return WIFEXITED(status) && WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != kFatalExitStatus;
}

TEST_F(FatalReporterTest, AfterDeinitTheReportIsPrintedAndTheCrashProceeds) {
    EXPECT_EXIT(
        {
            ::dup2(STDERR_FILENO, STDOUT_FILENO);  // let the death test see standard output
            startLogging(Log::Synchronous);
            Log::deinit();
            Log::init(Log::Trace, Log::Synchronous);  // a second init must not report twice
            Log::deinit();
            crashByNullWrite();
        },
        endedByTheOriginalCrash,
        "\\[\\] \\*\\*\\*\\*\\* Encountered fatal exception: Access Violation, PID [0-9]+ \\*\\*\\*\\*\\*\n");
}

TEST_F(FatalReporterTest, LevelAboveFatalSilencesTheReporter) {
    EXPECT_EXIT(
        {
            startLogging(Log::Synchronous);
            Log::setGlobalLevel(static_cast<Log::Level>(6));
            crashByNullWrite();
        },
        endedByTheOriginalCrash, "");
    const std::string text = readFile(path);
    EXPECT_NE(text.find("\tINFO \tbefore the crash\n"), std::string::npos);
    EXPECT_EQ(text.find("FATAL"), std::string::npos) << text;
}

}  // namespace
