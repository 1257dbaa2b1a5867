// The filesystem step of `orvantis demo`: path joins and name parts, a
// scratch tree created, scanned, renamed and removed through Directory and
// File, a report of the library, and a FileSink whose lines are printed.
#include "Command.h"

#include <OrvantisCore.h>

#include <cstdlib>
#include <iostream>
#include <string>

namespace OrvantisTool {
namespace {

using namespace Orvantis;
using Filesystem::Directory;
using Filesystem::File;
using Filesystem::Path;

void show(const std::string& expression, const std::string& value) {
    std::cout << "  " << expression << std::string(expression.size() < 44 ? 44 - expression.size() : 1, ' ')
              << "\"" << value << "\"\n";
}

void showPaths() {
    std::cout << "Paths keep their text, with every backslash turned into '/':\n";
    show("Path(\"C:\\\\data\\\\x.txt\")", Path("C:\\data\\x.txt").string());
    show("Path(\"dir\") / \"file.txt\"", (Path("dir") / "file.txt").string());
    show("Path(\"C:\") / \"x\"", (Path("C:") / "x").string());
    show("Path(\"a\") / \"/b\"", (Path("a") / "/b").string());
    show("Path(\"a/./b//c\")  (no other clean-up)", Path("a/./b//c").string());
    const Path archive("logs/archive.tar.gz");
    std::cout << "Name parts of \"" << archive << "\":\n";
    show("filename()", archive.filename());
    show("baseName()", archive.baseName());
    show("extension()", archive.extension());
    show("fullExtension()", archive.fullExtension());
    show("parentPath()", archive.parentPath().string());
    show("Path(\"/a/b/c\").createRelativeTo(\"/a/d\")", Path("/a/b/c").createRelativeTo(Path("/a/d")).string());
    show("Path(\"x/y\").createAbsolute()", Path("x/y").createAbsolute().string());
}

// The entries below `root`, each shown relative to it.
void showListing(const std::string& title, const Path& root, const std::vector<Path>& entries) {
    std::cout << title << "\n";
    for (const Path& entry : entries) {
        std::cout << "  " << entry.createRelativeTo(root) << (entry.isDirectory() ? "/" : "") << "\n";
    }
}

void showDirectories(const Directory& scratch) {
    const Path root = scratch.path();
    for (const char* name : {"notes/2024/january.txt", "notes/2024/february.txt", "notes/ideas.md", "build/app.log"}) {
        File(root / name).writeText({"demo content"});
    }
    std::cout << "\nA scratch tree under " << root << " (writeText creates the directories):\n";
    showListing("scan():", root, scratch.scan(nullptr));
    showListing("scanRecursive() of names ending in .txt (found below \"notes\", which the filter rejects):", root,
                scratch.scanRecursive([](const Path& p) { return p.extension() == "txt"; }));

    Directory build(root / "build");
    std::cout << "Directory(\"build\").rename(\"output\") = " << std::boolalpha << build.rename("output")
              << ", now " << build.path().createRelativeTo(root) << "\n";
    File notes(root / "notes/ideas.md");
    std::cout << "File(\"notes/ideas.md\"): name() \"" << notes.name() << "\", size() " << notes.size()
              << ", readText() {\"" << notes.readText().at(0) << "\"}\n";

    std::cout << "\nProblems are reported through the log; remove() of a non-empty directory:\n";
    Directory(root / "notes").remove();
}

void showFileSink(const Directory& scratch) {
    const std::string logFile = (scratch.path() / "logs/app.log").string();
    std::cout << "\nA FileSink on " << logFile << " (its directory is created):\n";
    auto owned = std::make_unique<Log::FileSink>(logFile);
    Log::Sink& sink = *owned;
    Log::addSink(std::move(owned));
    Log::log(Log::Info, "Demo::Files", "a record for the console and the file");
    Log::log(Log::Warning, "", "a Warning without a category");
    ORVANTIS_LOG(Log::Error, "Demo::Files", "formatted only because Error is enabled: " << 3 << " + " << 4 << " = " << 3 + 4);
    Log::removeSink(sink);  // closes the file

    std::cout << "The file holds one line per record: local time with milliseconds, level, [category], message:\n";
    for (const std::string& line : File(logFile).readText()) {
        std::cout << "  | " << line << "\n";
    }
}

void runFilesystemStep() {
    showPaths();
    std::string pattern = Path::tempDirectory() + "/orvantis-demo-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::cout << "(no scratch directory could be made; the rest of this step is skipped)\n";
        return;
    }
    Directory scratch(pattern);
    showDirectories(scratch);
    showFileSink(scratch);
    std::cout << "\nremoveRecursive() of the scratch tree = " << std::boolalpha << scratch.removeRecursive() << "\n";
}

const DemoStep::Registration registration{{30, "Filesystem: paths, directories, files and log files", &runFilesystemStep}};

}  // namespace
}  // namespace OrvantisTool
