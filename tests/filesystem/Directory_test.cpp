#include "core/filesystem/Directory.h"

#include "support/FilesystemTesting.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <climits>
#include <set>

namespace {

using Orvantis::Filesystem::Directory;
using Orvantis::Filesystem::Path;
using namespace OrvantisTest;
namespace bfs = boost::filesystem;

std::string directoryError(const std::string& message) {
    return "4 Filesystem::Directory: " + message;
}

std::vector<std::string> texts(const std::vector<Path>& paths) {
    std::vector<std::string> out;
    for (const Path& p : paths) {
        out.push_back(p.string());
    }
    return out;
}

std::set<std::string> sorted(const std::vector<Path>& paths) {
    const auto t = texts(paths);
    return std::set<std::string>(t.begin(), t.end());
}

TEST(Directory, NamesAreAbsoluteAndFixedAtConstruction) {
    TempDir dir;
    WorkingDirectory cwd(dir.path.string());
    const Directory relative("sub\\inner");
    EXPECT_EQ(relative.path(), Path::workingDirectory() + "/sub/inner");
    EXPECT_EQ(relative.name(), "inner");
    EXPECT_EQ(relative.parentDirectory(), Path::workingDirectory() + "/sub");
    EXPECT_EQ(Directory(Path("/data/")).name(), "");
    EXPECT_EQ(Directory(std::string("/data")).name(), "data");
}

TEST(Directory, CreatesMissingAncestorsAndReportsEveryRefusal) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    LogSession log;

    Directory deep(dir.file("a/b/c"));
    EXPECT_TRUE(deep.createRecursive());
    EXPECT_TRUE(bfs::is_directory(dir.file("a/b/c")));
    EXPECT_TRUE(reports(*log.recording).empty());

    struct Case {
        std::string path;
        bool recursive;
        std::string lastReport;
    };
    const Case refused[] = {
        {dir.file("a/b/c"), true, "Trying to create a directory that already exists."},
        {dir.file("a"), false, "Trying to create a directory that already exists."},
        {dir.file("missing/x"), false, "Error in directory creation: No such file or directory"},
        {dir.file("file/x"), false, "Error in directory creation: Not a directory"},
        {dir.file("file/x/y"), true, "Error in directory creation: Not a directory"},
        {dir.file(std::string(NAME_MAX + 1, 'n')), false, "Error in directory creation: File name too long"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.path.substr(dir.path.string().size()));
        clearReports(*log.recording);
        Directory d(c.path);
        EXPECT_FALSE(c.recursive ? d.createRecursive() : d.create());
        const auto seen = reports(*log.recording);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), directoryError(c.lastReport));
    }
    EXPECT_FALSE(bfs::exists(dir.file("missing")));
}

TEST(Directory, RemovesOnlyEmptyDirectoriesUnlessRecursiveAndNeverFollowsLinks) {
    TempDir dir;
    makeDirectories(dir.file("tree/sub"));
    makeDirectories(dir.file("outside"));
    writeFile(dir.file("tree/sub/f"), "x");
    writeFile(dir.file("outside/keep"), "keep");
    bfs::create_directory_symlink(dir.file("outside"), dir.file("tree/link"));
    LogSession log;

    Directory tree(dir.file("tree"));
    EXPECT_FALSE(tree.remove());
    EXPECT_EQ(reports(*log.recording), std::vector<std::string>{directoryError("Error in directory removal: Directory not empty")});
    EXPECT_TRUE(bfs::exists(dir.file("tree/sub/f")));

    clearReports(*log.recording);
    EXPECT_TRUE(tree.removeRecursive());
    EXPECT_FALSE(bfs::exists(dir.file("tree")));
    EXPECT_EQ(readFile(dir.file("outside/keep")), "keep");
    EXPECT_TRUE(tree.remove());
    EXPECT_TRUE(tree.removeRecursive());
    EXPECT_TRUE(reports(*log.recording).empty());
}

