// Deliberate crashes in child processes: each must end with exit status
// -106 after a Fatal record that names the fault and carries a stack trace,
// also when several things go wrong at once.
#include "core/log/ConsoleSink.h"
#include "core/log/CrashReporting.h"
#include "core/log/FileSink.h"
#include "core/log/Log.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <sys/wait.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

namespace {

using namespace Orvantis;

constexpr int kFatalExitStatus = -106 & 0xFF;
// A child that has not ended by then has hung: SIGALRM ends it and fails the test.
constexpr unsigned kChildSeconds = 20;

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

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Crashes on the record "crash" after giving another thread 100 ms to start
// a flush, which then waits for this delivery to end.
struct CrashingSink : Log::Sink {
    static inline std::atomic<bool> delivering{false};
    void flush() override {}
    void logImpl(const LogCapture& capture) override {
        if (capture.message == "crash") {
            delivering = true;
            sleepMs(100);
            crashByNullWrite();
        }
    }
};

struct AlwaysThrowingSink : Log::Sink {
    void flush() override { throw std::runtime_error("flush failed"); }
    void logImpl(const LogCapture&) override { throw std::runtime_error("write failed"); }
};

// The current test's log file.
std::string g_path;

class FatalReporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        // Not the pid: the threadsafe death test style re-runs the test in a new
        // process that must find the same file.
        g_path = ::testing::TempDir() + "orvantis_fatal_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        std::remove(path.c_str());
    }
    void TearDown() override { std::remove(path.c_str()); }

    void startLogging(Log::Mode mode) const {
        ::alarm(kChildSeconds);
        Log::init(Log::Trace, mode);
        Log::addSink(std::make_unique<Log::FileSink>(path));
        for (int i = 0; i < 1000; ++i) {  // queued in asynchronous mode: all must precede the report
            Log::log(Log::Debug, "", "queued");
        }
        Log::log(Log::Info, "", "before the crash");
    }

    // The file holds the Fatal report for `name` after the earlier record,
    // with `trace` in its stack lines; `once`: no other report follows.
    void expectReport(const std::string& name, const std::string& trace, bool once = true) const {
        const std::string text = OrvantisTest::readFile(path);
        const std::string head = "\tFATAL\t***** Encountered fatal exception: " + name + ", PID ";
        const size_t at = text.find(head);
        ASSERT_NE(at, std::string::npos) << text;
        const size_t before = text.find("\tINFO \tbefore the crash\n");
        EXPECT_NE(before, std::string::npos) << text;
        EXPECT_LT(before, at);
        EXPECT_NE(text.find(" *****\n", at), std::string::npos);
        EXPECT_NE(text.find(trace, at), std::string::npos) << "stack trace lacks " << trace << ":\n" << text;
        if (once) {
            EXPECT_EQ(text.find("***** Encountered", at + head.size()), std::string::npos) << "reported twice";
        }
    }

    const std::string& path = g_path;
};

TEST_F(FatalReporterTest, EachFaultIsReportedAndEndsTheProcess) {
    struct Crash {
        const char* name;
        const char* function;
        Log::Mode mode;
        void (*run)();
    };
    const Crash crashes[] = {
        {"Divide by zero error", "crashByDivisionByZero", Log::Synchronous,
         [] { std::printf("%d", crashByDivisionByZero(7)); }},
        {"Access Violation", "crashByNullWrite", Log::Synchronous, [] { crashByNullWrite(); }},
        {"Stack overflow", "crashByRecursion", Log::Synchronous, [] { std::printf("%d", crashByRecursion(0)); }},
        {"Illegal instruction", "crashByIllegalInstruction", Log::Synchronous, [] { crashByIllegalInstruction(); }},
        {"Stack overflow", "crashByRecursion", Log::Asynchronous,
         [] {
             std::thread worker([] {
                 Log::prepareThreadForCrashReports();
                 std::printf("%d", crashByRecursion(0));
             });
             worker.join();
         }},
    };
    for (const Crash& crash : crashes) {
        SCOPED_TRACE(std::string(crash.name) + (crash.mode == Log::Asynchronous ? ", asynchronous" : ""));
        std::remove(path.c_str());
        EXPECT_EXIT(
            {
                startLogging(crash.mode);
                crash.run();
            },
            ::testing::ExitedWithCode(kFatalExitStatus), "");
        expectReport(crash.name, crash.function);
    }
}

