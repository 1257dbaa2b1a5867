// ToolLog.h — logging for the orvantis commands that use the library's
// reporting classes.
//
// While a ToolLog lives, logging is initialised and every record the library
// produces is printed to standard error as
//   "orvantis COMMAND: [category] message"
// so that standard output carries only the command's own results.
#pragma once

#include <memory>
#include <string>

namespace OrvantisTool {

class ToolLog {
public:
    explicit ToolLog(const std::string& command);
    ~ToolLog();
    ToolLog(const ToolLog&) = delete;
    ToolLog& operator=(const ToolLog&) = delete;

    // How many records of level Error or above were printed so far.
    int errors() const;

private:
    std::shared_ptr<int> m_errors;
};

}  // namespace OrvantisTool
