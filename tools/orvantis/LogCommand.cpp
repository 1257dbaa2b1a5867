// `orvantis log FILE [--level LEVEL] [--category CATEGORY] MESSAGE...`:
// appends one record to FILE through the library's FileSink, in the
// library's log line format, so that scripts can write to the same logs as
// the programs. LEVEL is trace, debug, info (the default), warning, error or
// fatal; the words of MESSAGE are joined by blanks ("--" ends the options).
// A fatal record is only written: it does not end anything. Like every
// FileSink that appends, each run separates its record from the existing
// content by an empty line.
#include "Command.h"
#include "ToolLog.h"

#include <OrvantisCore.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace OrvantisTool {
namespace {

using namespace Orvantis;

Log::Level parseLevel(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    static const std::pair<const char*, Log::Level> names[] = {
        {"trace", Log::Trace}, {"debug", Log::Debug},   {"info", Log::Info}, {"warning", Log::Warning},
        {"warn", Log::Warning}, {"error", Log::Error}, {"fatal", Log::Fatal},
    };
    for (const auto& [text, level] : names) {
        if (name == text) {
            return level;
        }
    }
    throw UsageError("unknown level '" + name + "' (trace, debug, info, warning, error or fatal)");
}

int runLog(const Arguments& args) {
    std::string file;
    std::string message;
    bool hasMessage = false;
    Log::Sink::LogCapture record;
    record.level = Log::Info;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        if (options && args[i] == "--") {
            options = false;  // everything after it is the file or the message
        } else if (options && (args[i] == "--level" || args[i] == "--category")) {
            if (i + 1 == args.size()) {
                throw UsageError(args[i] + " needs a value");
            }
            if (args[i] == "--level") {
                record.level = parseLevel(args[++i]);
            } else {
                record.category = args[++i];
            }
        } else if (file.empty()) {
            file = args[i];
        } else {
            message += (hasMessage ? " " : "") + args[i];
            hasMessage = true;
        }
    }
    if (!hasMessage) {
        throw UsageError("needs a file and a message");
    }
    record.message = message;

    ToolLog log("log");
    Log::FileSink sink(file);  // throws when the file cannot be opened
    record.time = std::chrono::time_point_cast<Log::Sink::Duration>(Log::Sink::Clock::now());
    // Handed to the sink directly: through the front end a fatal record
    // would end this process.
    sink.log(record);
    return log.errors() == 0 ? 0 : 1;
}

const Command::Registration registration{{"log", "FILE [--level LEVEL] [--category CATEGORY] MESSAGE...",
                                          "append a record to a log file in the library's format", &runLog}};

}  // namespace
}  // namespace OrvantisTool
