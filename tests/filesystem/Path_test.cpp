#include "core/filesystem/Path.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <boost/filesystem/path.hpp>

#include <boost/system/error_code.hpp>

#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using Orvantis::Filesystem::Path;
using namespace OrvantisTest;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

#ifndef _WIN32
// The facet set at load makes path strings UTF-8 also under the "C" locale:
// a fresh copy of the test program is loaded in such an environment.
TEST(Path, NarrowStringsAreUtf8WhateverTheLocale) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EXIT(std::exit(boost::filesystem::path(L"\u00e4/\u20ac").string() == "\xc3\xa4/\xe2\x82\xac" ? 0 : 1),
                testing::ExitedWithCode(0), "");
    ::unsetenv("LC_ALL");
}
#endif

// Backslashes become slashes; nothing else of the text changes.
TEST(Path, JoinAndNormalise) {
    const char* const cases[][3] = {
        {"dir", "file.txt", "dir/file.txt"},
        {"C:", "x", "C:x"},
        {"dir/", "x", "dir/x"},
        {"", "x", "x"},
        {"a/", "/b", "a//b"},
        {"a", "C:/b", "a/C:/b"},
        {"a", "\\b", "a/b"},
        {"a\\", "b", "a/b"},
        {"C:\\d\\\\x", "", "C:/d//x"},
        {"A//b/./../C/", "", "A//b/./../C/"},
    };
    for (const auto& [left, right, joined] : cases) {
        EXPECT_EQ((Strings{Path(left, right).string(), (Path(left) / std::string(right)).string(),
                           (Path(left) / Path(right)).string()}),
                  Strings(3, joined))
            << left << " / " << right;
    }
    // A string is compared as given, a path as normalised.
    EXPECT_TRUE(Path("a\\b") != "a\\b" && Path("a\\b") == Path("a/b") && Path("a/B") != Path("a/b"));
}

TEST(Path, NamesAndExtensions) {
    const std::string dots = "x" + std::string(10000, '.') + "e";  // found in linear time
    const std::string cases[][6] = {
        // path, filename, baseName, extension, fullExtension, parent
        {"a/b.tar.gz", "b.tar.gz", "b", "gz", "tar.gz", "a"},
        {"dir/", "", "", "", "", "dir"},
        {".hidden", ".hidden", "", "hidden", "hidden", ""},
        {"b.", "b.", "b", "", "", ""},
        {"..", "..", "..", "", "", ""},
        {"d/..x.y", "..x.y", ".", "y", "x.y", "d"},
        {"/d/" + dots, dots, "x", "e", dots.substr(2), "/d"},
    };
    for (const auto& [path, filename, baseName, extension, fullExtension, parent] : cases) {
        const Path p(path);
        EXPECT_EQ((Strings{p.filename(), p.baseName(), p.extension(), p.fullExtension(), p.parentPath().string()}),
                  (Strings{filename, baseName, extension, fullExtension, parent}))
            << path.substr(0, 20);
    }
}

// A root name (a drive on Windows) and a root directory make a path absolute.
TEST(Path, AbsoluteAndRelative) {
    const std::string here = Path::workingDirectory();
#ifdef _WIN32
    const std::string r = "C:";
    EXPECT_EQ(Path("C:x").createAbsolute(), here + "/C:x");
    EXPECT_EQ(Path("/x").createAbsolute(), here + "/x");
    // Another drive, or another letter case of it, has nothing in common.
    EXPECT_EQ(Path("D:/a/b").createRelativeTo(Path("C:/a")) + Path("c:/x").createRelativeTo(Path("C:/a")),
              "D:/a/bc:/x");
#else
    const std::string r;
    EXPECT_EQ(Path("C:/x").createAbsolute(), here + "/C:/x");
#endif
    const std::pair<std::string, std::string> absolute[] = {
        {r + "\\x", r + "/x"},
        {"//server/share", "//server/share"},
        {"", here},
        {"x", here + "/x"},
    };
    for (const auto& [path, expected] : absolute) {
        EXPECT_EQ(Path(path).isRelative(), Path(path) != expected) << path;
        EXPECT_EQ(Path(path).createAbsolute(), expected) << path;
    }
    const std::string relative[][3] = {
        {r + "/a/b/c", r + "/a/d", "../b/c"}, {r + "/a/b", r + "/a/b/", "."},           {r + "/a", r + "/a/b", ".."},
        {r + "/a/x", r + "/a/b/..", "x"},     {r + "/a/x", r + "/a/../..", r + "/a/x"}, {r + "/a/b/", r + "/a", "b/."},
        {r + "/a/b", "rel/base", ""},         {"x/y", here + "/x/z", "../y"},
    };
    for (const auto& [path, base, expected] : relative) {
        EXPECT_EQ(Path(path).createRelativeTo(Path(base)), expected) << path << " from " << base;
    }
}

// Every query but exists() reports the system's text for a missing entry.
TEST(Path, QueriesOfTheFileSystem) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    fs::create_directories(dir.file("real/inner"));
    LogSession log;
#ifdef _WIN32  // no symbolic links through MinGW's std::filesystem
    const int noFile = ERROR_FILE_NOT_FOUND, notADirectory = ERROR_PATH_NOT_FOUND, belowReports = 3;
    const std::string link = dir.file("real");
#else  // exists() reports a file taken for a directory too
    const int noFile = ENOENT, notADirectory = ENOTDIR, belowReports = 4;
    const std::string link = dir.file("link");
    fs::create_directory_symlink(dir.file("real"), link);
    EXPECT_TRUE(Path(link).isSymlink() && Path(link).isDirectory());
#endif
    const auto report = [](int code) {
        return "4 Filesystem::Path: " + boost::system::system_category().message(code);
    };
    // path, exists isDirectory isFile isSymlink, reports
    const std::tuple<std::string, std::vector<bool>, Strings> cases[] = {
        {dir.file("file"), {true, false, true, false}, {}},
        {dir.path.string() + "\\real", {true, true, false, false}, {}},
        {dir.file("missing"), {false, false, false, false}, Strings(3, report(noFile))},
        {dir.file("file/below"), {false, false, false, false}, Strings(belowReports, report(notADirectory))},
    };
    for (const auto& [path, kinds, reports] : cases) {
        const Path p(path);
        EXPECT_EQ((std::vector<bool>{p.exists(), p.isDirectory(), p.isFile(), p.isSymlink()}), kinds) << path;
        EXPECT_EQ(takeReports(*log.recording), reports) << path;
    }
    EXPECT_EQ(Path(link + "\\.\\inner/..").createCanonical(), fs::canonical(dir.path).generic_string() + "/real");
    EXPECT_EQ(Path(dir.file("missing")).createCanonical(), Path::emptyPath);
    EXPECT_TRUE(takeReports(*log.recording).empty());
}

}  // namespace
