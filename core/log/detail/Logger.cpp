#include "core/log/detail/Logger.h"

#include "core/log/CrashReporting.h"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace Orvantis::Log::detail {

namespace {

// Which of the logger's mutexes the current thread holds. A fatal record can
// arrive on a thread that is already inside the logger: the crash reporter
// running on the logger thread, or a sink that crashes while a synchronous
// record is delivered. Such a thread must not lock again what it holds.
thread_local bool t_holdsQueue = false;
thread_local bool t_holdsDispatch = false;

// Locks `mutex` unless this thread already holds it, and tracks that in
// `held` for nested calls.
class ReentrantGuard {
public:
    ReentrantGuard(std::mutex& mutex, bool& held) : heldFlag(held), owns(!held) {
        if (owns) {
            mutex.lock();
            guarded = &mutex;
            heldFlag = true;
        }
    }
    ~ReentrantGuard() {
        if (owns) {
            heldFlag = false;
            guarded->unlock();
        }
    }
    ReentrantGuard(const ReentrantGuard&) = delete;
    ReentrantGuard& operator=(const ReentrantGuard&) = delete;

private:
    std::mutex* guarded = nullptr;
    bool& heldFlag;
    const bool owns;
};

// Takes dispatchMutex for a thread other than the logger thread: the waiter
// counts itself in, so that the logger thread hands the mutex over after its
// current record instead of keeping it while the queue is never empty.
class DispatchGuard {
public:
    DispatchGuard(std::mutex& mutex, std::atomic<int>& waiters) : guarded(mutex), owns(!t_holdsDispatch) {
        if (owns) {
            waiters.fetch_add(1);
            guarded.lock();
            waiters.fetch_sub(1);
            t_holdsDispatch = true;
        }
    }
    ~DispatchGuard() {
        if (owns) {
            t_holdsDispatch = false;
            guarded.unlock();
        }
    }
    DispatchGuard(const DispatchGuard&) = delete;
    DispatchGuard& operator=(const DispatchGuard&) = delete;

private:
    std::mutex& guarded;
    const bool owns;
};

// The sink whose log() runs on this thread, and the reports that sinks made
// meanwhile, each with the sink that made it. The reports live on the heap
// only while some are pending, so that no thread_local here has a destructor:
// MinGW's emulated thread-local storage frees a thread's variables before
// such destructors run.
using SinkReports = std::vector<std::pair<Sink::LogCapture, const Sink*>>;
thread_local const Sink* t_deliveringTo = nullptr;
thread_local SinkReports* t_sinkReports = nullptr;

// Clears t_deliveringTo however a sink's log() ends.
struct DeliveryScope {
    ~DeliveryScope() { t_deliveringTo = nullptr; }
};

uint64_t currentThreadId() {
#if defined(_WIN32)
    return GetCurrentThreadId();
#else
    thread_local const uint64_t id = static_cast<uint64_t>(::syscall(SYS_gettid));
    return id;
#endif
}

constexpr int kFatalExitStatus = -106;
constexpr int kSinkReportRounds = 4;
constexpr size_t kScratchKeep = 4096;
// How long the Fatal path waits for the logger thread before it exits anyway.
constexpr std::chrono::seconds kExitWaitLimit(1);

// Set by the first thread that handles a Fatal record.
std::atomic<bool> g_endingProcess{false};
thread_local bool t_endsProcess = false;

// Calls `action` on every sink; an exception of one sink is ignored and the
// next sink still gets its turn. For the Fatal path, where nothing may stop
// the process from ending.
template <class Action>
void forEachSinkIgnoringErrors(const std::vector<std::unique_ptr<Sink>>& sinks, Action action) {
    for (const auto& sink : sinks) {
        try {
            action(*sink);
        } catch (...) {
            // The process ends anyway; the other sinks must still be served.
        }
    }
}

}  // namespace

