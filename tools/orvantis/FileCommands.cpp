// FileCommands.cpp — `orvantis ls` and `orvantis log`, over the library's
// Directory and FileSink. The library's reports (level Error and above)
// become the command's own one-line complaints; nothing else of the log
// reaches the terminal.
#include "Tool.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <cstdio>

namespace OrvantisTool {
namespace {

using namespace Orvantis;

// While it lives, logging is initialised and the library's Error records
// are collected, each once, for the command to print as its complaints.
class Reports {
public:
    Reports() {
        Log::init(Log::Error, Log::Synchronous);
        Log::addSink(std::make_unique<Sink>(this));
    }
    ~Reports() { Log::deinit(); }
    Reports(const Reports&) = delete;
    Reports& operator=(const Reports&) = delete;

    // Prints the collected reports; true if there were any.
    bool complainAll() const {
        for (const std::string& message : messages) {
            complain(message);
        }
        return !messages.empty();
    }

private:
    struct Sink : Log::Sink {
        explicit Sink(Reports* owner) : owner(owner) {}
        void flush() override {}
        void logImpl(const LogCapture& capture) override {
            // Retried operations repeat their reports; one copy says it all.
            auto& seen = owner->messages;
            if (capture.level >= Log::Error && std::find(seen.begin(), seen.end(), capture.message) == seen.end()) {
                seen.push_back(capture.message);
            }
        }
        Reports* owner;
    };
    std::vector<std::string> messages;
};

Log::Level parseLevel(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    const char* const names[] = {"trace", "debug", "info", "warning", "error", "fatal"};
    for (int level = Log::Trace; level <= Log::Fatal; ++level) {
        if (name == names[level] || (name == "warn" && level == Log::Warning)) {
            return static_cast<Log::Level>(level);
        }
    }
    throw UsageError("unknown level '" + name + "' (trace, debug, info, warning, error or fatal)");
}

// The size of a regular file (0 when it does not exist); anything else is
// refused, as the record could not be checked there.
std::uintmax_t sizeOfLogFile(const std::string& name) {
    struct stat info;
    if (stat(name.c_str(), &info) != 0) {
        return 0;
    }
    if (!S_ISREG(info.st_mode)) {
        throw Failure(name + ": not a regular file");
    }
    return static_cast<std::uintmax_t>(info.st_size);
}

// Whether the file grew and now ends with `tail`: the sink drops records
// silently once a write fails, so the file itself is the witness.
bool endsWith(const std::string& name, std::uintmax_t sizeBefore, const std::string& tail) {
    std::ifstream in(name, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    if (size < static_cast<std::streamoff>(sizeBefore + tail.size())) {
        return false;
    }
    std::string last(tail.size(), '\0');
    in.seekg(size - static_cast<std::streamoff>(tail.size()));
    in.read(last.data(), static_cast<std::streamsize>(last.size()));
    return in && last == tail;
}

}  // namespace

int runList(const std::vector<std::string>& args) {
    const Arguments a = parse(args, {"DIR",
                                     "Lists the entries of DIR, one absolute path a line, sorted. --recursive\n"
                                     "lists the whole tree; --ext keeps only names whose last extension is EXT\n"
                                     "(\"txt\" or \".txt\"), and the walk still descends into other directories.",
                                     {{"recursive", 'r', nullptr, "list the whole tree below DIR"},
                                      {"ext", 0, "EXT", "list only names ending in .EXT"}}, 1, 1});
    const std::string name = a.operands[0];
    // An absolute path without "." or ".." elements, so that every entry is too.
    std::string root = std::filesystem::absolute(name).lexically_normal().string();
    if (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    std::string extension = a.value("ext");
    if (!extension.empty() && extension[0] == '.') {
        extension.erase(0, 1);
    }
    Reports reports;
    const Filesystem::Directory directory(root);
    if (!directory.exists()) {
        throw Failure(name + ": no such directory");
    }
    if (!Filesystem::Path(root).isDirectory()) {
        throw Failure(name + ": not a directory");
    }
    Filesystem::Directory::Filter filter;
    if (a.has("ext")) {
        filter = [&extension](const Filesystem::Path& p) { return p.extension() == extension; };
    }
    auto entries = a.has("recursive") ? directory.scanRecursive(filter) : directory.scan(filter);
    std::sort(entries.begin(), entries.end());
    for (const Filesystem::Path& entry : entries) {
        std::cout << entry.string() << "\n";
    }
    return reports.complainAll() ? 1 : 0;
}

int runLog(const std::vector<std::string>& args) {
    const Arguments a = parse(args, {"FILE MESSAGE...",
                                     "Appends one record to the log file FILE through the library's FileSink,\n"
                                     "in its line format. The words of MESSAGE are joined by blanks. A fatal\n"
                                     "record is only written: it ends nothing.",
                                     {{"level", 'l', "LEVEL", "trace, debug, info (default), warning, error, fatal"},
                                      {"category", 'c', "CATEGORY", "the record's category"}}, 2, SIZE_MAX});
    Log::Sink::LogCapture record;
    record.level = parseLevel(a.value("level", "info"));
    record.category = a.value("category");
    for (size_t i = 1; i < a.operands.size(); ++i) {
        record.message += (i > 1 ? " " : "") + a.operands[i];
    }
    // "-": the record goes through a private scratch file to standard output.
    const bool toStandardOutput = a.operands[0] == "-";
    const std::string file = toStandardOutput ? freshLogFile("record") : a.operands[0];
    const std::uintmax_t sizeBefore = sizeOfLogFile(file);
    Reports reports;
    try {
        Log::FileSink sink(file);
        record.time = std::chrono::time_point_cast<Log::Sink::Duration>(Log::Sink::Clock::now());
        // Handed to the sink directly: through the front end a fatal record
        // would end this process.
        sink.log(record);
    } catch (const std::runtime_error&) {
        throw Failure(file + ": cannot be opened for writing");
    }
    const bool written = endsWith(file, sizeBefore, record.message + "\n");
    if (toStandardOutput) {
        std::cout << std::ifstream(file).rdbuf();
        std::remove(file.c_str());
    }
    if (!written) {
        throw Failure(file + ": the record could not be written");
    }
    return reports.complainAll() ? 1 : 0;
}

}  // namespace OrvantisTool
