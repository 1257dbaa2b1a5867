#include "core/filesystem/Directory.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <boost/system/error_code.hpp>

#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#endif
#include <functional>
#include <set>

namespace {

using Orvantis::Filesystem::Directory;
using Orvantis::Filesystem::Path;
using namespace OrvantisTest;
namespace fs = std::filesystem;
using Reports = std::vector<std::string>;

// The system's own texts, as Boost gives them.
#ifdef _WIN32
const int kNoFile = ERROR_FILE_NOT_FOUND, kNoPath = ERROR_PATH_NOT_FOUND, kNotEmpty = ERROR_DIR_NOT_EMPTY;
#else
const int kNoFile = ENOENT, kNoPath = ENOENT, kNotEmpty = ENOTEMPTY;
#endif
std::string text(int code) {
    return boost::system::system_category().message(code);
}

// One script over a scratch tree: each step's result and its one report ("" for none).
// Files and directories share the renaming, checked here.
TEST(Directory, OperationsAnswerAndReport) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    fs::create_directories(dir.file("a"));
    fs::create_directories(dir.file("outside"));
    writeFile(dir.file("outside/keep"), "x");
#ifndef _WIN32  // MinGW's std::filesystem makes no symbolic links
    fs::create_directory_symlink(dir.file("outside"), dir.file("a/link"));
#endif
    LogSession log;
    Directory moving(dir.file("a/d"));
    const auto d = [&](const char* name) { return Directory(dir.file(name)); };
    const std::string failed = "Error in directory creation: ";
    const std::tuple<const char*, std::function<bool()>, bool, std::string> steps[] = {
        {"create with parents", [&] { return d("a/b/c").createRecursive(); }, true, ""},
        {"create", [&] { return moving.create(); }, true, ""},
        {"again", [&] { return d("a").create(); }, false, "Trying to create a directory that already exists."},
        {"parent missing", [&] { return d("missing/x").create(); }, false, failed + text(kNoPath)},
        {"rename in the parent", [&] { return moving.rename("e") && moving.rename(dir.file("f")); }, true, ""},
        {"rename onto a used name", [&] { return moving.rename("a"); }, false,
         "Trying to rename a directory to a name that is already in use."},
        {"rename missing", [&] { return d("gone").rename("x"); }, false,
         "Trying to rename a directory that does not exist."},
        {"rename fails", [&] { return moving.rename("no/such"); }, false,
         "Error in directory renaming: " + text(kNoPath)},
        {"empty", [&] { return moving.isEmpty() && !d("a").isEmpty() && !d("missing").isEmpty(); }, true,
         text(kNoFile)},
        {"contains", [&] { return d("a").contains("b") && !d("a").contains("B") && !d("missing").contains("b"); }, true,
         ""},
        {"remove full", [&] { return d("a").remove(); }, false, "Error in directory removal: " + text(kNotEmpty)},
        {"remove all, then nothing",
         [&] { return d("a").removeRecursive() && d("a").remove() && d("a").removeRecursive(); }, true, ""},
    };
    for (const auto& [name, step, result, report] : steps) {
        EXPECT_EQ(step(), result) << name;
        EXPECT_EQ(takeReports(*log.recording), Reports(!report.empty(), "4 Filesystem::Directory: " + report)) << name;
    }
    EXPECT_TRUE(!fs::exists(dir.file("a")) && fs::exists(dir.file("outside/keep")));  // links are removed, not followed
    EXPECT_EQ(Directory(Path(dir.file("a/"))).name() + Directory(dir.file("a/i")).name(), "i");
    EXPECT_EQ(Directory(dir.file("a/i")).parentDirectory(), dir.file("a"));
}

// A subdirectory that vanishes between being listed and being opened is
// reported; the walk keeps what it has and goes on, in pre-order, with the
// victim's siblings and the levels above. Names outside the Basic
// Multilingual Plane come back as UTF-8.
TEST(Directory, ScansListTheirLevelsThroughTheFilter) {
    TempDir dir;
    const std::string smiley = "t/z/\xF0\x9F\x98\x80.txt";  // U+1F600
    for (const std::string f : {"t/1.txt", "t/b.log", "t/x/y/3.txt", "t/x/v/i/5.txt", smiley.c_str(), "no/no.txt"}) {
        fs::create_directories(fs::u8path(dir.path.generic_u8string() + "/" + f).parent_path());
        writeFile(fs::u8path(dir.path.generic_u8string() + "/" + f), "");
    }
#ifndef _WIN32  // MinGW's std::filesystem makes no symbolic links
    fs::create_directory_symlink(dir.file("no"), dir.file("t/x/link"));
#endif
    fs::create_directory(dir.file("t/z/empty"));
    LogSession log;
    const Directory tree(Path(dir.path.generic_u8string() + "\\t")), missing(dir.file("missing"));
    const auto txt = [](const Path& p) { return p.extension() == "txt"; };
    const std::string victim = dir.file("t/x/v");
    const auto removeVictim = [&](const Path& p) { return p != victim || fs::remove_all(victim) > 0; };
    const std::tuple<const char*, std::vector<Path>, std::set<std::string>> cases[] = {
        {"scan", tree.scan(nullptr), {"t/1.txt", "t/b.log", "t/x", "t/z"}},
        {"scan, filtered", tree.scan(txt), {"t/1.txt"}},
        // The walk goes on through directories that the filter rejects, not through links.
        {"recursive, filtered", tree.scanRecursive(txt), {"t/1.txt", "t/x/y/3.txt", "t/x/v/i/5.txt", smiley}},
        {"recursive",
         tree.scanRecursive(removeVictim),
#ifdef _WIN32  // no link
         {"t/1.txt", "t/b.log", "t/x", "t/x/y", "t/x/y/3.txt", "t/x/v", "t/z", smiley, "t/z/empty"}},
#else
         {"t/1.txt", "t/b.log", "t/x", "t/x/y", "t/x/y/3.txt", "t/x/v", "t/x/link", "t/z", smiley, "t/z/empty"}},
#endif
    };
    for (const auto& [name, listed, expected] : cases) {
        std::set<std::string> got;
        for (const Path& p : listed) {
            got.insert(p.string().substr(dir.path.generic_u8string().size() + 1));
        }
        EXPECT_EQ(got, expected) << name;
    }
    const std::string file = dir.file("t/1.txt");
    EXPECT_TRUE(missing.scan(nullptr).empty() && missing.scanRecursive(nullptr).empty() &&
                Directory(file).scan(nullptr).empty() && Directory(file).scanRecursive(nullptr).empty());
    EXPECT_EQ(takeReports(*log.recording),
              (Reports{"4 Filesystem::Directory: Error during recursive scan of '" + victim + "': " + text(kNoFile),
                       "4 Filesystem::Directory: Error during scan of '" + file + "': Not a directory",
                       "4 Filesystem::Directory: Error during recursive scan of '" + file + "': Not a directory"}));
}

}  // namespace