Logger::Logger(bool isAsynchronous) : asynchronous(isAsynchronous) {
    if (!asynchronous) {
        return;
    }
    std::mutex startedMutex;
    std::condition_variable startedSignal;
    bool started = false;
    loggerThread = std::thread([&] {
        prepareThreadForCrashReports();
        std::unique_lock<std::mutex> dispatchLock(dispatchMutex);
        {
            // Notified under the lock: the constructor, and with it these
            // locals, cannot go away before notify_one returns.
            std::lock_guard<std::mutex> lock(startedMutex);
            started = true;
            startedSignal.notify_one();
        }
        dispatchLock.release();  // the loop takes over the held dispatchMutex
        dispatchLoop();
    });
    std::unique_lock<std::mutex> lock(startedMutex);
    startedSignal.wait(lock, [&] { return started; });
}

Logger::~Logger() {
    if (loggerThread.joinable()) {
        if (stopped.load() && loggerThread.get_id() != std::this_thread::get_id()) {
            loggerThread.join();
        } else {
            loggerThread.detach();
        }
    }
    // The queue with whatever it still holds, then the sinks in order of
    // registration.
    queue.clear();
    for (auto& sink : sinks) {
        sink.reset();
    }
}

// Entered with dispatchMutex held; it is released only while waiting.
void Logger::dispatchLoop() {
    t_holdsDispatch = true;
    std::unique_lock<std::mutex> dispatchLock(dispatchMutex, std::adopt_lock);
    try {
        stopRequested.store(false);
        while (!stopRequested.load()) {
            if (dispatchWaiters.load(std::memory_order_relaxed) > 0) {
                yieldDispatch(dispatchLock);
            }
            std::unique_lock<std::mutex> queueLock(queueMutex);
            if (!queue.empty()) {
                LogCapture record = std::move(queue.front());
                queue.pop_front();
                queueLock.unlock();
                threadDelivering.store(true, std::memory_order_relaxed);
                deliver(record);
                threadDelivering.store(false, std::memory_order_release);
                continue;
            }
            // The queue was found empty under queueMutex and the wait
            // releases that same mutex atomically, so a record queued now
            // cannot be missed. dispatchMutex is free while we sleep so that
            // flush, addSink and removeSink can run.
            t_holdsDispatch = false;
            dispatchLock.unlock();
            threadWaiting = true;
            wakeUp.wait(queueLock, [this] { return !queue.empty() || stopRequested.load(); });
            threadWaiting = false;
            queueLock.unlock();
            dispatchLock.lock();  // never taken while holding queueMutex
            t_holdsDispatch = true;
        }
    } catch (const std::exception& e) {
        threadDelivering.store(false);
        std::cout << "Caught unhandled exception " << e.what() << " in async logger thread. Stopping logger.";
    }
    t_holdsDispatch = false;
    if (dispatchLock.owns_lock()) {
        dispatchLock.unlock();
    }
    stopped.store(true);
}

void Logger::yieldDispatch(std::unique_lock<std::mutex>& dispatchLock) {
    t_holdsDispatch = false;
    dispatchLock.unlock();
    // A waiter counts itself out once it holds the mutex; locking again
    // before that could beat it to the mutex once more.
    while (dispatchWaiters.load() > 0 && !stopRequested.load()) {
        std::this_thread::yield();
    }
    dispatchLock.lock();
    t_holdsDispatch = true;
}

void Logger::deliver(const LogCapture& capture) {
    {
        DeliveryScope scope;
        for (const auto& sink : sinks) {
            t_deliveringTo = sink.get();
            sink->log(capture);
        }
    }
    if (t_sinkReports != nullptr) {
        deliverSinkReports();
    }
}

void Logger::deliverSinkReports() {
    // A report may cause another one (a second sink failing on it); a few
    // rounds settle any real case without letting two sinks loop forever.
    for (int round = 0; round < kSinkReportRounds && t_sinkReports != nullptr; ++round) {
        const std::unique_ptr<SinkReports> reports(std::exchange(t_sinkReports, nullptr));
        DeliveryScope scope;
        for (const auto& [report, origin] : *reports) {
            for (const auto& sink : sinks) {
                if (sink.get() != origin) {
                    t_deliveringTo = sink.get();
                    sink->log(report);
                }
            }
        }
    }
    delete std::exchange(t_sinkReports, nullptr);
}

