// The fatal-exception reporter: when a thread hits an illegal instruction, a
// stack overflow, an access violation or an integer division by zero, it logs
// a Fatal record naming the fault and the process id, followed by a
// symbolised stack trace of the faulting thread. With logging initialised the
// Fatal record then flushes the sinks and ends the process with exit(-106).
//
// Windows: a vectored exception handler, registered first in the chain on
// every init; it never handles the exception itself.
//
// Elsewhere: sigaction handlers for SIGILL, SIGSEGV, SIGBUS and SIGFPE,
// installed once, running on an alternate signal stack so that a stack
// overflow can be reported. When the report does not end the process (logging
// not initialised, or the level set above Fatal), the previous disposition is
// restored and the signal raised again, so the process ends as it would have
// without us.
//
// Several threads may fault at once: each builds its own report, and the
// first to reach the Fatal handling ends the process while the others wait.
// Building a report allocates and takes locks, which the faulting code may
// have held (a crash inside malloc). So before it starts, the handler saves
// the raw frame addresses and arms a watchdog: a per-thread timer whose
// signal interrupts whatever the report waits for after two seconds, writes
// a last-resort report with async-signal-safe calls only and ends the
// process with _exit(-106). The same last resort answers a second fault on a
// thread that is already reporting, and an exception out of the report.
#include "core/log/detail/FatalReporter.h"

#include "core/log/CrashReporting.h"
#include "core/log/Log.h"
#include "core/log/detail/EmergencyReport.h"

#include <boost/stacktrace.hpp>

#include <sstream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#include <process.h>
#else
#include <atomic>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>
#endif

