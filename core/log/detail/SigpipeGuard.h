// SigpipeGuard.h — writes to a pipe whose reader has gone, without SIGPIPE
// (not exported).
//
// A write to such a pipe raises SIGPIPE, which ends the process unless it is
// ignored or handled. The sinks ignore their output errors, so they write
// with SIGPIPE blocked on the writing thread and discard one their write
// raised: the write then merely fails with EPIPE. The process's disposition
// of SIGPIPE stays as the host set it. On Windows there is no SIGPIPE and
// the guard does nothing.
//
// Safety: affects the calling thread only.
#pragma once

#if !defined(_WIN32)
#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>
#endif

namespace Orvantis::Log::detail {

#if !defined(_WIN32)

class SigpipeGuard {
public:
    SigpipeGuard() {
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeOnly, &previousMask);
    }
    ~SigpipeGuard() {
        // A SIGPIPE that was blocked before is the host's business.
        if (!sigismember(&previousMask, SIGPIPE)) {
            const int savedErrno = errno;
            sigset_t pending;
            if (::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
                const timespec immediately{0, 0};
                ::sigtimedwait(&pipeOnly, nullptr, &immediately);
            }
            errno = savedErrno;
        }
        ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t pipeOnly;
    sigset_t previousMask;
};

#else

class SigpipeGuard {
public:
    SigpipeGuard() = default;
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;
};

#endif

}  // namespace Orvantis::Log::detail
