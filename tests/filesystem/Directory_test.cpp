#include "core/filesystem/Directory.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <boost/system/error_code.hpp>

#include <filesystem>
#include <set>
#ifdef _WIN32
#include <windows.h>
#endif

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
const auto text = [](int code) { return boost::system::system_category().message(code); };

// Files and directories share the renaming, checked here.
TEST(Directory, OperationsAndScansAnswerAndReport) {
    TempDir dir;
    fs::create_directories(dir.file("a"));
    LogSession log;
    Directory moving(dir.file("a/d"));
    const auto d = [&](const char* name) { return Directory(dir.file(name)); };
    const auto reports = [&] { return takeReports(*log.recording); };
    // Each row runs in turn: step, its result and reports, then the expected result and report ("" for none).
    const std::tuple<const char*, bool, Reports, bool, std::string> steps[] = {
        {"create, with parents", d("a/b/c").createRecursive() && moving.create(), reports(), true, ""},
        {"again", d("a").create(), reports(), false, "Trying to create a directory that already exists."},
        {"parent missing", d("no/x").create(), reports(), false, "Error in directory creation: " + text(kNoPath)},
        {"rename", moving.rename("e") && moving.rename(dir.file("f")), reports(), true, ""},
        {"rename onto a used name", moving.rename("a"), reports(), false,
         "Trying to rename a directory to a name that is already in use."},
        {"rename missing", d("no").rename("x"), reports(), false, "Trying to rename a directory that does not exist."},
        {"rename fails", moving.rename("no/x"), reports(), false, "Error in directory renaming: " + text(kNoPath)},
        {"empty", moving.isEmpty() && !d("a").isEmpty() && !d("no").isEmpty(), reports(), true, text(kNoFile)},
        {"contains", d("a").contains("b") && !d("a").contains("B") && !d("no").contains("b"), reports(), true, ""},
        {"remove full", d("a").remove(), reports(), false, "Error in directory removal: " + text(kNotEmpty)},
        {"remove all", d("a").removeRecursive() && d("a").remove() && d("a").removeRecursive(), reports(), true, ""},
    };
    for (const auto& [name, result, seen, expected, report] : steps) {
        EXPECT_EQ(result, expected) << name;
        EXPECT_EQ(seen, Reports(!report.empty(), "4 Filesystem::Directory: " + report)) << name;
    }
    EXPECT_EQ(Directory(Path(dir.file("a/"))).name() + Directory(dir.file("a/i")).name(), "i");
#ifndef _WIN32  // Wine takes minutes over the 20,000 levels
    std::string deep = dir.file("f");  // 20,000 levels below a file: refused at once, without deep recursion
    for (writeFile(deep, ""); deep.size() < 40000; deep += "/d") {}
    EXPECT_TRUE(!Directory(deep).createRecursive() && takeReports(*log.recording).size() <= 2);
#endif
    // A subdirectory that vanishes between being listed and being opened is
    // reported; the walk keeps what it has and goes on with the victim's siblings
    // and the levels above. Names outside the Basic Multilingual Plane come back
    // as UTF-8.
    const std::string smiley = "t/z/\xF0\x9F\x98\x80.txt", root = dir.path.generic_u8string();  // U+1F600
    for (const std::string f : {"t/1.txt", "t/b.log", "t/x/y/3.txt", "t/x/v/i/5.txt", smiley.c_str()}) {
        fs::create_directories(fs::u8path(root + "/" + f).parent_path());
        writeFile(fs::u8path(root + "/" + f), "");
    }
    const Directory tree(Path(root + "\\t"));
    const std::string victim = dir.file("t/x/v");
    const auto removeVictim = [&](const Path& p) { return p != victim || fs::remove_all(victim) > 0; };
    const std::tuple<const char*, std::vector<Path>, std::set<std::string>> cases[] = {
        {"scan", tree.scan([](const Path& p) { return p.extension() != "txt"; }), {"t/b.log", "t/x", "t/z"}},
        // The walk goes on through directories that the filter rejects.
        {"recursive, filtered",
         tree.scanRecursive([](const Path& p) { return p.extension() == "txt"; }),
         {"t/1.txt", "t/x/y/3.txt", "t/x/v/i/5.txt", smiley}},
        {"recursive",
         tree.scanRecursive(removeVictim),
         {"t/1.txt", "t/b.log", "t/x", "t/x/y", "t/x/y/3.txt", "t/x/v", "t/z", smiley}},
    };
    for (const auto& [name, listed, expected] : cases) {
        std::set<std::string> got;
        for (const Path& p : listed) {
            got.insert(p.string().substr(root.size() + 1));
        }
        EXPECT_EQ(got, expected) << name;
    }
    const std::string file = dir.file("t/1.txt"), prefix = "4 Filesystem::Directory: Error during ";
    EXPECT_TRUE(d("no").scan(nullptr).empty() && d("no").scanRecursive(nullptr).empty() &&
                Directory(file).scan(nullptr).empty() && Directory(file).scanRecursive(nullptr).empty());
    EXPECT_EQ(takeReports(*log.recording), (Reports{prefix + "recursive scan of '" + victim + "': " + text(kNoFile),
                                                    prefix + "scan of '" + file + "': Not a directory",
                                                    prefix + "recursive scan of '" + file + "': Not a directory"}));
}

}  // namespace
