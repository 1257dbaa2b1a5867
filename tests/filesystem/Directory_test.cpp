#include "core/filesystem/Directory.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#ifdef _WIN32
#include <boost/system/error_code.hpp>
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

#ifdef _WIN32  // the system's own texts, as Boost gives them
const std::string kRoot = "C:";  // where an absolute path starts
const std::string kNoFile = boost::system::system_category().message(ERROR_FILE_NOT_FOUND);
const std::string kNoPath = boost::system::system_category().message(ERROR_PATH_NOT_FOUND);
const std::string kNotADirectory = kNoPath;
const std::string kNotEmpty = boost::system::system_category().message(ERROR_DIR_NOT_EMPTY);
#else
const std::string kRoot;
const std::string kNoFile = "No such file or directory";
const std::string kNoPath = kNoFile;
const std::string kNotADirectory = "Not a directory";
const std::string kNotEmpty = "Directory not empty";
#endif

TEST(Directory, NameIsTheLastElement) {
    EXPECT_EQ(Directory(kRoot + "/data/inner").name() + Directory(Path(kRoot + "/data/")).name(), "inner");
    EXPECT_EQ(Directory(kRoot + "/data/inner").parentDirectory(), kRoot + "/data");
}

// One script over a scratch tree: each step's result and its one report ("" for none).
TEST(Directory, OperationsAnswerAndReport) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    fs::create_directories(dir.file("a"));
    fs::create_directories(dir.file("outside"));
    writeFile(dir.file("outside/keep"), "x");
#ifndef _WIN32  // MinGW's std::filesystem makes no symbolic links
    fs::create_directory_symlink(dir.file("outside"), dir.file("a/link"));
#endif
    std::string deep = dir.file("file");  // 20,000 levels below a file
    for (int i = 0; i < 20000; ++i) {
        deep += "/d";
    }
    LogSession log;
    Directory moving(dir.file("a/d"));
    const auto d = [&](const char* name) { return Directory(dir.file(name)); };
    const std::string exists = "Trying to create a directory that already exists.",
                      failed = "Error in directory creation: ";
    const std::tuple<const char*, std::function<bool()>, bool, std::string> steps[] = {
        {"create with parents", [&] { return d("a/b/c").createRecursive(); }, true, ""},
        {"create", [&] { return moving.create(); }, true, ""},
        {"again, with parents", [&] { return d("a/b/c").createRecursive(); }, false, exists},
        {"again", [&] { return d("a").create(); }, false, exists},
        {"parent missing", [&] { return d("missing/x").create(); }, false, failed + kNoPath},
        {"below a file", [&] { return d("file/x/y").createRecursive(); }, false, failed + kNotADirectory},
        {"far below a file", [&] { return Directory(deep).createRecursive(); }, false, failed + kNotADirectory},
        {"rename in the parent", [&] { return moving.rename("e") && moving.path() == dir.file("a/e"); }, true, ""},
        {"rename to a path", [&] { return moving.rename(dir.file("f")) && moving.path() == dir.file("f"); }, true, ""},
        {"rename onto a used name", [&] { return moving.rename("a"); }, false,
         "Trying to rename a directory to a name that is already in use."},
        {"empty", [&] { return moving.isEmpty() && !d("a").isEmpty(); }, true, ""},
        {"missing is not empty", [&] { return d("missing").isEmpty(); }, false, kNoFile},
        {"contains", [&] { return d("a").contains("b") && !d("a").contains("B") && !d("a").contains("b/"); }, true, ""},
        {"missing contains nothing", [&] { return d("missing").contains("x") || d("file").contains("x"); }, false, ""},
        {"remove full", [&] { return d("a").remove(); }, false, "Error in directory removal: " + kNotEmpty},
        {"remove all", [&] { return d("a").removeRecursive() && !fs::exists(dir.file("a")); }, true, ""},
        {"remove nothing", [&] { return d("a").remove() && d("a").removeRecursive(); }, true, ""},
    };
    for (const auto& [name, step, result, report] : steps) {
        EXPECT_EQ(step(), result) << name;
        EXPECT_EQ(takeReports(*log.recording), Reports(!report.empty(), "4 Filesystem::Directory: " + report)) << name;
    }
    EXPECT_TRUE(fs::exists(dir.file("outside/keep")));  // links are removed, not followed
}

