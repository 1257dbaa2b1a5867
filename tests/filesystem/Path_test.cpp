#include "core/filesystem/Path.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <boost/filesystem/path.hpp>

#include <filesystem>
#ifdef _WIN32
#include <boost/system/error_code.hpp>
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
        {"...", "...", "..", "", "", ""},
        {"d/..x.y", "..x.y", ".", "y", "x.y", "d"},
        {"d\\e.x", "e.x", "e", "x", "x", "d"},
        {"/", "", "", "", "", ""},
        {"/d/" + dots, dots, "x", "e", dots.substr(2), "/d"},
    };
    for (const auto& [path, filename, baseName, extension, fullExtension, parent] : cases) {
        const Path p(path);
        EXPECT_EQ((Strings{p.filename(), p.baseName(), p.extension(), p.fullExtension(), p.parentPath().string()}),
                  (Strings{filename, baseName, extension, fullExtension, parent}))
            << path.substr(0, 20);
    }
}

TEST(Path, AbsoluteAndRelative) {
    const std::string here = Path::workingDirectory();
#ifdef _WIN32  // a drive (or a server) and a root directory make a path absolute
    const std::pair<const char*, std::string> absolute[] = {
        {"C:\\x", "C:/x"}, {"//server/share", "//server/share"}, {"/x", here + "/x"}, {"C:x", here + "/C:x"},
        {"", here},
    };
    const std::string relative[][3] = {
        // another drive, or another letter case of it, has nothing in common
        {"C:/a/b/c", "C:/a/d", "../b/c"}, {"C:/a/b", "C:/a/b", "."},    {"C:/a", "C:/a/b", ".."},
        {"D:/a/b", "C:/a", "D:/a/b"},     {"c:/a/x", "C:/a", "c:/a/x"}, {"C:/a/b", "rel/base", ""},
        {"x/y", here + "/x/z", "../y"},
    };
#else
    const std::pair<const char*, std::string> absolute[] = {
        {"\\x", "/x"},
        {"//server/share", "//server/share"},
        {"C:/x", here + "/C:/x"},
        {"", here},
    };
    const std::string relative[][3] = {
        {"/a/b/c", "/a/d", "../b/c"}, {"/a/b", "/a/b/", "."}, {"/a", "/a/b", ".."},     {"/a/x", "/a/b/..", "x"},
        {"/a/x", "/a/../..", "/a/x"}, {"/a/b/", "/a", "b/."}, {"/a/b", "rel/base", ""}, {"x/y", here + "/x/z", "../y"},
    };
#endif
    for (const auto& [path, expected] : absolute) {
        EXPECT_EQ(Path(path).isRelative(), Path(path) != expected) << path;
        EXPECT_EQ(Path(path).createAbsolute(), expected) << path;
    }
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
#ifdef _WIN32  // no symbolic links through MinGW's std::filesystem; the system's own texts
    const std::string noFile = boost::system::system_category().message(ERROR_FILE_NOT_FOUND);
    const std::pair<std::string, int> notADirectory{boost::system::system_category().message(ERROR_PATH_NOT_FOUND), 3};
    const std::string link = dir.file("real");
#else
    const std::string noFile = "No such file or directory";
    const std::pair<std::string, int> notADirectory{"Not a directory", 4};  // exists() reports it too
    const std::string link = dir.file("link");
    fs::create_directory_symlink(dir.file("real"), link);
#endif
    const std::tuple<std::string, std::vector<bool>, int, std::string> cases[] = {
        // path, exists isDirectory isFile isSymlink, reports, report
        {dir.file("file"), {true, false, true, false}, 0, ""},
        {dir.path.string() + "\\real", {true, true, false, false}, 0, ""},
        {dir.file("missing"), {false, false, false, false}, 3, noFile},
        {dir.file("file/below"), {false, false, false, false}, notADirectory.second, notADirectory.first},
    };
    for (const auto& [path, kinds, reports, report] : cases) {
        const Path p(path);
        EXPECT_EQ((std::vector<bool>{p.exists(), p.isDirectory(), p.isFile(), p.isSymlink()}), kinds) << path;
        EXPECT_EQ(takeReports(*log.recording), Strings(reports, "4 Filesystem::Path: " + report)) << path;
    }
    EXPECT_EQ(Path(link + "\\.\\inner/..").createCanonical(), fs::canonical(dir.path).generic_string() + "/real");
    EXPECT_EQ(Path(dir.file("missing")).createCanonical(), Path::emptyPath);
#ifndef _WIN32
    EXPECT_TRUE(Path(link).isSymlink() && Path(link).isDirectory());
#endif
    EXPECT_TRUE(takeReports(*log.recording).empty());
}

}  // namespace
