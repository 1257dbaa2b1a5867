// Deliberate crashes in child processes: each must end with exit status -106 after a Fatal record that names the
// fault and carries a stack trace, also when several things go wrong at once; without logging, the crash proceeds.
#include "core/log/CrashReporting.h"
#include "core/log/FileSink.h"
#include "core/log/Log.h"
#include "core/log/sinks/RotatingFileSink.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <regex>
#include <thread>

namespace {

using namespace Orvantis;
using OrvantisTest::kFatalExitStatus;

#ifdef __SANITIZE_THREAD__  // a ThreadSanitizer build
#define ORVANTIS_TSAN 1
#else
#define ORVANTIS_TSAN 0
#endif

// In the working directory, which the threadsafe death test's re-run of the test shares.
constexpr const char* kLogPath = "FatalReporter_test.log";

// The crashes; noinline so that each has its own frame in the trace.

__attribute__((noinline, no_sanitize_undefined)) void crashByDivisionByZero() {
    volatile int zero = 0;
    std::printf("%d", 7 / zero);
}

__attribute__((noinline, no_sanitize("address", "undefined", "thread"))) void crashByNullWrite() {
    volatile int* volatile target = nullptr;  // the compiler cannot see the null
    *target = 1;
}

__attribute__((noinline)) void crashByRecursion() {
    volatile char frame[512];
    crashByRecursion();
    frame[0] = 1;  // not a tail call: every frame stays
}

__attribute__((noinline)) void crashByIllegalInstruction() {
    __builtin_trap();
}

// On "crash" or "hang", tells the test it is delivering, then gives the test 100 ms to start a flush (which waits
// for this delivery) and crashes, or never returns (a report then waits for queueMutex for good).
struct TroubleSink : Log::Sink {
    static inline std::atomic<bool> delivering{false};
    void flush() override {}
    void logImpl(const LogCapture& capture) override {
        if (capture.message == "crash" || capture.message == "hang") {
            delivering = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(capture.message == "crash" ? 100 : 60000));
            crashByNullWrite();
        }
    }
};

// Crashes or throws from every flush and (when throwing) every write.
template <bool throwing>
struct FailingSink : Log::Sink {
    void flush() override { throwing ? throw std::runtime_error("flush failed") : crashByNullWrite(); }
    void logImpl(const LogCapture&) override { throwing ? throw std::runtime_error("write failed") : void(); }
};

// Registers a `S` sink, then runs `then`.
template <class S>
void with(void (*then)()) {
    Log::addSink(std::make_unique<S>());
    then();
}

// Logs `message` on another thread and, once a TroubleSink has it, runs `then` on this one.
void troubleThen(const char* message, void (*then)()) {
    Log::addSink(std::make_unique<TroubleSink>());
    std::thread([message] { Log::log(Log::Info, "", message); }).detach();
    while (!TroubleSink::delivering) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    then();
}

// Runs `crash` on a new thread prepared for crash reports, and `then` on this one 5 ms later.
void crashOnAnotherThread(void (*crash)(), void (*then)()) {
    std::thread([crash] {
        Log::prepareThreadForCrashReports();
        crash();
    }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    then();
}

// Ended as the fault would have ended the process without the reporter.
bool endedByTheOriginalCrash(int status) {
#ifdef _WIN32
    return static_cast<unsigned>(status) == 0xC0000005u;  // EXCEPTION_ACCESS_VIOLATION
#else
    // Under AddressSanitizer its own handler comes back and reports instead.
    return WIFSIGNALED(status) ? WTERMSIG(status) == SIGSEGV
                               : WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != kFatalExitStatus;
#endif
}

// The log file holds the earlier records, then for a `name` its time-stamped report with `trace` in the stack
// lines (`twice`: another report may follow); without a name, no report at all.
void expectReport(const char* name, const std::string& trace, bool twice) {
    std::string text = OrvantisTest::readFile(kLogPath);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());  // Windows writes text mode lines
    const size_t before = text.find("\tINFO \tbefore the crash\n");
    const size_t at = text.find("\tFATAL\t***** Encountered fatal exception: ", before);
    ASSERT_NE(before, std::string::npos) << text;
    ASSERT_EQ(at == std::string::npos, name == nullptr) << text.substr(before);
    if (name == nullptr) {
        return;
    }
    const size_t start = text.rfind('\n', at) + 1, end = text.find('\n', at);
    const std::string head = text.substr(start, end - start);
    EXPECT_EQ(head.substr(0, 10), text.substr(text.rfind('\n', before) + 1, 10)) << "the report's date";
    EXPECT_TRUE(std::regex_match(head, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{1,3}\tFATAL\t\*{5} )"
                                                  R"(Encountered fatal exception: )" +
                                                  std::string(name) + R"(, PID \d+ \*{5})")))
        << head;
    // ThreadSanitizer makes symbolising thousands of overflowed frames outlast the watchdog: then the last
    // resort's report arrives.
    const auto found = [&](const std::string& part) { return text.find(part, end) != std::string::npos; };
#ifdef _WIN32  // the Windows debugging engine cannot read MinGW's symbols: addresses only
    EXPECT_TRUE(found(" 0# 0x")) << text.substr(start);