bool Logger::holdSinkReport(Level level, const std::string& category, const std::string& message) {
    if (t_deliveringTo == nullptr) {
        return false;
    }
    const auto now = std::chrono::time_point_cast<Sink::Duration>(Sink::Clock::now());
    if (t_sinkReports == nullptr) {
        t_sinkReports = new SinkReports;
    }
    t_sinkReports->emplace_back(LogCapture{now, level, category, message, currentThreadId()}, t_deliveringTo);
    return true;
}

void Logger::flushSinks() {
    for (const auto& sink : sinks) {
        sink->flush();
    }
}

void Logger::log(Level level, const std::string& category, const std::string& message) {
    if (level != Fatal && holdSinkReport(level, category, message)) {
        return;  // made by a sink while it writes: goes to the others afterwards
    }
    const auto now = std::chrono::time_point_cast<Sink::Duration>(Sink::Clock::now());
    if (asynchronous) {
        // The copies are made before the lock so that producers hold
        // queueMutex only for the append.
        LogCapture capture{now, level, category, message, currentThreadId()};
        ReentrantGuard queueGuard(queueMutex, t_holdsQueue);
        queue.push_back(std::move(capture));
        if (threadWaiting) {
            wakeUp.notify_one();
        }
    } else {
        ReentrantGuard queueGuard(queueMutex, t_holdsQueue);
        // One capture is reused under queueMutex: the copies then fill
        // storage that earlier records already allocated.
        scratch.time = now;
        scratch.level = level;
        scratch.category.assign(category);
        scratch.message.assign(message);
        scratch.thread = currentThreadId();
        if (level == Fatal) {
            forEachSinkIgnoringErrors(sinks, [this](Sink& sink) { sink.log(scratch); });
        } else {
            deliver(scratch);
        }
        if (scratch.message.capacity() > kScratchKeep) {
            std::string().swap(scratch.message);  // keep no huge buffer
        }
    }
    if (level == Fatal) {
        endProcess();
    }
}

void Logger::flush() {
    DispatchGuard dispatchGuard(dispatchMutex, dispatchWaiters);
    ReentrantGuard queueGuard(queueMutex, t_holdsQueue);
    while (!queue.empty()) {
        // Out of the queue first: a record whose delivery throws is lost
        // alone instead of blocking every later flush.
        LogCapture record = std::move(queue.front());
        queue.pop_front();
        deliver(record);
    }
    flushSinks();
}

void Logger::stop() {
    flush();
    std::lock_guard<std::mutex> serial(stopMutex);
    if (!asynchronous) {
        stopped.store(true);
        return;
    }
    if (loggerThread.get_id() == std::this_thread::get_id()) {
        // A fatal record raised on the logger thread itself: it cannot wait
        // for its own end. The destructor detaches it.
        return;
    }
    if (!loggerThread.joinable()) {
        return;  // an earlier stop has ended it
    }
    using namespace std::chrono_literals;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            stopRequested.store(true);
            wakeUp.notify_one();
        }
        // Wait up to 50 ms for the thread to see the request, then ask again.
        for (int i = 0; i < 50 && !stopped.load(); ++i) {
            std::this_thread::sleep_for(1ms);
        }
        if (stopped.load()) {
            loggerThread.join();
            return;
        }
    }
}

bool Logger::isEndingProcess() {
    return g_endingProcess.load();
}

void Logger::endProcess() {
    if (g_endingProcess.exchange(true)) {
        if (t_endsProcess) {
            return;  // a Fatal record logged during the exit itself
        }
        // Another thread ends the process and this one must not end it
        // early. It never runs again, so the logger mutexes it holds (it
        // may have crashed inside a sink) are released for the ending thread.
        if (t_holdsQueue) {
            t_holdsQueue = false;
            queueMutex.unlock();
        }
        if (t_holdsDispatch) {
            t_holdsDispatch = false;
            dispatchMutex.unlock();
        }
        for (;;) {
            std::this_thread::sleep_for(std::chrono::hours(1));
        }
    }
    t_endsProcess = true;
    flushForExit();
    stopForExit();
    std::exit(kFatalExitStatus);
}