TEST(Directory, RenamesWithinTheParentOrToAbsoluteTargets) {
    TempDir dir;
    makeDirectories(dir.file("old"));
    makeDirectories(dir.file("taken"));
    LogSession log;

    Directory d(dir.file("old"));
    EXPECT_TRUE(d.rename("new"));
    EXPECT_EQ(d.path(), dir.file("new"));
    EXPECT_TRUE(bfs::is_directory(dir.file("new")));
    EXPECT_TRUE(d.rename(dir.file("moved")));
    EXPECT_EQ(d.path(), dir.file("moved"));
    EXPECT_TRUE(reports(*log.recording).empty());

    struct Case {
        std::string from, to, report;
    };
    const Case refused[] = {
        {dir.file("moved"), "taken", "Trying to rename a directory to a name that is already in use."},
        {dir.file("absent"), "fresh", "Trying to rename a directory that does not exist."},
        {dir.file("moved"), "no/such/parent", "Error in directory renaming: No such file or directory"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.to);
        clearReports(*log.recording);
        Directory r(c.from);
        EXPECT_FALSE(r.rename(c.to));
        EXPECT_EQ(r.path(), c.from);
        EXPECT_EQ(reports(*log.recording), std::vector<std::string>{directoryError(c.report)});
    }
    EXPECT_TRUE(bfs::is_directory(dir.file("moved")));
}

TEST(Directory, EmptinessAndExactNameLookup) {
    TempDir dir;
    makeDirectories(dir.file("d/sub"));
    writeFile(dir.file("d/A.TXT"), "");
    LogSession log;

    Directory d(dir.file("d"));
    EXPECT_FALSE(d.isEmpty());
    EXPECT_TRUE(Directory(dir.file("d/sub")).isEmpty());
    EXPECT_TRUE(d.contains("sub"));
    EXPECT_TRUE(d.contains("A.TXT"));
    EXPECT_FALSE(d.contains("a.txt"));
    EXPECT_FALSE(d.contains("sub/"));
    EXPECT_FALSE(Directory(dir.file("missing")).contains("sub"));
    EXPECT_FALSE(Directory(dir.file("d/A.TXT")).contains("x"));
    EXPECT_TRUE(reports(*log.recording).empty());

    EXPECT_FALSE(Directory(dir.file("missing")).isEmpty());
    EXPECT_EQ(reports(*log.recording), std::vector<std::string>{directoryError("No such file or directory")});
}

TEST(Directory, ScanListsTheDirectoryItselfThroughTheFilter) {
    TempDir dir;
    makeDirectories(dir.file("d/sub"));
    writeFile(dir.file("d/a.txt"), "");
    writeFile(dir.file("d/b.log"), "");
    writeFile(dir.file("d/sub/deep.txt"), "");
    bfs::create_symlink(dir.file("d/sub"), dir.file("d/link"));
    LogSession log;

    const Directory d(Path(dir.path.string() + "\\d"));
    const std::set<std::string> all{dir.file("d/sub"), dir.file("d/a.txt"), dir.file("d/b.log"), dir.file("d/link")};
    EXPECT_EQ(sorted(d.scan(nullptr)), all);
    EXPECT_EQ(texts(d.scan([](const Path& p) { return p.extension() == "txt"; })),
              std::vector<std::string>{dir.file("d/a.txt")});
    EXPECT_TRUE(Directory(dir.file("missing")).scan(nullptr).empty());
    EXPECT_TRUE(reports(*log.recording).empty());

    EXPECT_TRUE(Directory(dir.file("d/a.txt")).scan(nullptr).empty());
    EXPECT_EQ(reports(*log.recording),
              std::vector<std::string>{directoryError("Error during scan of '" + (dir.file("d/a.txt")) + "': Not a directory")});
}

