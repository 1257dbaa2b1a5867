#include "core/threading/StoppableThread.h"

#include "core/log/CrashReporting.h"
#include "core/log/Log.h"

namespace Orvantis::Threading {

namespace {

// The stop flag of the StoppableThread running on this thread; null on
// threads that no StoppableThread started.
thread_local std::atomic<bool>* t_stopFlag = nullptr;

}  // namespace

const char* StoppableThread::StopException::what() const noexcept {
    return "Thread interrupted.";
}

StoppableThread::~StoppableThread() {
    if (thread.joinable()) {
        ORVANTIS_LOG(Log::Debug, "StoppableThread", "Implicitly joining StoppableThread on destruction.");
        stopFlag.exchange(true);
        thread.join();
    }
}

void StoppableThread::requestStop() {
    stopFlag.exchange(true);
}

void StoppableThread::join() {
    thread.join();
}

bool StoppableThread::isRunning() const {
    return runningFlag.load();
}

std::thread::id StoppableThread::threadId() const {
    return thread.get_id();
}

bool StoppableThread::isStopRequested() {
    const std::atomic<bool>* flag = t_stopFlag;
    return flag != nullptr && flag->load();
}

void StoppableThread::throwIfStopRequested() {
    if (isStopRequested()) {
        throw StopException();
    }
}

void StoppableThread::setSignalRef(std::atomic<bool>& flag) {
    t_stopFlag = &flag;
}

void StoppableThread::enterThread(std::atomic<bool>& stop, std::atomic<bool>& running) {
    Log::prepareThreadForCrashReports();
    setSignalRef(stop);
    running.exchange(true);
}

void StoppableThread::logInterrupted() {
    ORVANTIS_LOG(Log::Debug, "", "Thread interrupted.");
}

void StoppableThread::logUnhandledException() {
    ORVANTIS_LOG(Log::Error, "", "Caught unhandled exception in thread.");
}

}  // namespace Orvantis::Threading
