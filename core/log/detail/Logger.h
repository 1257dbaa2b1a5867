// Logger.h — the one logger behind the Log front end (not exported).
//
// Holds the sinks and hands each record to them, either on the calling
// thread (synchronous) or through a queue drained by one logger thread
// (asynchronous).
//
// Locking: dispatchMutex is always taken before queueMutex. Changes of
// `sinks` hold both; delivery holds queueMutex (synchronous) or
// dispatchMutex (on the logger thread). Producers take only queueMutex, so
// in asynchronous mode they never wait for a sink. A thread that wants
// dispatchMutex (flush, addSink, removeSink) gets it after the record under
// delivery, however busy the logger thread is.
//
// Fatal: the first thread to handle a Fatal record ends the process; any
// other thread that logs a Fatal record meanwhile waits for that end. The
// ending thread never waits for dispatchMutex while it holds queueMutex (a
// sink that crashed during a synchronous delivery), ignores exceptions of the
// sinks, and leaves the logger and its sinks alive for the process's exit,
// since other threads may still be inside them.
#pragma once

#include "core/log/Sink.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Orvantis::Log::detail {

class Logger {
public:
    using LogCapture = Sink::LogCapture;

    // In asynchronous mode, starts the logger thread and returns once it runs.
    explicit Logger(bool asynchronous);
    // Joins a stopped logger thread; detaches one that was never stopped.
    ~Logger();

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Delivers or queues one record; a Fatal record then flushes, stops and
    // ends the process with exit(-106).
    void log(Level level, const std::string& category, const std::string& message);
    // Delivers every queued record, then flushes every sink. Each record
    // leaves the queue before it is delivered: a sink's exception propagates
    // and loses that record only.
    void flush();
    // Flushes, then ends the logger thread (asynchronous) and marks stopped.
    // Safe for concurrent callers: a later one waits for the first.
    void stop();

    // True once a Fatal record has started to end the process: from then on
    // the logger must outlive the process's exit.
    static bool isEndingProcess();

    void addSink(std::unique_ptr<Sink> sink);
    void removeSink(Sink& sink);
    std::vector<Sink*> getSinks();

    bool isStopped() const { return stopped.load(); }
    bool isAsynchronous() const { return asynchronous; }

    // A sink's own report, made while it writes a record on this thread: it
    // is held back until the record is delivered, then goes to the other
    // sinks. Returns false when no delivery runs on this thread.
    static bool holdSinkReport(Level level, const std::string& category, const std::string& message);

    // For process exit without deinit while the logger thread still runs:
    // detaches the thread and destroys the sinks and queued records, leaving
    // only the synchronisation objects that the sleeping thread waits on.
    // The caller must not destroy the Logger afterwards.
    void abandon();

private:
    void dispatchLoop();
    // Hands dispatchMutex to a waiting thread, if any, and takes it back.
    void yieldDispatch(std::unique_lock<std::mutex>& dispatchLock);
    void lockDispatch();
    void deliver(const LogCapture& capture);
    // Delivers the reports that sinks made during a delivery to the others.
    void deliverSinkReports();
    void flushSinks();
    // The Fatal path: flush, stop and exit(-106), or wait for the thread
    // that already does so.
    void endProcess();
    void flushForExit();
    void stopForExit();

    std::vector<std::unique_ptr<Sink>> sinks;
    // The record under delivery in synchronous mode; guarded by queueMutex.
    LogCapture scratch;
    std::deque<LogCapture> queue;
    std::mutex queueMutex;
    std::thread loggerThread;
    std::condition_variable wakeUp;
    std::mutex dispatchMutex;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> stopped{false};
    const bool asynchronous;
    // True while the logger thread sleeps on wakeUp; guarded by queueMutex.
    // Producers notify only then, so a busy logger thread costs no wake-up.
    bool threadWaiting = false;
    // Threads waiting for dispatchMutex; the logger thread lets them in
    // between two records.
    std::atomic<int> dispatchWaiters{0};
    // True while the logger thread hands a record to the sinks.
    std::atomic<bool> threadDelivering{false};
    // Serialises stop().
    std::mutex stopMutex;
};

}  // namespace Orvantis::Log::detail
