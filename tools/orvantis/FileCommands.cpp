// FileCommands.cpp — `orvantis ls` and `orvantis log`, over the library's
// Directory and FileSink. The library's reports (level Error and above)
// become the command's own one-line complaints; nothing else of the log
// reaches the terminal.
#include "Tool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
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
                                      {"ext", 0, "EXT", "list only names ending in .EXT"}},
                                     1,
                                     1});
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

// "BYTES:FILES" of --rotate.
std::pair<unsigned long long, unsigned> parseRotation(const std::string& text) {
    const size_t colon = text.find(':');
    try {
        size_t used = 0;
        if (colon != std::string::npos && colon > 0 && colon + 1 < text.size()) {
            const unsigned long long bytes = std::stoull(text.substr(0, colon), &used);
            if (used == colon && bytes > 0) {
                const unsigned long files = std::stoul(text.substr(colon + 1), &used);
                if (used == text.size() - colon - 1 && files > 0 && files < 1000) {
                    return {bytes, static_cast<unsigned>(files)};
                }
            }
        }
    } catch (const std::exception&) {
        // reported below
    }
    throw UsageError("--rotate takes BYTES:FILES, e.g. 1048576:5");
}

int runLog(const std::vector<std::string>& args) {
    const Arguments a = parse(args, {"[FILE] MESSAGE...",
                                     "Writes one record the way a host application's sinks do: to the log file FILE\n"
                                     "through the library's FileSink (its line format, or JSON lines with --json;\n"
                                     "a RotatingFileSink with --rotate), or without FILE to the system log\n"
                                     "(--syslog) or the systemd journal (--journal). The words of MESSAGE are\n"
                                     "joined by blanks. A fatal record is only written: it ends nothing.",
                                     {{"level", 'l', "LEVEL", "trace, debug, info (default), warning, error, fatal"},
                                      {"category", 'c', "CATEGORY", "the record's category"},
                                      {"json", 0, nullptr, "one JSON object a line instead of the text line"},
                                      {"rotate", 0, "BYTES:FILES", "keep FILE under BYTES, with FILES files in all"},
                                      {"syslog", 0, "IDENT", "send the record to syslog under IDENT instead of a file"},
                                      {"journal", 0, "IDENT", "send the record to the systemd journal under IDENT"}},
                                     1,
                                     SIZE_MAX});
    const bool toSystem = a.has("syslog") || a.has("journal");
    if (a.has("syslog") && a.has("journal")) {
        throw UsageError("--syslog and --journal exclude each other");
    }
    if (toSystem && (a.has("json") || a.has("rotate"))) {
        throw UsageError("--json and --rotate apply to a log file, not to --syslog or --journal");
    }
    if (!toSystem && a.operands.size() < 2) {
        throw UsageError("FILE and MESSAGE are needed (or --syslog/--journal and MESSAGE)");
    }
    Log::Sink::LogCapture record;
    record.level = parseLevel(a.value("level", "info"));
    record.category = a.value("category");
    record.thread = static_cast<std::uint64_t>(::getpid());  // this tool has one thread
    const size_t first = toSystem ? 0 : 1;
    for (size_t i = first; i < a.operands.size(); ++i) {
        record.message += (i > first ? " " : "") + a.operands[i];
    }
    record.time = std::chrono::time_point_cast<Log::Sink::Duration>(Log::Sink::Clock::now());
    Reports reports;
    if (toSystem) {
        try {
            std::unique_ptr<Log::Sink> sink;
            if (a.has("syslog")) {
                sink = std::make_unique<Log::SyslogSink>(a.value("syslog"));
            } else {
                sink = std::make_unique<Log::JournalSink>(a.value("journal"));
            }
            sink->log(record);  // directly: through the front end a fatal record would end this process
        } catch (const std::runtime_error& e) {
            throw Failure(e.what());
        }
        return reports.complainAll() ? 1 : 0;
    }

    // "-": the record goes through a private scratch file to standard output.
    const bool toStandardOutput = a.operands[0] == "-";
    const std::string file = toStandardOutput ? freshLogFile("record") : a.operands[0];
    const std::uintmax_t sizeBefore = sizeOfLogFile(file);
    Flags<Log::FileSink::Options> options;
    if (a.has("json")) {
        options |= Log::FileSink::Json;
    }
    const auto [bytes, files] = a.has("rotate") ? parseRotation(a.value("rotate")) : std::make_pair(0ull, 0u);
    try {
        if (a.has("rotate")) {
            Log::RotatingFileSink(file, bytes, files, options).log(record);
        } else {
            Log::FileSink(file, options).log(record);
        }
    } catch (const std::runtime_error&) {
        throw Failure(file + ": cannot be opened for writing");
    }
    // A rotation may have started a new file: then the record is all it holds.
    const bool written =
        endsWith(file, a.has("rotate") ? 0 : sizeBefore, a.has("json") ? "}\n" : record.message + "\n");
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
