#include "core/filesystem/Path.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <climits>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

namespace {

using Orvantis::Filesystem::Path;
using namespace OrvantisTest;
namespace fs = std::filesystem;

TEST(Path, NormalisationOnlyTurnsBackslashesIntoSlashes) {
    EXPECT_EQ(Path("C:\\data\\x.txt").string(), "C:/data/x.txt");
    EXPECT_EQ(Path("A//b/./../C/").string(), "A//b/./../C/");
    EXPECT_EQ(Path("\xff\xfe/\x80").string(), "\xff\xfe/\x80");  // bytes, not UTF-8, pass unchanged
    EXPECT_FALSE(Path("a\\b") == std::string("a\\b"));
    EXPECT_TRUE(Path("a\\b") != "a\\b");
    EXPECT_EQ(Path("a\\b"), Path("a/b"));
    EXPECT_NE(Path("a/B"), Path("a/b"));
    EXPECT_EQ(Path::emptyPath, "");
}

// The facet set at load makes path strings UTF-8 also under the "C" locale:
// the test runs itself again in such an environment.
TEST(Path, NarrowPathStringsAreUtf8WhateverTheLocale) {
    EXPECT_EQ(boost::filesystem::path(L"\u00e4/\u20ac").string(), "\xc3\xa4/\xe2\x82\xac");
    if (std::getenv("ORVANTIS_PATH_TEST_CHILD") != nullptr) {
        return;
    }
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=Path.NarrowPathStringsAreUtf8WhateverTheLocale";
    char* argv[] = {self.data(), filter.data(), nullptr};
    char env0[] = "LC_ALL=C", env1[] = "ORVANTIS_PATH_TEST_CHILD=1";
    char* envp[] = {env0, env1, nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Path, JoinsTextuallyWithOneSeparator) {
    const char* const cases[][3] = {
        {"dir", "file.txt", "dir/file.txt"}, {"C:", "x", "C:x"},    {"dir/", "x", "dir/x"},
        {"", "x", "x"},                      {"a", "", "a"},        {"a", "/b", "a/b"},
        {"a", "C:/b", "a/C:/b"},             {"a", "\\b", "a/b"},   {"a\\", "b", "a/b"},
        {"/", "x", "/x"},                    {"a", "/", "a/"},      {"a/", "/b", "a//b"},
    };
    for (const auto& [left, right, joined] : cases) {
        SCOPED_TRACE(std::string(left) + " / " + right);
        EXPECT_EQ(Path(left, right).string(), joined);
        EXPECT_EQ((Path(left) / std::string(right)).string(), joined);
        EXPECT_EQ((Path(left) / Path(right)).string(), joined);
    }
}

TEST(Path, SplitsNamesAndExtensions) {
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
        {"x.a.b.c", "x.a.b.c", "x", "c", "a.b.c", ""},
        {"a/b/c.txt", "c.txt", "c", "txt", "txt", "a/b"},
        {"C:", "C:", "C:", "", "", ""},
        {"d\\e.x", "e.x", "e", "x", "x", "d"},
        {"/", "", "", "", "", ""},
        {"", "", "", "", "", ""},
        {"/d/" + dots, dots, "x", "e", dots.substr(2), "/d"},
    };
    for (const auto& [path, filename, baseName, extension, fullExtension, parent] : cases) {
        SCOPED_TRACE(path.substr(0, 20));
        const Path p(path);
        EXPECT_EQ(p.filename(), filename);
        EXPECT_EQ(p.baseName(), baseName);
        EXPECT_EQ(p.extension(), extension);
        EXPECT_EQ(p.fullExtension(), fullExtension);
        EXPECT_EQ(p.parentPath(), parent);
    }
}

TEST(Path, AbsoluteFollowsThePlatformAndResolvesAgainstTheWorkingDirectory) {
    const std::string here = Path::workingDirectory();
    const std::pair<const char*, std::string> cases[] = {
        {"/x", "/x"}, {"\\x", "/x"}, {"//server/share", "//server/share"}, {"C:/x", here + "/C:/x"},
        {"x\\y", here + "/x/y"}, {"", here},
    };
    for (const auto& [path, absolute] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Path(path).isAbsolute(), absolute == Path(path).string());
        EXPECT_EQ(Path(path).isRelative(), !Path(path).isAbsolute());
        EXPECT_EQ(Path(path).createAbsolute(), absolute);
    }
}

TEST(Path, RelativeToABase) {
    const std::string here = Path::workingDirectory();
    const std::string cases[][3] = {
        {"/a/b/c", "/a/d", "../b/c"}, {"/a/b", "/a/b", "."},         {"/a", "/a/b", ".."},
        {"/a/b", "/a/b/", "."},       {"/a/x", "/a/b/..", "x"},      {"/a/x", "/a/../..", "/a/x"},
        {"/a/b/", "/a", "b/."},       {"/a/b", "relative/base", ""}, {"/a\\b\\c", "/a/d", "../b/c"},
        {"x/y", here, "x/y"},         {"x/y", here + "/x/z", "../y"},
    };
    for (const auto& [path, base, relative] : cases) {
        SCOPED_TRACE(path + " from " + base);
        EXPECT_EQ(Path(path).createRelativeTo(Path(base)), relative);
    }
}

TEST(Path, QueriesReportEverythingButAMissingEntryInExists) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    fs::create_directory(dir.file("sub"));
    fs::create_directory_symlink(dir.file("sub"), dir.file("link"));
    LogSession log;
    const struct {
        std::string path;
        bool exists, isDirectory, isFile, isSymlink;
        const char* error;  // reported by every query but exists(); nullptr: none
        bool existsReports;
    } cases[] = {
        {dir.file("file"), true, false, true, false, nullptr, false},
        {dir.file("sub"), true, true, false, false, nullptr, false},
        {dir.file("link"), true, true, false, true, nullptr, false},
        {dir.path.string() + "\\sub", true, true, false, false, nullptr, false},
        {dir.file("missing"), false, false, false, false, "No such file or directory", false},
        {dir.file("file/below"), false, false, false, false, "Not a directory", true},
        {dir.file(std::string(NAME_MAX + 1, 'n')), false, false, false, false, "File name too long", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const Path p(c.path);
        EXPECT_EQ(p.exists(), c.exists);
        EXPECT_EQ(p.isDirectory(), c.isDirectory);
        EXPECT_EQ(p.isFile(), c.isFile);
        EXPECT_EQ(p.isSymlink(), c.isSymlink);
        const size_t reports = c.error == nullptr ? 0 : c.existsReports ? 4 : 3;
        EXPECT_EQ(takeReports(*log.recording), std::vector<std::string>(reports, "4 Filesystem::Path: " + std::string(c.error ? c.error : "")));
    }
}

TEST(Path, CanonicalResolvesLinksAndDotsOfExistingPathsOnly) {
    TempDir dir;
    fs::create_directories(dir.file("real/inner"));
    fs::create_directory_symlink(dir.file("real"), dir.file("link"));
    const std::string real = fs::canonical(dir.path).string() + "/real";
    LogSession log;
    EXPECT_EQ(Path(dir.file("link/inner/..")).createCanonical(), real);
    EXPECT_EQ(Path(dir.file("link\\.\\inner")).createCanonical(), real + "/inner");
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
