#include "ToolLog.h"

#include <OrvantisCore.h>

#include <iostream>
#include <memory>
#include <set>

namespace OrvantisTool {
namespace {

using namespace Orvantis;

// Prints each record on standard error after the command's name, and counts
// the errors among them.
class StderrSink : public Log::Sink {
public:
    StderrSink(std::string command, std::shared_ptr<int> errors)
        : m_prefix("orvantis " + std::move(command) + ": "), m_errors(std::move(errors)) {}

protected:
    void flush() override { std::cerr.flush(); }
    void logImpl(const LogCapture& capture) override {
        if (capture.level >= Log::Error) {
            ++*m_errors;
        }
        std::string line = m_prefix;
        if (!capture.category.empty()) {
            line.append("[").append(capture.category).append("] ");
        }
        line.append(capture.message).append("\n");
        // Retried operations repeat their reports; one copy says it all.
        if (m_printed.insert(line).second) {
            std::cout.flush();  // keep results and reports in order on a shared terminal
            std::cerr << line;
        }
    }

private:
    std::string m_prefix;
    std::shared_ptr<int> m_errors;
    std::set<std::string> m_printed;
};

}  // namespace

ToolLog::ToolLog(const std::string& command) : m_errors(std::make_shared<int>(0)) {
    Log::init(Log::Trace, Log::Synchronous);
    Log::addSink(std::make_unique<StderrSink>(command, m_errors));
}

ToolLog::~ToolLog() {
    Log::deinit();
}

int ToolLog::errors() const {
    return *m_errors;
}

}  // namespace OrvantisTool