#else
    EXPECT_TRUE(found(trace) || (ORVANTIS_TSAN && found(" 0# 0x"))) << "no " << trace << " in " << text.substr(start);
#endif
    EXPECT_TRUE(twice || !found("***** Encountered")) << "reported twice";
}

// Each fault alone, then with trouble on top: the process ends with -106 and the report in the file, within the
// child's time limit. Not initialised (or the level above Fatal): no report in the file, and the process ends as
// the fault would have ended it.
TEST(FatalReporter, EachFaultEndsTheProcessWithItsReport) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    struct Crash {
        const char* what;
        const char* name;  // in the report; nullptr: no report
        const char* trace;  // in the stack lines; " 0# 0x": only the last resort's raw addresses
        void (*run)();
        bool twice = false;  // a second report may follow the first
        Log::Mode mode = Log::Synchronous;
        bool rotating = false;  // the rotating sink hands the last resort its current file too
        const char* printed = "";
        Log::Level level = Log::Trace;
    };
    const Crash crashes[] = {
        {"", "Divide by zero error", "crashByDivisionByZero", crashByDivisionByZero},
        {"", "Access Violation", "crashByNullWrite", crashByNullWrite},
        {"", "Illegal instruction", "crashByIllegalInstruction", crashByIllegalInstruction},
#ifndef _WIN32
        // ThreadSanitizer can slow symbolising an overflowed stack past the watchdog, whose short report then
        // follows the first one.
        {"", "Stack overflow", "crashByRecursion", crashByRecursion, ORVANTIS_TSAN},
        {"on a thread of its own", "Stack overflow", "crashByRecursion",
         [] { crashOnAnotherThread(crashByRecursion, [] { std::this_thread::sleep_for(std::chrono::seconds(30)); }); },
         ORVANTIS_TSAN, Log::Asynchronous},
#endif
        {"a sink crashes while another thread flushes", "Access Violation", "crashByNullWrite",
         [] { troubleThen("crash", Log::flush); }},  // the flush holds dispatchMutex, waits for queueMutex
        // A loaded machine (or ThreadSanitizer) can slow the first report past the watchdog.
        {"two threads fault 5 ms apart", "Access Violation", "crashByNullWrite",
         [] { crashOnAnotherThread(crashByNullWrite, crashByNullWrite); }, true},
#ifndef _WIN32  // the last resort, which reports what the full report cannot, is POSIX-only
        {"a sink crashes while a Fatal record is flushed", "Access Violation", "crashByNullWrite",
         [] { with<FailingSink<false>>([] { Log::log(Log::Fatal, "", "the end"); }); }, true},
#endif
        {"a sink throws from the report and the flush", "Access Violation", "crashByNullWrite",
         [] { with<FailingSink<true>>(crashByNullWrite); }},
// ThreadSanitizer holds a signal back from a thread blocked on a mutex; the last resort that reports past a lock
// held for good is POSIX-only.
#if !ORVANTIS_TSAN && !defined(_WIN32)
        {"the report waits for a lock that is never released", "Access Violation", " 0# 0x",
         [] { troubleThen("hang", crashByNullWrite); }, false, Log::Synchronous, true},
#endif
        {"after deinit the report is printed", nullptr, "",
         [] {
             Log::deinit();
             crashByNullWrite();
         },
         false, Log::Synchronous, false,
         "\\[\\] \\*\\*\\*\\*\\* Encountered fatal exception: Access Violation, PID .+ \\*\\*\\*\\*\\*"},
        {"a level above Fatal silences the reporter", nullptr, "", crashByNullWrite, false, Log::Synchronous, false, "",
         static_cast<Log::Level>(6)},
    };
    for (const Crash& crash : crashes) {
        SCOPED_TRACE(std::string(crash.name ? crash.name : "no report") + " " + crash.what);
        std::remove(kLogPath);
        EXPECT_EXIT(
            {
                ::dup2(2, 1);  // let the death test see standard output
#ifndef _WIN32  // on Windows the test's time limit ends a hang
                ::alarm(20);  // a child that has not ended by then has hung: SIGALRM fails the test
                // Where nothing is to be printed, a pipe without reader: the report must not write to it, and the last
                // resort's write to it must not end the process.
                int ends[2];
                ASSERT_TRUE(*crash.printed || (std::fflush(stdout) == 0 && ::pipe(ends) == 0 && ::close(ends[0]) == 0 &&
                                               ::dup2(ends[1], 1) == 1));
#endif
                Log::init(crash.level, crash.mode);
                crash.rotating ? Log::addSink(std::make_unique<Log::RotatingFileSink>(kLogPath, 1 << 24, 2))
                               : Log::addSink(std::make_unique<Log::FileSink>(kLogPath));
                Log::log(Log::Info, "", "before the crash");
                crash.run();
            },
            (crash.name ? std::function<bool(int)>(::testing::ExitedWithCode(kFatalExitStatus))
                        : endedByTheOriginalCrash),
            crash.printed);
        expectReport(crash.name, crash.trace, crash.twice);
    }
}

#ifdef _WIN32
TEST(FatalReporter, StackOverflow) {
    GTEST_SKIP() << "Wine ends a process whose stack overflowed before any vectored exception handler runs";
}
#endif

}  // namespace
