#include "core/log/Log.h"

#include "core/log/detail/FatalReporter.h"
#include "core/log/detail/Logger.h"

#include <iostream>

namespace Orvantis::Log {

std::atomic<Level> g_globalLevel{Trace};

namespace {

// Owns the one Logger. At process exit (library unload) a Logger that was
// never stopped is destroyed without stop(); if its thread still runs, the
// thread is detached and the Logger's synchronisation objects are left in
// place, since the sleeping thread still waits on them.
class LoggerHolder {
public:
    ~LoggerHolder() {
        if (!logger) {
            return;
        }
        if (detail::Logger::isEndingProcess()) {
            // exit(-106) after a Fatal record: other threads may still be
            // inside the logger or its sinks, so both live until the process
            // is gone. A deliberate leak, kept reachable for leak checkers.
            abandoned = logger.release();
            return;
        }
        if (logger->isAsynchronous() && !logger->isStopped()) {
            logger->abandon();
            abandoned = logger.release();  // stays reachable: not a leak
            return;
        }
        logger.reset();
    }
    std::unique_ptr<detail::Logger> logger;
    detail::Logger* abandoned = nullptr;
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
    if (g_holder.logger) {
        std::cout << "[Orvantis::Log::init] Warning: Logging already initialized, subsequent calls to init() "
                     "have no effect.\n";
        return;
    }
    detail::installFatalExceptionReporter();
    g_globalLevel.store(level);
    g_holder.logger = std::make_unique<detail::Logger>(mode == Asynchronous);
}

void deinit() {
    if (!g_holder.logger) {
        std::cout << "[Orvantis::Log::deinit] Warning: Logging not initialized\n";
        return;
    }
    g_holder.logger->stop();
    std::unique_ptr<detail::Logger> logger = std::move(g_holder.logger);
    logger.reset();
}

bool isInitialized() {
    return g_holder.logger != nullptr;
}

void setGlobalLevel(Level level) {
    g_globalLevel.store(level);
}

void log(Level level, const std::string& category, const std::string& message) {
    if (detail::Logger* logger = g_holder.logger.get()) {
        logger->log(level, category, message);
        return;
    }
    if (!g_warned.exchange(true)) {
        std::cout << "[Orvantis::Log::log] Warning: Logging not initialized, messages are printed to console only.\n";
    }
    writeFallback(category, message);
}

void addSink(std::unique_ptr<Sink> sink) {
    if (detail::Logger* logger = g_holder.logger.get()) {
        logger->addSink(std::move(sink));
    }
}

void removeSink(Sink& sink) {
    if (detail::Logger* logger = g_holder.logger.get()) {
        logger->removeSink(sink);
    }
}

std::vector<Sink*> getSinks() {
    if (detail::Logger* logger = g_holder.logger.get()) {
        return logger->getSinks();
    }
    return {};
}

void flush() {
    if (detail::Logger* logger = g_holder.logger.get()) {
        logger->flush();
    }
}

}  // namespace Orvantis::Log
