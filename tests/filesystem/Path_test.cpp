#include "core/filesystem/Path.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <filesystem>

namespace {

using Orvantis::Filesystem::Path;
using namespace OrvantisTest;
namespace fs = std::filesystem;
using Reports = std::vector<std::string>;

TEST(Path, OnlyBackslashesAreNormalised) {
    EXPECT_EQ(Path("C:\\data\\\\x.txt").string(), "C:/data//x.txt");
    EXPECT_EQ(Path("A//b/./../C/").string(), "A//b/./../C/");
    EXPECT_TRUE(Path("a\\b") != "a\\b");  // strings are compared as given
    EXPECT_FALSE(Path("a\\b") == std::string("a\\b"));
    EXPECT_TRUE(Path("a\\b") == Path("a/b") && Path("a/B") != Path("a/b") && Path::emptyPath == "");
}

// The facet set at load makes path strings UTF-8 also under the "C" locale:
// a fresh copy of the test program is loaded in such an environment.
TEST(Path, NarrowStringsAreUtf8WhateverTheLocale) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string saved = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EXIT(std::exit(boost::filesystem::path(L"\u00e4/\u20ac").string() == "\xc3\xa4/\xe2\x82\xac" ? 0 : 1),
                testing::ExitedWithCode(0), "");
    saved.empty() ? ::unsetenv("LC_ALL") : ::setenv("LC_ALL", saved.c_str(), 1);
}

TEST(Path, Join) {
    const char* const cases[][3] = {
        {"dir", "file.txt", "dir/file.txt"}, {"C:", "x", "C:x"}, {"dir/", "x", "dir/x"}, {"", "x", "x"},
        {"a", "", "a"}, {"a", "/b", "a/b"}, {"a", "C:/b", "a/C:/b"}, {"a", "\\b", "a/b"}, {"a\\", "b", "a/b"},
        {"/", "x", "/x"}, {"a/", "/b", "a//b"},
    };
    for (const auto& [left, right, joined] : cases) {
        SCOPED_TRACE(std::string(left) + " / " + right);
        EXPECT_EQ(Path(left, right).string(), joined);
        EXPECT_EQ((Path(left) / std::string(right)).string(), joined);
        EXPECT_EQ((Path(left) / Path(right)).string(), joined);
    }
}

TEST(Path, NamesAndExtensions) {
    const std::string dots = "x" + std::string(10000, '.') + "e";  // found in linear time
    const std::string cases[][6] = {
        // path, filename, baseName, extension, fullExtension, parent
        {"a/b.tar.gz", "b.tar.gz", "b", "gz", "tar.gz", "a"}, {"dir/", "", "", "", "", "dir"},
        {".hidden", ".hidden", "", "hidden", "hidden", ""},   {"b.", "b.", "b", "", "", ""},
        {"..", "..", "..", "", "", ""},                       {"...", "...", "..", "", "", ""},
        {"d/..x.y", "..x.y", ".", "y", "x.y", "d"},           {"x.a.b.c", "x.a.b.c", "x", "c", "a.b.c", ""},
        {"a/b/c.txt", "c.txt", "c", "txt", "txt", "a/b"},     {"C:", "C:", "C:", "", "", ""},
        {"d\\e.x", "e.x", "e", "x", "x", "d"},                {"/", "", "", "", "", ""},
        {"/d/" + dots, dots, "x", "e", dots.substr(2), "/d"},
    };
    for (const auto& [path, filename, baseName, extension, fullExtension, parent] : cases) {
        const Path p(path);
        EXPECT_EQ((Reports{p.filename(), p.baseName(), p.extension(), p.fullExtension(), p.parentPath().string()}),
                  (Reports{filename, baseName, extension, fullExtension, parent}))
            << path.substr(0, 20);
    }
}

TEST(Path, AbsoluteAndRelative) {
    const std::string here = Path::workingDirectory();
    const std::pair<const char*, std::string> absolute[] = {
        {"/x", "/x"}, {"\\x", "/x"}, {"//server/share", "//server/share"}, {"C:/x", here + "/C:/x"},
        {"x\\y", here + "/x/y"}, {"", here},
    };
    for (const auto& [path, expected] : absolute) {
        EXPECT_EQ(Path(path).isAbsolute(), expected == Path(path).string()) << path;
        EXPECT_EQ(Path(path).isRelative(), expected != Path(path).string()) << path;
        EXPECT_EQ(Path(path).createAbsolute(), expected) << path;
    }
    const std::string relative[][3] = {
        {"/a/b/c", "/a/d", "../b/c"}, {"/a/b", "/a/b", "."}, {"/a", "/a/b", ".."}, {"/a/b", "/a/b/", "."},
        {"/a/x", "/a/b/..", "x"}, {"/a/x", "/a/../..", "/a/x"}, {"/a/b/", "/a", "b/."}, {"/a/b", "rel/base", ""},
        {"x/y", here, "x/y"}, {"x/y", here + "/x/z", "../y"},
    };
    for (const auto& [path, base, expected] : relative) {
        EXPECT_EQ(Path(path).createRelativeTo(Path(base)), expected) << path << " from " << base;
    }
}

TEST(Path, QueriesReportAllButAMissingEntryInExists) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    fs::create_directory(dir.file("sub"));
    fs::create_directory_symlink(dir.file("sub"), dir.file("link"));
    LogSession log;
    const struct {
        std::string path;
        bool exists, isDirectory, isFile, isSymlink;
        std::string error;  // reported by every query but exists(); "": none
        bool existsReports;
    } cases[] = {
        {dir.file("file"), true, false, true, false, "", false},
        {dir.file("link"), true, true, false, true, "", false},
        {dir.path.string() + "\\sub", true, true, false, false, "", false},
        {dir.file("missing"), false, false, false, false, "No such file or directory", false},
        {dir.file("file/below"), false, false, false, false, "Not a directory", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const Path p(c.path);
        EXPECT_EQ((std::vector<bool>{p.exists(), p.isDirectory(), p.isFile(), p.isSymlink()}),
                  (std::vector<bool>{c.exists, c.isDirectory, c.isFile, c.isSymlink}));
        const size_t reports = c.error.empty() ? 0 : 3 + c.existsReports;
        EXPECT_EQ(takeReports(*log.recording), Reports(reports, "4 Filesystem::Path: " + c.error));
    }
}

TEST(Path, CanonicalResolvesExistingPathsOnly) {
    TempDir dir;
    fs::create_directories(dir.file("real/inner"));
    fs::create_directory_symlink(dir.file("real"), dir.file("link"));
    const std::string real = fs::canonical(dir.path).string() + "/real";
    LogSession log;
    EXPECT_EQ(Path(dir.file("link\\.\\inner/..")).createCanonical(), real);
    EXPECT_EQ(Path(dir.file("missing/..")).createCanonical(), Path::emptyPath);
    EXPECT_TRUE(takeReports(*log.recording).empty());
}

// A working directory that has been removed cannot be read.
TEST(Path, ALostWorkingDirectoryRaises) {
    TempDir dir;
    const fs::path previous = fs::current_path();
    fs::create_directory(dir.file("gone"));
    fs::current_path(dir.file("gone"));
    fs::remove(dir.file("gone"));
    EXPECT_THROW(Path("x").createAbsolute(), boost::filesystem::filesystem_error);
    EXPECT_THROW(Path("x").exists(), boost::filesystem::filesystem_error);
    EXPECT_EQ(Path("/x").createAbsolute(), "/x");
    fs::current_path(previous);
}

}  // namespace
