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
// A fault inside the reporter itself (for example a sink that crashes again
// while it writes the report) is not reported a second time: the signal is
// blocked while its handler runs, so the kernel ends the process at once, and
// a different fatal signal finds the reporter busy and takes the previous
// disposition. Neither case can wait forever.
#include "core/log/detail/FatalReporter.h"

#include "core/log/CrashReporting.h"
#include "core/log/Log.h"

#include <boost/stacktrace.hpp>

#include <sstream>
#include <string>

#if defined(_WIN32)
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
#  include <process.h>
#else
#  include <atomic>
#  include <csignal>
#  include <cstdint>
#  include <pthread.h>
#  include <sys/mman.h>
#  include <ucontext.h>
#  include <unistd.h>
#endif

namespace Orvantis::Log::detail {

namespace {

// Builds the report and logs it. Returns when logging is not initialised.
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

constexpr FatalExceptionName fatalExceptionNames[] = {
    {0xC000001D, "Illegal instruction"},
    {0xC00000FD, "Stack overflow"},
    {0xC0000005, "Access Violation"},
    {0xC0000094, "Divide by zero error"},
};

LONG WINAPI fatalExceptionHandler(EXCEPTION_POINTERS* info) {
    for (const FatalExceptionName& row : fatalExceptionNames) {
        if (info->ExceptionRecord->ExceptionCode == row.code && g_globalLevel <= Fatal) {
            reportFatalException(row.name, _getpid());
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
std::atomic<bool> g_reporting{false};

// Read inside the signal handler: plain data in static TLS, so that reading
// it never allocates.
__attribute__((tls_model("initial-exec"))) thread_local uintptr_t t_stackLow = 0;

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
// delivered as soon as this handler returns.
void passToPreviousDisposition(int signal) {
    ::sigaction(signal, &g_previousActions[signal], nullptr);
    ::raise(signal);
}

void fatalSignalHandler(int signal, siginfo_t* info, void* context) {
    const char* name = fatalSignalName(signal, info, context);
    if (name != nullptr && g_globalLevel <= Fatal && !g_reporting.exchange(true)) {
        reportFatalException(name, static_cast<int>(::getpid()));
        g_reporting.store(false);
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
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
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
