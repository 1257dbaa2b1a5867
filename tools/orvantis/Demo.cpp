// Demo.cpp — `orvantis demo`: a guided tour of the library. Logging is set up
// first, with a console sink and a file sink on a new file in the temporary
// directory that keeps every record of the tour; each subsystem's step runs;
// logging is shut down last and the log file's path is printed.
#include "Tool.h"

#include <unistd.h>

#include <chrono>
#include <future>
#include <iostream>
#include <thread>

namespace OrvantisTool {
namespace {

using namespace Orvantis;
using Filesystem::Path;
using Filesystem::Url;

Flags<Log::ConsoleSink::Options> g_console;
std::string g_logFile;

void heading(const std::string& title) {
    std::cout << "\n== " << title << " ==\n";
}

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

void logEveryLevel(const std::string& category) {
    Log::log(Log::Trace, category, "a Trace record");
    Log::log(Log::Debug, category, "a Debug record");
    Log::log(Log::Info, category, "an Info record");
    Log::log(Log::Warning, category, "a Warning record");
    Log::log(Log::Error, category, "an Error record");
}

// A console sink with one filter in place of the current one; the tour's log
// file stays.
void filteredConsole(bool whitelist, Log::Level level, const std::string& category) {
    for (Log::Sink* sink : Log::getSinks()) {
        if (dynamic_cast<Log::ConsoleSink*>(sink) != nullptr) {
            Log::removeSink(*sink);
        }
    }
    auto sink = std::make_unique<Log::ConsoleSink>(g_console);
    if (whitelist) {
        sink->addWhitelistFilter(level, category);
    } else if (!category.empty()) {
        sink->addBlacklistFilter(level, category);
    }
    Log::addSink(std::move(sink));
}

void showLogging() {
    heading("Logging: levels, categories, filters");
    std::cout << "One record of each level (Fatal would end the process with status 150):\n";
    logEveryLevel("Demo::Levels");
    std::cout << "\nWhitelist {Warning, \"Filesystem\"}: only Warning and above of matching categories.\n";
    filteredConsole(true, Log::Warning, "Filesystem");
    logEveryLevel("Filesystem::File");
    std::cout << "\nBlacklist {Info, \"Filesystem\"}: hides Trace to Info of matching categories.\n";
    filteredConsole(false, Log::Info, "Filesystem");
    logEveryLevel("Filesystem::Directory");
    filteredConsole(false, Log::Trace, "");
    std::cout << "\nORVANTIS_LOG formats nothing below the global level (now Warning):\n";
    Log::setGlobalLevel(Log::Warning);
    ORVANTIS_LOG(Log::Debug, "Demo", "never formatted");
    ORVANTIS_LOG(Log::Warning, "Demo", "2 + 2 = " << 2 + 2);
    Log::setGlobalLevel(Log::Trace);
}

void showContainer() {
    heading("Byte buffers and scrambled containers");
    std::string text;
    for (int i = 0; i < 20; ++i) {
        text += "OrvantisCore packs repetitive data well. ";
    }
    const ByteBufferView view(text);
    const ByteBuffer box = Cryptography::encrypt(view, "demo key");
    std::cout << "encrypt: " << view.size() << " bytes -> a container of " << box.size()
              << " bytes (zlib + XOR with \"demo key\")\n"
              << "decrypt with the same key restores them: " << std::boolalpha
              << (Cryptography::decrypt(box, "demo key") == view) << "\n"
              << "decrypt with another key fails and says so on standard output:\n  ";
    Cryptography::decrypt(box, "wrong key");
    std::string abc = "abc";
    std::cout << "hashDJB2(\"abc\") = " << Cryptography::hashDJB2(ByteBufferView(abc)) << "\n";
}

void showFilesystem() {
    heading("Filesystem: paths, directories and files");
    std::cout << "Path(\"C:\\\\data\\\\x.txt\") = " << quoted(Path("C:\\data\\x.txt").string())
              << ", Path(\"dir\") / \"f.txt\" = " << quoted((Path("dir") / "f.txt").string()) << "\n";
    std::cout << "Path(\"logs/archive.tar.gz\").fullExtension() = "
              << quoted(Path("logs/archive.tar.gz").fullExtension()) << "\n";
    std::string pattern = Path::tempDirectory() + "/orvantis-demo-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::cout << "(no scratch directory could be made; the rest of this step is skipped)\n";
        return;
    }
    Filesystem::Directory scratch(pattern);
    for (const char* name : {"notes/2024/january.txt", "notes/ideas.md", "build/app.log"}) {
        Filesystem::File(scratch.path() / name).writeText({"demo content"});
    }
    std::cout << "A scratch tree; scanRecursive() of names ending in .txt:\n";
    for (const Path& p : scratch.scanRecursive([](const Path& p) { return p.extension() == "txt"; })) {
        std::cout << "  " << p.createRelativeTo(scratch.path()) << "\n";
    }
    std::cout << "Problems are reported through the log; remove() of a non-empty directory:\n";
    Filesystem::Directory(scratch.path() / "notes").remove();
    std::cout << "removeRecursive() of the scratch tree = " << std::boolalpha << scratch.removeRecursive() << "\n";
}

void showUrls() {
    heading("URLs: components, query items, local files");
    Url url("res://user:pw@host:8080/a/b%20c?x=1&y=2;z#frag");
    std::cout << "Url(" << quoted(url.string()) << "): host " << quoted(url.host()) << ", port " << url.portNumber()
              << ", path " << quoted(url.path()) << ", " << url.subqueries().size() << " query items\n"
              << "string(OmitUserInfo | OmitQuery) = " << quoted(url.string(Url::OmitUserInfo | Url::OmitQuery))
              << "\nfromLocalFile(\"/data/scan 1.raw\") = " << quoted(Url::fromLocalFile("/data/scan 1.raw").string())
              << "\n";
}

void showSignals() {
    heading("Signals: receivers that come and go");
    SignalImpl<0, std::string> statusChanged;
    auto statusBar = std::make_unique<SignalReceiver>();
    SignalReceiver history;
    statusChanged.connect(statusBar.get(), [](std::string text) { std::cout << "  status bar: " << text << "\n"; });
    statusChanged.connect(&history, [](std::string text) { std::cout << "  history: " << text << "\n"; });
    statusChanged.emitSignal("loading");
    statusBar.reset();
    std::cout << "The status bar is destroyed: numConnections() = " << statusChanged.numConnections() << "\n";
    statusChanged.emitSignal("ready");
}

void showThreading() {
    heading("Threading: playback timer, thread pool, asynchronous logging");
    Threading::PlaybackTimer timer;
    timer.setRangeConstantFps(5, 25.0);
    const auto started = std::chrono::steady_clock::now();
    timer.setCallback([started](size_t frame) {
        const std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - started;
        std::cout << "  frame " << frame << " at " << static_cast<int>(ms.count()) << " ms\n" << std::flush;
    });
    std::cout << "PlaybackTimer: 5 frames at 25 fps, one every 40 ms:\n";
    timer.start(0);
    while (timer.isRunning()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::cout << "The range has ended; stop() releases the timer's thread and says what it did:\n";
    timer.stop();

    Threading::ThreadPool pool(2);
    auto sum = pool.enqueue([](int n) { return n * (n + 1) / 2; }, 1000);
    auto failing = pool.enqueue([]() -> int { throw std::runtime_error("this task failed"); });
    std::cout << "ThreadPool(2): 1 + ... + 1000 = " << sum.get();
    pool.join();  // the workers are done with both tasks before the exception is looked at
    try {
        failing.get();
    } catch (const std::exception& e) {
        std::cout << "; a task's exception comes back through its future: " << quoted(e.what()) << "\n";
    }

    std::cout << "Asynchronous mode: three threads log, the logger thread writes:\n";
    Log::deinit();
    Log::init(Log::Trace, Log::Asynchronous);
    Log::addSink(std::make_unique<Log::ConsoleSink>(g_console));
    Log::addSink(std::make_unique<Log::FileSink>(g_logFile));
    std::vector<std::thread> producers;
    for (int t = 1; t <= 3; ++t) {
        producers.emplace_back([t] { Log::log(Log::Info, "Demo::Thread" + std::to_string(t), "queued"); });
    }
    for (auto& p : producers) {
        p.join();
    }
    Log::flush();
}

}  // namespace

int runDemo(const std::vector<std::string>& args) {
    const Arguments a = parse(args, {"", "A guided tour of the library.", {colorOption}, 0, 0});
    g_console = consoleOptions(a);
    g_logFile = freshLogFile("demo");
    const std::string& logFile = g_logFile;
    std::cout << "OrvantisCore " << Utils::libraryVersion().toString() << " - a short tour\n";
    heading("Logging: init");
    std::cout << "Log::init(Trace, Synchronous), a ConsoleSink and a FileSink on " << logFile << "\n";
    Log::init(Log::Trace, Log::Synchronous);
    Log::addSink(std::make_unique<Log::ConsoleSink>(g_console));
    Log::addSink(std::make_unique<Log::FileSink>(logFile, Log::FileSink::Truncate));
    showLogging();
    showContainer();
    showFilesystem();
    showUrls();
    showSignals();
    showThreading();
    heading("Logging: deinit");
    Log::deinit();
    std::cout << "After deinit, records fall back to plain standard output:\n";
    Log::log(Log::Info, "Demo", "this line was printed by the fallback");
    std::cout << "\nThe tour's records are in " << logFile << "\n";
    return 0;
}

}  // namespace OrvantisTool