// Trouble on top of the fault: the process still ends with -106, the report
// in the file, within the child's time limit.
TEST_F(FatalReporterTest, ConcurrentTroubleStillEndsWithTheReport) {
    struct Shape {
        const char* what;
        const char* trace;  // "0x": only the last-resort report's raw addresses
        void (*run)();
    };
    const Shape shapes[] = {
        {"a sink crashes while another thread flushes", "crashByNullWrite",
         [] {
             Log::addSink(std::make_unique<CrashingSink>());
             std::thread flusher([] {
                 while (!CrashingSink::delivering) {
                     sleepMs(1);
                 }
                 Log::flush();  // holds dispatchMutex, waits for queueMutex
             });
             Log::log(Log::Info, "", "crash");
             flusher.join();
         }},
        {"two threads fault 5 ms apart", "crashByNullWrite",
         [] {
             std::thread first([] {
                 Log::prepareThreadForCrashReports();
                 crashByNullWrite();
             });
             sleepMs(5);
             crashByNullWrite();
             first.join();
         }},
        {"a sink throws from the report and the flush", "crashByNullWrite",
         [] {
             Log::addSink(std::make_unique<AlwaysThrowingSink>());
             crashByNullWrite();
         }},
        {"the report waits for a lock that is never released", "0x",
         [] {
             // Registered first, the console sink blocks the full report on
             // standard output's lock; only the last resort reaches the file.
             ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
             Log::removeSink(*Log::getSinks()[0]);
             Log::addSink(std::make_unique<Log::ConsoleSink>());
             Log::addSink(std::make_unique<Log::FileSink>(g_path));
             std::atomic<bool> locked{false};
             std::thread holder([&locked] {
                 ::flockfile(stdout);
                 locked = true;
                 sleepMs(60000);
             });
             while (!locked) {
                 sleepMs(1);
             }
             crashByNullWrite();
         }},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.what);
        std::remove(path.c_str());
        EXPECT_EXIT(
            {
                startLogging(Log::Synchronous);
                shape.run();
            },
            ::testing::ExitedWithCode(kFatalExitStatus), "");
        expectReport("Access Violation", shape.trace, false);
    }
}

// Not initialised (or the level above Fatal): no report in the file, and the
// process ends as the fault would have ended it without the reporter.
bool endedByTheOriginalCrash(int status) {
    if (WIFSIGNALED(status)) {
        return WTERMSIG(status) == SIGSEGV;
    }
    // Under AddressSanitizer its own handler comes back and reports instead.
    return WIFEXITED(status) && WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != kFatalExitStatus;
}

TEST_F(FatalReporterTest, WithoutLoggingOrAboveFatalTheCrashProceeds) {
    struct Case {
        const char* what;
        void (*silence)();
        const char* printed;
    };
    const Case cases[] = {
        {"after deinit the report is printed",
         [] {
             Log::deinit();
             Log::init(Log::Trace, Log::Synchronous);  // a second init must not report twice
             Log::deinit();
         },
         "\\[\\] \\*\\*\\*\\*\\* Encountered fatal exception: Access Violation, PID [0-9]+ \\*\\*\\*\\*\\*\n"},
        {"a level above Fatal silences the reporter", [] { Log::setGlobalLevel(static_cast<Log::Level>(6)); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EXIT(
            {
                ::dup2(STDERR_FILENO, STDOUT_FILENO);  // let the death test see standard output
                startLogging(Log::Synchronous);
                c.silence();
                crashByNullWrite();
            },
            endedByTheOriginalCrash, c.printed);
        const std::string text = OrvantisTest::readFile(path);
        EXPECT_NE(text.find("\tINFO \tbefore the crash\n"), std::string::npos);
        EXPECT_EQ(text.find("FATAL"), std::string::npos) << text;
    }
}

}  // namespace