// Names outside the Basic Multilingual Plane come back from a scan as UTF-8.
TEST(Directory, ScansNamesOutsideTheBmpAsUtf8) {
    TempDir dir;
    const std::string name = "\xF0\x9F\x98\x80 \xE2\x82\xAC";  // U+1F600, U+20AC
    fs::create_directory(fs::u8path(dir.path.generic_u8string() + "/" + name));
    const std::vector<Path> listed = Directory(dir.path.generic_u8string()).scan(nullptr);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].filename(), name);
    EXPECT_TRUE(Directory(listed[0]).exists());
}

// A subdirectory that vanishes between being listed and being opened is
// reported; the walk keeps what it has and goes on, in pre-order, with the
// victim's siblings and the levels above.
TEST(Directory, ScansListTheirLevelsThroughTheFilter) {
    TempDir dir;
    for (const char* f : {"t/1.txt", "t/b.log", "t/x/y/3.txt", "t/x/v/i/5.txt", "t/z/4.txt", "outside/no.txt"}) {
        fs::create_directories(fs::path(dir.file(f)).parent_path());
        writeFile(dir.file(f), "");
    }
#ifndef _WIN32  // MinGW's std::filesystem makes no symbolic links
    fs::create_directory_symlink(dir.file("outside"), dir.file("t/x/link"));
#endif
    fs::create_directory(dir.file("t/z/empty"));
    LogSession log;
    const Directory tree(Path(dir.path.string() + "\\t")), missing(dir.file("missing")), file(dir.file("t/1.txt"));
    const auto txt = [](const Path& p) { return p.extension() == "txt"; };
    const std::string victim = dir.file("t/x/v");
    const auto removeVictim = [&](const Path& p) { return p != victim || fs::remove_all(victim) > 0; };
    const std::tuple<const char*, std::vector<Path>, std::set<std::string>> cases[] = {
        {"scan", tree.scan(nullptr), {"t/1.txt", "t/b.log", "t/x", "t/z"}},
        {"scan, filtered", tree.scan(txt), {"t/1.txt"}},
        {"missing", missing.scan(nullptr), {}},
        {"recursive, missing", missing.scanRecursive(nullptr), {}},
        // The walk goes on through directories that the filter rejects, not through links.
        {"recursive, filtered", tree.scanRecursive(txt), {"t/1.txt", "t/x/y/3.txt", "t/x/v/i/5.txt", "t/z/4.txt"}},
        {"recursive",
         tree.scanRecursive(removeVictim),
#ifdef _WIN32  // no link
         {"t/1.txt", "t/b.log", "t/x", "t/x/y", "t/x/y/3.txt", "t/x/v", "t/z", "t/z/4.txt", "t/z/empty"}},
#else
         {"t/1.txt", "t/b.log", "t/x", "t/x/y", "t/x/y/3.txt", "t/x/v", "t/x/link", "t/z", "t/z/4.txt", "t/z/empty"}},
#endif
    };
    for (const auto& [name, listed, expected] : cases) {
        std::set<std::string> got;
        for (const Path& p : listed) {
            got.insert(p.string().substr(dir.path.string().size() + 1));
        }
        EXPECT_EQ(got, expected) << name;
    }
    const std::vector<Path>& walk = std::get<1>(cases[5]);
    for (size_t i = 1; i < walk.size(); ++i) {  // pre-order: the directory of each entry encloses the entry before
        EXPECT_EQ((walk[i - 1].string() + "/").rfind(walk[i].parentPath().string() + "/", 0), 0u) << walk[i].string();
    }
    EXPECT_EQ(takeReports(*log.recording),
              Reports{"4 Filesystem::Directory: Error during recursive scan of '" + victim + "': " + kNoFile});
    EXPECT_TRUE(file.scan(nullptr).empty() && file.scanRecursive(nullptr).empty());
    EXPECT_EQ(takeReports(*log.recording),
              (Reports{"4 Filesystem::Directory: Error during scan of '" + dir.file("t/1.txt") + "': Not a directory",
                       "4 Filesystem::Directory: Error during recursive scan of '" + dir.file("t/1.txt") +
                           "': Not a directory"}));
}

}  // namespace