TEST(Directory, ScanRecursiveWalksInPreOrderThroughRejectedDirectoriesAndNotThroughLinks) {
    TempDir dir;
    for (const char* d : {"t/x/y", "t/x/z", "t/w", "outside"}) {
        makeDirectories(dir.file(d));
    }
    for (const char* f : {"t/1.txt", "t/x/2.txt", "t/x/y/3.txt", "t/x/y/skip.log", "t/w/4.txt", "outside/no.txt"}) {
        writeFile(dir.file(f), "");
    }
    bfs::create_directory_symlink(dir.file("outside"), dir.file("t/x/link"));
    LogSession log;

    const Directory tree(dir.file("t"));
    const auto all = texts(tree.scanRecursive(nullptr));
    const std::set<std::string> expected{dir.file("t/1.txt"),     dir.file("t/x"),       dir.file("t/x/2.txt"),
                                         dir.file("t/x/y"),       dir.file("t/x/y/3.txt"), dir.file("t/x/y/skip.log"),
                                         dir.file("t/x/z"),       dir.file("t/x/link"),  dir.file("t/w"),
                                         dir.file("t/w/4.txt")};
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()), expected);
    ASSERT_EQ(all.size(), expected.size());
    // Pre-order: a directory's contents directly follow it, as one block.
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string prefix = all[i] + "/";
        size_t j = i + 1;
        while (j < all.size() && all[j].compare(0, prefix.size(), prefix) == 0) {
            ++j;
        }
        for (size_t k = j; k < all.size(); ++k) {
            EXPECT_NE(all[k].compare(0, prefix.size(), prefix), 0) << all[k] << " is apart from " << all[i];
        }
    }

    const auto txt = tree.scanRecursive([](const Path& p) { return p.extension() == "txt"; });
    EXPECT_EQ(sorted(txt), (std::set<std::string>{dir.file("t/1.txt"), dir.file("t/x/2.txt"), dir.file("t/x/y/3.txt"), dir.file("t/w/4.txt")}));
    EXPECT_TRUE(Directory(dir.file("missing")).scanRecursive(nullptr).empty());
    EXPECT_TRUE(reports(*log.recording).empty());

    EXPECT_TRUE(Directory(dir.file("t/1.txt")).scanRecursive(nullptr).empty());
    EXPECT_EQ(reports(*log.recording), std::vector<std::string>{directoryError(
                                           "Error during recursive scan of '" + (dir.file("t/1.txt")) + "': Not a directory")});
}

// A subdirectory that vanishes between being listed and being opened is
// reported; the walk keeps what it has and goes on with the victim's
// siblings and the levels above.
TEST(Directory, ScanRecursiveReportsAVanishedSubdirectoryAndGoesOn) {
    TempDir dir;
    for (const char* d : {"t/outer/victim/inner", "t/outer/sibling", "t/tail"}) {
        makeDirectories(dir.file(d));
    }
    for (const char* f : {"t/top.txt", "t/outer/victim/gone.txt", "t/outer/sibling/s.txt", "t/outer/o.txt", "t/tail/t.txt"}) {
        writeFile(dir.file(f), "");
    }
    LogSession log;

    const std::string victim = dir.file("t/outer/victim");
    const auto listed = Directory(dir.file("t")).scanRecursive([&](const Path& p) {
        if (p == victim) {
            bfs::remove_all(victim);
        }
        return true;
    });
    EXPECT_EQ(sorted(listed), (std::set<std::string>{dir.file("t/top.txt"), dir.file("t/outer"), victim, dir.file("t/outer/sibling"),
                                                     dir.file("t/outer/sibling/s.txt"), dir.file("t/outer/o.txt"),
                                                     dir.file("t/tail"), dir.file("t/tail/t.txt")}));
    EXPECT_EQ(reports(*log.recording), std::vector<std::string>{directoryError(
                                           "Error during recursive scan of '" + victim + "': No such file or directory")});
}

}  // namespace
