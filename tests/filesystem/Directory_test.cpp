#include "core/filesystem/Directory.h"

#include "core/filesystem/File.h"
#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <set>

namespace {

using Orvantis::Filesystem::Directory;
using Orvantis::Filesystem::Path;
using namespace OrvantisTest;
namespace fs = std::filesystem;
using Reports = std::vector<std::string>;

std::string directoryError(const std::string& message) {
    return "4 Filesystem::Directory: " + message;
}

std::set<std::string> sorted(const std::vector<Path>& paths) {
    std::set<std::string> out;
    for (const Path& p : paths) {
        out.insert(p.string());
    }
    return out;
}

// Made absolute as File is; the name is the last element as it stands.
TEST(Directory, NameIsTheLastElement) {
    EXPECT_EQ(Directory(std::string("/data/inner")).name(), "inner");
    EXPECT_EQ(Directory(Path("/data/")).name(), "");
    EXPECT_EQ(Directory(std::string("/data/inner")).parentDirectory(), "/data");
}

TEST(Directory, CreatesMissingAncestorsAndReportsEveryRefusal) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    LogSession log;
    EXPECT_TRUE(Directory(dir.file("a/b/c")).createRecursive());
    EXPECT_TRUE(fs::is_directory(dir.file("a/b/c")));
    EXPECT_TRUE(Directory(dir.file("a/d")).create());
    EXPECT_TRUE(takeReports(*log.recording).empty());

    std::string deep = dir.file("file");  // 20,000 levels below a file
    for (int i = 0; i < 20000; ++i) {
        deep += "/d";
    }
    const struct {
        std::string path;
        bool recursive;
        Reports reports;
    } refused[] = {
        {dir.file("a/b/c"), true, {directoryError("Trying to create a directory that already exists.")}},
        {dir.file("a"), false, {directoryError("Trying to create a directory that already exists.")}},
        {dir.file("missing/x"), false, {directoryError("Error in directory creation: No such file or directory")}},
        {dir.file("file/x/y"), true, {directoryError("Error in directory creation: Not a directory")}},
        {dir.file(std::string(NAME_MAX + 1, 'n')) + "/x", true, {directoryError("Error in directory creation: File name too long")}},
        {deep, true, {directoryError("Error in directory creation: Not a directory")}},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.path.substr(dir.path.string().size(), 40));
        Directory d(c.path);
        EXPECT_FALSE(c.recursive ? d.createRecursive() : d.create());
        EXPECT_EQ(takeReports(*log.recording), c.reports);
    }
    EXPECT_FALSE(fs::exists(dir.file("missing")));
    // Writing a file reaches the same creation of its directories.
    EXPECT_FALSE(Orvantis::Filesystem::File(deep + "/f").writeText({"x"}));
    EXPECT_LT(takeReports(*log.recording).size(), 10u);
}

TEST(Directory, RemovesOnlyEmptyDirectoriesUnlessRecursiveAndNeverFollowsLinks) {
    TempDir dir;
    fs::create_directories(dir.file("tree/sub"));
    fs::create_directories(dir.file("outside"));
    writeFile(dir.file("tree/sub/f"), "x");
    writeFile(dir.file("outside/keep"), "keep");
    fs::create_directory_symlink(dir.file("outside"), dir.file("tree/link"));
    LogSession log;
    Directory tree(dir.file("tree"));
    EXPECT_FALSE(tree.remove());
    EXPECT_EQ(takeReports(*log.recording), Reports{directoryError("Error in directory removal: Directory not empty")});
    EXPECT_TRUE(fs::exists(dir.file("tree/sub/f")));
    EXPECT_TRUE(tree.removeRecursive());
    EXPECT_FALSE(fs::exists(dir.file("tree")));
    EXPECT_EQ(readFile(dir.file("outside/keep")), "keep");
    EXPECT_TRUE(tree.remove());
    EXPECT_TRUE(tree.removeRecursive());
    EXPECT_TRUE(takeReports(*log.recording).empty());
}

// The refusals are those of File::rename, which shares the implementation.
TEST(Directory, RenamesWithinTheParentOrToAbsoluteTargets) {
    TempDir dir;
    fs::create_directories(dir.file("old"));
    fs::create_directories(dir.file("taken"));
    LogSession log;
    Directory d(dir.file("old"));
    EXPECT_TRUE(d.rename("new"));
    EXPECT_EQ(d.path(), dir.file("new"));
    EXPECT_TRUE(fs::is_directory(dir.file("new")));
    EXPECT_TRUE(d.rename(dir.file("moved")));
    EXPECT_EQ(d.path(), dir.file("moved"));
    EXPECT_FALSE(d.rename("taken"));
    EXPECT_EQ(d.path(), dir.file("moved"));
    EXPECT_EQ(takeReports(*log.recording),
              Reports{directoryError("Trying to rename a directory to a name that is already in use.")});
}

