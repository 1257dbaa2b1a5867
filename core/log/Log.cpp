#include "core/log/Log.h"

#include "core/log/detail/FatalReporter.h"
#include "core/log/detail/Logger.h"

#include <iostream>

namespace Orvantis::Log {

std::atomic<Level> g_globalLevel{Trace};

namespace {

// Owns the one Logger. The pointer is atomic: every log call reads it, also
// while a Fatal record's exit runs this destructor. At process exit (library
// unload) a Logger that was never stopped is destroyed without stop(); if its
// thread still runs, the thread is detached and the Logger's synchronisation
// objects are left in place, since the sleeping thread still waits on them.
class LoggerHolder {
public:
    ~LoggerHolder() {
        detail::Logger* current = logger.load();
        if (current == nullptr) {
            return;
        }
        if (detail::Logger::isEndingProcess()) {
            // exit(-106) after a Fatal record: other threads may still be
            // inside the logger or its sinks, so both live, and the pointer
            // stays as it is, until the process is gone. A deliberate leak,
            // reachable through the pointer for leak checkers.
            return;
        }
        if (current->isAsynchronous() && !current->isStopped()) {
            current->abandon();
            return;  // stays reachable through the pointer: not a leak
        }
        logger.store(nullptr);
        delete current;
    }
    detail::Logger* get() const { return logger.load(std::memory_order_acquire); }

    std::atomic<detail::Logger*> logger{nullptr};
};

LoggerHolder g_holder;
std::atomic<bool> g_warned{false};

void writeFallback(const std::string& category, const std::string& message) {
    std::string line;
    line.reserve(category.size() + message.size() + 4);
    line.append("[").append(category).append("] ").append(message).append("\n");
    // Flushed at once: the fallback is what a crash report falls back to,
    // and a buffered line dies with the process.
    std::cout << line << std::flush;
}

}  // namespace

void init(Level level, Mode mode) {
    if (g_holder.get() != nullptr) {
        std::cout << "[Orvantis::Log::init] Warning: Logging already initialized, subsequent calls to init() "
                     "have no effect.\n";
        return;
    }
    detail::installFatalExceptionReporter();
    g_globalLevel.store(level);
    g_holder.logger.store(new detail::Logger(mode == Asynchronous), std::memory_order_release);
}

void deinit() {
    detail::Logger* logger = g_holder.get();
    if (logger == nullptr) {
        std::cout << "[Orvantis::Log::deinit] Warning: Logging not initialized\n";
        return;
    }
    logger->stop();
    g_holder.logger.store(nullptr);
    delete logger;
}

bool isInitialized() {
    return g_holder.get() != nullptr;
}

void setGlobalLevel(Level level) {
    g_globalLevel.store(level);
}

void log(Level level, const std::string& category, const std::string& message) {
    if (detail::Logger* logger = g_holder.get()) {
        logger->log(level, category, message);
        return;
    }
    if (!g_warned.exchange(true)) {
        std::cout << "[Orvantis::Log::log] Warning: Logging not initialized, messages are printed to console only.\n";
    }
    writeFallback(category, message);
}

void addSink(std::unique_ptr<Sink> sink) {
    if (detail::Logger* logger = g_holder.get()) {
        logger->addSink(std::move(sink));
    }
}

void removeSink(Sink& sink) {
    if (detail::Logger* logger = g_holder.get()) {
        logger->removeSink(sink);
    }
}

std::vector<Sink*> getSinks() {
    if (detail::Logger* logger = g_holder.get()) {
        return logger->getSinks();
    }
    return {};
}

void flush() {
    if (detail::Logger* logger = g_holder.get()) {
        logger->flush();
    }
}

}  // namespace Orvantis::Log