namespace Orvantis::Log::detail {

namespace {

// Builds the report and logs it. Returns when logging is not initialised.
// May throw (out of memory, or a sink's exception on the fallback path).
void reportFatalException(const char* name, int processId) {
    std::ostringstream text;
    text << "***** Encountered fatal exception: " << name << ", PID " << processId << " *****\n"
         << boost::stacktrace::to_string(boost::stacktrace::stacktrace());
    Log::log(Fatal, "", text.str());
}

#if defined(_WIN32)

struct FatalExceptionName {
    DWORD code;
    const char* name;
};

constexpr FatalExceptionName kFatalExceptionNames[] = {
    {0xC000001D, "Illegal instruction"},
    {0xC00000FD, "Stack overflow"},
    {0xC0000005, "Access Violation"},
    {0xC0000094, "Divide by zero error"},
};

LONG WINAPI fatalExceptionHandler(EXCEPTION_POINTERS* info) {
    for (const FatalExceptionName& row : kFatalExceptionNames) {
        if (info->ExceptionRecord->ExceptionCode == row.code && g_globalLevel <= Fatal) {
            try {
                reportFatalException(row.name, _getpid());
            } catch (...) {
                // Nothing may escape a handler; the crash goes on unreported.
            }
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

#else

constexpr int kFatalSignals[] = {SIGILL, SIGSEGV, SIGBUS, SIGFPE};
constexpr size_t kAlternateStackSize = 512 * 1024;
// Faults this close below the lowest stack address count as stack overflow,
// as do faults near the stack pointer (a push or call into the guard page).
constexpr uintptr_t kGuardReach = 256 * 1024;
constexpr uintptr_t kStackPointerReach = 64 * 1024;

struct sigaction g_previousActions[NSIG];
std::atomic<bool> g_installed{false};

// The watchdog: two seconds for a full report, then the last resort.
constexpr time_t kWatchdogSeconds = 2;
// A real-time signal for the watchdog timer; its handler is installed only
// while a report is being built.
int watchdogSignal() {
    return SIGRTMAX - 1;
}
struct sigaction g_previousWatchdogAction;
std::atomic<int> g_reportsInProgress{0};

// What the last-resort report needs, saved on the reporting thread's
// (alternate) stack before anything that could block.
struct ReportInProgress {
    const char* name = nullptr;
    int processId = 0;
    size_t frameCount = 0;
    void* frames[64] = {};
};

__attribute__((tls_model("initial-exec"))) thread_local uintptr_t t_stackLow = 0;
// The report this thread is building, if any.
__attribute__((tls_model("initial-exec"))) thread_local ReportInProgress* t_report = nullptr;

// The alternate signal stack of one thread; released when the thread ends.
struct AlternateStack {
    void* memory = nullptr;

    ~AlternateStack() {
        if (memory == nullptr) {
            return;
        }
        // exit() called by the reporter runs this very destructor while the
        // thread is still on the alternate stack: then leave it in place.
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_ONSTACK) != 0) {
            return;
        }
        stack_t disable{};
        disable.ss_flags = SS_DISABLE;
        ::sigaltstack(&disable, nullptr);
        ::munmap(memory, kAlternateStackSize);
    }
};

thread_local AlternateStack t_alternateStack;

void recordStackBounds() {
    pthread_attr_t attributes;
    if (::pthread_getattr_np(::pthread_self(), &attributes) != 0) {
        return;
    }
    void* low = nullptr;
    size_t size = 0;
    if (::pthread_attr_getstack(&attributes, &low, &size) == 0) {
        t_stackLow = reinterpret_cast<uintptr_t>(low);
    }
    ::pthread_attr_destroy(&attributes);
}

bool isStackOverflow(const siginfo_t* info, const void* context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (t_stackLow != 0 && address < t_stackLow + 4096 && address + kGuardReach >= t_stackLow) {
        return true;
    }
#if defined(__x86_64__)
    const auto* uc = static_cast<const ucontext_t*>(context);
    const auto sp = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
    return address + kStackPointerReach >= sp && address <= sp + kStackPointerReach;
#elif defined(__aarch64__)
    const auto* uc = static_cast<const ucontext_t*>(context);
    const auto sp = static_cast<uintptr_t>(uc->uc_mcontext.sp);
    return address + kStackPointerReach >= sp && address <= sp + kStackPointerReach;
#else
    (void)context;
    return false;
#endif
}

// The name written for a signal, or nullptr for one that is not reported.
const char* fatalSignalName(int signal, const siginfo_t* info, const void* context) {
    switch (signal) {
        case SIGILL: return "Illegal instruction";
        case SIGSEGV: return isStackOverflow(info, context) ? "Stack overflow" : "Access Violation";
        case SIGBUS: return "Access Violation";
        case SIGFPE: return info->si_code == FPE_INTDIV ? "Divide by zero error" : nullptr;
        default: return nullptr;
    }
}

// Puts back what handled the signal before us and raises it again; it is
// delivered, with that disposition, as soon as this handler returns.
void passToPreviousDisposition(int signal) {
    ::sigaction(signal, &g_previousActions[signal], nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_BLOCK, &only, nullptr);  // the handler's return restores the mask
    ::raise(signal);
}

// The last resort: the name, the process id and the raw frame addresses,
// with async-signal-safe calls only, then the Fatal exit status.
[[noreturn]] void endWithEmergencyReport(const ReportInProgress& report) {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);  // a closed standard output must not end us first
    writeEmergencyReport(report.name, report.processId, report.frames, report.frameCount);
    ::_exit(-106);
}

void watchdogHandler(int, siginfo_t*, void*) {
    if (const ReportInProgress* report = t_report) {
        endWithEmergencyReport(*report);
    }
}

// Starts this thread's watchdog timer; returns its id, or -1 when the
// system refuses one (the report then runs without a watchdog). Raw system
// calls: the C library's timer functions are not async-signal-safe.
int armWatchdog() {
    if (g_reportsInProgress.fetch_add(1) == 0) {
        struct sigaction action {};
        action.sa_sigaction = watchdogHandler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        ::sigaction(watchdogSignal(), &action, &g_previousWatchdogAction);
    }
    sigset_t watchdog;
    sigemptyset(&watchdog);
    sigaddset(&watchdog, watchdogSignal());
    ::pthread_sigmask(SIG_UNBLOCK, &watchdog, nullptr);

    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = watchdogSignal();
    event._sigev_un._tid = static_cast<pid_t>(::syscall(SYS_gettid));
    int timer = -1;
    if (::syscall(SYS_timer_create, CLOCK_MONOTONIC, &event, &timer) != 0) {
        return -1;
    }
    itimerspec expiry{};
    expiry.it_value.tv_sec = kWatchdogSeconds;
    ::syscall(SYS_timer_settime, timer, 0, &expiry, nullptr);
    return timer;
}

// For a report that returned (logging not initialised): the process goes on
// to its previous disposition, without our timer or handler.
void disarmWatchdog(int timer) {
    if (timer >= 0) {
        ::syscall(SYS_timer_delete, timer);
    }
    if (g_reportsInProgress.fetch_sub(1) == 1) {
        ::sigaction(watchdogSignal(), &g_previousWatchdogAction, nullptr);
    }
}

void fatalSignalHandler(int signal, siginfo_t* info, void* context) {
    if (const ReportInProgress* current = t_report) {
        // A fault while this thread builds its report: the full report is
        // lost, the short one is not.
        endWithEmergencyReport(*current);
    }
    const char* name = fatalSignalName(signal, info, context);
    if (name != nullptr && g_globalLevel <= Fatal) {
        ReportInProgress report;
        report.name = name;
        report.processId = static_cast<int>(::getpid());
        report.frameCount = boost::stacktrace::safe_dump_to(report.frames, sizeof report.frames);
        while (report.frameCount > 0 && report.frames[report.frameCount - 1] == nullptr) {
            --report.frameCount;  // the dump ends with a null frame
        }
        t_report = &report;
        const int timer = armWatchdog();
        try {
            reportFatalException(name, report.processId);
        } catch (...) {
            // Handled below: nothing may leave a signal handler.
        }
        if (Log::isInitialized()) {
            // Back although logging is on: the report failed, or this thread
            // was already ending the process (a sink crashed while the Fatal
            // record was flushed). The short report ends it.
            endWithEmergencyReport(report);
        }
        // Logging was not initialised: the report is printed, the crash
        // goes on.
        disarmWatchdog(timer);
        t_report = nullptr;
    }
    passToPreviousDisposition(signal);
}

#endif

}  // namespace

void installFatalExceptionReporter() {
#if defined(_WIN32)
    AddVectoredExceptionHandler(1, fatalExceptionHandler);
#else
    prepareThreadForCrashReports();
    if (g_installed.exchange(true)) {
        return;  // one set of handlers serves every later init
    }
    struct sigaction action {};
    action.sa_sigaction = fatalSignalHandler;
    // SA_NODEFER: a second fault during the report reaches the handler,
    // which ends the process with the short report, instead of the kernel
    // ending it as a plain crash.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (const int signal : kFatalSignals) {
        ::sigaction(signal, &action, &g_previousActions[signal]);
    }
#endif
}

}  // namespace Orvantis::Log::detail

namespace Orvantis::Log {

void prepareThreadForCrashReports() {
#if !defined(_WIN32)
    using detail::t_alternateStack;
    if (t_alternateStack.memory != nullptr) {
        return;
    }
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
        // The thread already has one (set up by the host or a sanitizer).
        detail::recordStackBounds();
        return;
    }
    void* memory = ::mmap(nullptr, detail::kAlternateStackSize, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) {
        return;
    }
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = detail::kAlternateStackSize;
    if (::sigaltstack(&stack, nullptr) != 0) {
        ::munmap(memory, detail::kAlternateStackSize);
        return;
    }
    t_alternateStack.memory = memory;
    detail::recordStackBounds();
#endif
}

}  // namespace Orvantis::Log