// Delivers what is queued and flushes every sink, ignoring the sinks'
// exceptions. A thread that already holds queueMutex (a sink crashed during
// a synchronous delivery) must not wait for dispatchMutex: its holder may be
// waiting for queueMutex. In synchronous mode queueMutex alone keeps the
// sinks to this thread; in asynchronous mode the logger thread may be in the
// middle of a record, which it is let finish.
void Logger::flushForExit() {
    bool lockedDispatch = false;
    if (!t_holdsDispatch) {
        if (!t_holdsQueue) {
            dispatchWaiters.fetch_add(1);
            dispatchMutex.lock();
            dispatchWaiters.fetch_sub(1);
            lockedDispatch = true;
        } else {
            const auto deadline = std::chrono::steady_clock::now() + kExitWaitLimit;
            while (!(lockedDispatch = dispatchMutex.try_lock()) && threadDelivering.load(std::memory_order_acquire) &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        t_holdsDispatch = lockedDispatch;
    }
    {
        ReentrantGuard queueGuard(queueMutex, t_holdsQueue);
        while (!queue.empty()) {
            LogCapture record = std::move(queue.front());
            queue.pop_front();
            forEachSinkIgnoringErrors(sinks, [&record](Sink& sink) { sink.log(record); });
        }
        forEachSinkIgnoringErrors(sinks, [](Sink& sink) { sink.flush(); });
    }
    if (lockedDispatch) {
        t_holdsDispatch = false;
        dispatchMutex.unlock();
    }
}

// Ends the logger thread before the exit, as stop() does, but never waits
// for it without bound: it may be unable to end (crashed, or blocked on a
// mutex this thread holds), and the process ends anyway.
void Logger::stopForExit() {
    if (!asynchronous) {
        stopped.store(true);
        return;
    }
    if (loggerThread.get_id() == std::this_thread::get_id() || t_holdsQueue) {
        return;
    }
    std::unique_lock<std::mutex> serial(stopMutex, std::try_to_lock);
    if (!serial.owns_lock() || !loggerThread.joinable()) {
        return;  // another stop is under way or done
    }
    const auto deadline = std::chrono::steady_clock::now() + kExitWaitLimit;
    while (!stopped.load() && std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            stopRequested.store(true);
            wakeUp.notify_one();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (stopped.load()) {
        loggerThread.join();
    }
}

void Logger::addSink(std::unique_ptr<Sink> sink) {
    if (!sink) {
        return;  // nothing to deliver to
    }
    DispatchGuard dispatchGuard(dispatchMutex, dispatchWaiters);
    ReentrantGuard queueGuard(queueMutex, t_holdsQueue);
    sinks.push_back(std::move(sink));
}

void Logger::removeSink(Sink& sink) {
    std::unique_ptr<Sink> removed;  // destroyed after the locks are released
    {
        DispatchGuard dispatchGuard(dispatchMutex, dispatchWaiters);
        ReentrantGuard queueGuard(queueMutex, t_holdsQueue);
        for (auto it = sinks.begin(); it != sinks.end(); ++it) {
            if (it->get() == &sink) {
                removed = std::move(*it);
                sinks.erase(it);
                break;
            }
        }
    }
}

std::vector<Sink*> Logger::getSinks() {
    ReentrantGuard queueGuard(queueMutex, t_holdsQueue);
    std::vector<Sink*> result;
    result.reserve(sinks.size());
    for (const auto& sink : sinks) {
        result.push_back(sink.get());
    }
    return result;
}

void Logger::abandon() {
    if (loggerThread.joinable()) {
        loggerThread.detach();
    }
    ReentrantGuard dispatchGuard(dispatchMutex, t_holdsDispatch);
    ReentrantGuard queueGuard(queueMutex, t_holdsQueue);
    queue.clear();
    sinks.clear();
}

}  // namespace Orvantis::Log::detail
