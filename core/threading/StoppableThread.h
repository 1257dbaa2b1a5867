// StoppableThread.h — a thread that other threads can ask to stop.
//
// The constructor starts one callable on a new thread. Stopping is
// cooperative: the callable polls StoppableThread::isStopRequested() or calls
// StoppableThread::throwIfStopRequested(); both are static and find the stop
// flag of the thread they run on through a thread-local pointer (on any other
// thread they report "no stop"). Whatever the callable throws is caught on the
// thread and logged, never rethrown to the owner:
//   StopException            Debug, category "",  "Thread interrupted."
//   anything else            Error, category "",  "Caught unhandled exception in thread."
// The destructor of a thread that was not joined asks it to stop and joins it
// (logging "Implicitly joining StoppableThread on destruction." at Debug,
// category "StoppableThread"), so it blocks until the callable returns.
//
// Example:
//   Threading::StoppableThread worker([] {
//       while (!Threading::StoppableThread::isStopRequested()) { pollSomething(); }
//   });
//   worker.requestStop();
//   worker.join();
#pragma once

#include "core/Export.h"

#include <atomic>
#include <exception>
#include <thread>
#include <type_traits>
#include <utility>

namespace Orvantis::Threading {

class ORVANTIS_API StoppableThread {
public:
    // Thrown by throwIfStopRequested; what() is "Thread interrupted.".
    struct ORVANTIS_API StopException : std::exception {
        const char* what() const noexcept override;
    };

    // Starts `function` (callable without arguments; it may be move-only) on a
    // new thread. isRunning() is true from here on until the function has
    // returned or thrown.
    // Throws: std::system_error if the thread cannot be started.
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, StoppableThread>>>
    explicit StoppableThread(F&& function)
        : stopFlag(false),
          runningFlag(true),
          thread(&StoppableThread::threadBody<std::decay_t<F>>, std::ref(stopFlag), std::ref(runningFlag),
                 std::forward<F>(function)) {}

    // Asks a thread that has not been joined to stop, then joins it.
    ~StoppableThread();

    StoppableThread(const StoppableThread&) = delete;
    StoppableThread& operator=(const StoppableThread&) = delete;
    StoppableThread(StoppableThread&&) = delete;
    StoppableThread& operator=(StoppableThread&&) = delete;

    // Effect: sets the stop flag; neither waits nor interrupts blocking calls.
    // Safety: any thread.
    void requestStop();
    // Waits for the thread to end.
    // Throws: std::system_error if already joined or called on the thread itself.
    void join();
    // True until the function has returned or thrown. Safety: any thread.
    bool isRunning() const;
    // The thread's id; the default id once joined.
    std::thread::id threadId() const;

    // On a StoppableThread: whether its stop was requested. Elsewhere: false.
    static bool isStopRequested();
    // Throws StopException when isStopRequested() is true.
    static void throwIfStopRequested();

private:
    // Points the calling thread's stop-flag pointer at `flag`.
    static void setSignalRef(std::atomic<bool>& flag);
    // Prepares the new thread (crash reports, stop-flag pointer) and marks it running.
    static void enterThread(std::atomic<bool>& stop, std::atomic<bool>& running);
    static void logInterrupted();
    static void logUnhandledException();

    template <class F>
    static void threadBody(std::atomic<bool>& stop, std::atomic<bool>& running, F function) {
        enterThread(stop, running);
        try {
            function();
        } catch (const StopException&) {
            logInterrupted();
        } catch (...) {
            logUnhandledException();
        }
        running.exchange(false);
    }

    std::atomic<bool> stopFlag;
    std::atomic<bool> runningFlag;
    std::thread thread;
};

}  // namespace Orvantis::Threading