TEST(Directory, EmptinessAndExactNameLookup) {
    TempDir dir;
    fs::create_directories(dir.file("d/sub"));
    writeFile(dir.file("d/A.TXT"), "");
    LogSession log;
    Directory d(dir.file("d"));
    EXPECT_FALSE(d.isEmpty());
    EXPECT_TRUE(Directory(dir.file("d/sub")).isEmpty());
    const std::pair<const char*, bool> names[] = {{"sub", true}, {"A.TXT", true}, {"a.txt", false}, {"sub/", false}};
    for (const auto& [name, found] : names) {
        EXPECT_EQ(d.contains(name), found) << name;
    }
    EXPECT_FALSE(Directory(dir.file("missing")).contains("sub"));
    EXPECT_FALSE(Directory(dir.file("d/A.TXT")).contains("x"));
    EXPECT_TRUE(takeReports(*log.recording).empty());
    EXPECT_FALSE(Directory(dir.file("missing")).isEmpty());
    EXPECT_EQ(takeReports(*log.recording), Reports{directoryError("No such file or directory")});
}

TEST(Directory, ScansListTheirLevelsThroughTheFilter) {
    TempDir dir;
    for (const char* d : {"t/x/y", "t/x/z", "t/w", "outside"}) {
        fs::create_directories(dir.file(d));
    }
    for (const char* f : {"t/1.txt", "t/b.log", "t/x/2.txt", "t/x/y/3.txt", "t/x/y/skip.log", "t/w/4.txt", "outside/no.txt"}) {
        writeFile(dir.file(f), "");
    }
    fs::create_directory_symlink(dir.file("outside"), dir.file("t/x/link"));
    LogSession log;
    const Directory tree(Path(dir.path.string() + "\\t"));
    const auto txt = [](const Path& p) { return p.extension() == "txt"; };
    const std::vector<std::string> all = {"t/1.txt", "t/b.log", "t/x", "t/x/2.txt", "t/x/y", "t/x/y/3.txt",
                                          "t/x/y/skip.log", "t/x/z", "t/x/link", "t/w", "t/w/4.txt"};
    const struct {
        const char* name;
        std::vector<Path> listed;
        std::vector<std::string> expected;
    } cases[] = {
        {"scan", tree.scan(nullptr), {"t/1.txt", "t/b.log", "t/x", "t/w"}},
        {"scan, filtered", tree.scan(txt), {"t/1.txt"}},
        {"recursive", tree.scanRecursive(nullptr), all},
        // The walk goes on through directories the filter rejects.
        {"recursive, filtered", tree.scanRecursive(txt), {"t/1.txt", "t/x/2.txt", "t/x/y/3.txt", "t/w/4.txt"}},
        {"missing", Directory(dir.file("missing")).scan(nullptr), {}},
        {"recursive, missing", Directory(dir.file("missing")).scanRecursive(nullptr), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::set<std::string> expected;
        for (const std::string& e : c.expected) {
            expected.insert(dir.file(e));
        }
        EXPECT_EQ(sorted(c.listed), expected);
    }
    // Pre-order: a directory's contents directly follow it, as one block.
    const auto walk = tree.scanRecursive(nullptr);
    for (size_t i = 0; i < walk.size(); ++i) {
        const std::string prefix = walk[i].string() + "/";
        size_t j = i + 1;
        while (j < walk.size() && walk[j].string().rfind(prefix, 0) == 0) {
            ++j;
        }
        for (size_t k = j; k < walk.size(); ++k) {
            EXPECT_NE(walk[k].string().rfind(prefix, 0), 0u) << walk[k].string() << " is apart from " << prefix;
        }
    }
    EXPECT_TRUE(takeReports(*log.recording).empty());

    EXPECT_TRUE(Directory(dir.file("t/1.txt")).scan(nullptr).empty());
    EXPECT_TRUE(Directory(dir.file("t/1.txt")).scanRecursive(nullptr).empty());
    EXPECT_EQ(takeReports(*log.recording),
              (Reports{directoryError("Error during scan of '" + dir.file("t/1.txt") + "': Not a directory"),
                       directoryError("Error during recursive scan of '" + dir.file("t/1.txt") + "': Not a directory")}));
}

// A subdirectory that vanishes between being listed and being opened is
// reported; the walk keeps what it has and goes on with the victim's
// siblings and the levels above.
TEST(Directory, ScanRecursiveReportsAVanishedSubdirectoryAndGoesOn) {
    TempDir dir;
    for (const char* d : {"t/outer/victim/inner", "t/outer/sibling", "t/tail"}) {
        fs::create_directories(dir.file(d));
    }
    for (const char* f : {"t/top.txt", "t/outer/victim/gone.txt", "t/outer/sibling/s.txt", "t/outer/o.txt", "t/tail/t.txt"}) {
        writeFile(dir.file(f), "");
    }
    LogSession log;
    const std::string victim = dir.file("t/outer/victim");
    const auto listed = Directory(dir.file("t")).scanRecursive([&](const Path& p) {
        if (p == victim) {
            fs::remove_all(victim);
        }
        return true;
    });
    EXPECT_EQ(sorted(listed), (std::set<std::string>{dir.file("t/top.txt"), dir.file("t/outer"), victim, dir.file("t/outer/sibling"),
                                                     dir.file("t/outer/sibling/s.txt"), dir.file("t/outer/o.txt"),
                                                     dir.file("t/tail"), dir.file("t/tail/t.txt")}));
    EXPECT_EQ(takeReports(*log.recording),
              Reports{directoryError("Error during recursive scan of '" + victim + "': No such file or directory")});
}

}  // namespace
