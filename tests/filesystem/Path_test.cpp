#include "core/filesystem/Path.h"

#include "support/FilesystemTesting.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <climits>
#include <spawn.h>
#include <sys/wait.h>

namespace {

using Orvantis::Filesystem::Path;
using namespace OrvantisTest;

std::string pathError(const std::string& message) {
    return "4 Filesystem::Path: " + message;
}

TEST(Path, NormalisationOnlyTurnsBackslashesIntoSlashes) {
    EXPECT_EQ(Path("C:\\data\\x.txt").string(), "C:/data/x.txt");
    EXPECT_EQ(Path("a\\\\b").string(), "a//b");
    EXPECT_EQ(Path("A//b/./../C/").string(), "A//b/./../C/");
    EXPECT_EQ(Path("\xff\xfe/\x80").string(), "\xff\xfe/\x80");  // bytes, not UTF-8, pass unchanged

    const Path backslashed("a\\b");
    EXPECT_FALSE(backslashed == std::string("a\\b"));
    EXPECT_TRUE(backslashed != "a\\b");
    EXPECT_EQ(backslashed, Path("a/b"));
    EXPECT_EQ("a/b", backslashed);
    EXPECT_NE(Path("a/B"), Path("a/b"));
    EXPECT_EQ(Path::emptyPath, "");
}

// The facet set at load makes boost's wide-to-narrow path conversion UTF-8;
// the same holds when the process starts under the ASCII "C" locale, which
// the test checks by running itself again in such an environment.
TEST(Path, NarrowPathStringsAreUtf8WhateverTheLocale) {
    EXPECT_EQ(boost::filesystem::path(L"\u00e4/\u20ac").string(), "\xc3\xa4/\xe2\x82\xac");
    EXPECT_EQ(boost::filesystem::path("\xc3\xa4").wstring(), L"\u00e4");
    if (std::getenv("ORVANTIS_PATH_TEST_CHILD") != nullptr) {
        return;
    }
    std::string self = boost::filesystem::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=Path.NarrowPathStringsAreUtf8WhateverTheLocale";
    char* argv[] = {self.data(), filter.data(), nullptr};
    char env0[] = "LC_ALL=C", env1[] = "LANG=C", env2[] = "ORVANTIS_PATH_TEST_CHILD=1";
    char* envp[] = {env0, env1, env2, nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Path, JoinsTextuallyWithOneSeparator) {
    struct Case {
        const char* left;
        const char* right;
        const char* joined;
    };
    const Case cases[] = {
        {"dir", "file.txt", "dir/file.txt"}, {"C:", "x", "C:x"},    {"dir/", "x", "dir/x"},
        {"", "x", "x"},                      {"a", "", "a"},        {"a", "/b", "a/b"},
        {"a", "C:/b", "a/C:/b"},             {"a", "\\b", "a/b"},   {"a\\", "b", "a/b"},
        {"/", "x", "/x"},                    {"a", "/", "a/"},      {"a/", "/b", "a//b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.left) + " / " + c.right);
        EXPECT_EQ(Path(c.left, c.right).string(), c.joined);
        EXPECT_EQ((Path(c.left) / std::string(c.right)).string(), c.joined);
        EXPECT_EQ((Path(c.left) / Path(c.right)).string(), c.joined);
    }
}

TEST(Path, SplitsNamesAndExtensions) {
    struct Case {
        const char* path;
        const char* filename;
        const char* baseName;
        const char* extension;
        const char* fullExtension;
        const char* parent;
    };
    const Case cases[] = {
        {"a/b.tar.gz", "b.tar.gz", "b", "gz", "tar.gz", "a"},
        {"dir/", "", "", "", "", "dir"},
        {".hidden", ".hidden", "", "hidden", "hidden", ""},
        {"b.", "b.", "b", "", "", ""},
        {"..", "..", "..", "", "", ""},
        {"x.a.b.c", "x.a.b.c", "x", "c", "a.b.c", ""},
        {"a/b/c.txt", "c.txt", "c", "txt", "txt", "a/b"},
        {"c.txt", "c.txt", "c", "txt", "txt", ""},
        {"C:", "C:", "C:", "", "", ""},
        {"d\\e.x", "e.x", "e", "x", "x", "d"},
        {"/", "", "", "", "", ""},
        {"", "", "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const Path p(c.path);
        EXPECT_EQ(p.filename(), c.filename);
        EXPECT_EQ(p.baseName(), c.baseName);
        EXPECT_EQ(p.extension(), c.extension);
        EXPECT_EQ(p.fullExtension(), c.fullExtension);
        EXPECT_EQ(p.parentPath(), c.parent);
    }
}

TEST(Path, AbsoluteFollowsThePlatformAndResolvesAgainstTheWorkingDirectory) {
    EXPECT_TRUE(Path("/x").isAbsolute());
    EXPECT_TRUE(Path("\\x").isAbsolute());  // normalised first
    EXPECT_TRUE(Path("//server/share").isAbsolute());
    EXPECT_TRUE(Path("C:/x").isRelative());
    EXPECT_TRUE(Path::emptyPath.isRelative());

    TempDir dir;
    WorkingDirectory cwd(dir.path.string());
    const std::string here = Path::workingDirectory();
    EXPECT_EQ(Path("x/y").createAbsolute(), here + "/x/y");
    EXPECT_EQ(Path("/x").createAbsolute(), "/x");
    EXPECT_EQ(Path::emptyPath.createAbsolute(), here);
    EXPECT_TRUE(Path::emptyPath.exists());
}

TEST(Path, RelativeToABase) {
    struct Case {
        const char* path;
        const char* base;
        const char* relative;
    };
    const Case cases[] = {
        {"/a/b/c", "/a/d", "../b/c"}, {"/a/b", "/a/b", "."},         {"/a", "/a/b", ".."},
        {"/a/b", "/a/b/", "."},       {"/a/x", "/a/b/..", "x"},      {"/a/x", "/a/../..", "/a/x"},
        {"/a/b/", "/a", "b/."},       {"/a/b", "relative/base", ""}, {"/a\\b\\c", "/a/d", "../b/c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " from " + c.base);
        EXPECT_EQ(Path(c.path).createRelativeTo(Path(c.base)), c.relative);
    }
    TempDir dir;
    WorkingDirectory cwd(dir.path.string());
    EXPECT_EQ(Path("x/y").createRelativeTo(Path(Path::workingDirectory())), "x/y");
    EXPECT_EQ(Path("x/y").createRelativeTo(Path(Path::workingDirectory() + "/x/z")), "../y");
}

TEST(Path, QueriesReportEverythingButAMissingEntryInExists) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    makeDirectories(dir.file("sub"));
    boost::filesystem::create_symlink(dir.file("sub"), dir.file("link"));
    LogSession log;

    struct Case {
        std::string path;
        bool exists, isDirectory, isFile, isSymlink;
    };
    const Case present[] = {
        {dir.file("file"), true, false, true, false},
        {dir.file("sub"), true, true, false, false},
        {dir.file("link"), true, true, false, true},
        {dir.path.string() + "\\sub", true, true, false, false},
    };
    for (const Case& c : present) {
        SCOPED_TRACE(c.path);
        const Path p(c.path);
        EXPECT_EQ(p.exists(), c.exists);
        EXPECT_EQ(p.isDirectory(), c.isDirectory);
        EXPECT_EQ(p.isFile(), c.isFile);
        EXPECT_EQ(p.isSymlink(), c.isSymlink);
    }
    EXPECT_TRUE(reports(*log.recording).empty());

    // A missing entry is silent in exists() only; other failures always report.
    struct Failure {
        std::string path;
        std::string text;
        bool existsReports;
    };
    const Failure failures[] = {
        {dir.file("missing"), "No such file or directory", false},
        {dir.file("file/below"), "Not a directory", true},
        {dir.file(std::string(NAME_MAX + 1, 'n')), "File name too long", true},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.text);
        clearReports(*log.recording);
        const Path p(f.path);
        EXPECT_FALSE(p.exists());
        EXPECT_FALSE(p.isFile());
        EXPECT_FALSE(p.isDirectory());
        std::vector<std::string> expected(f.existsReports ? 3 : 2, pathError(f.text));
        EXPECT_EQ(reports(*log.recording), expected);
    }

    clearReports(*log.recording);
    Orvantis::Log::setGlobalLevel(Orvantis::Log::Fatal);  // producers skip Error records
    EXPECT_FALSE(Path(dir.file("missing")).isFile());
    EXPECT_TRUE(reports(*log.recording).empty());
}

TEST(Path, CanonicalResolvesLinksAndDotsOfExistingPathsOnly) {
    TempDir dir;
    makeDirectories(dir.file("real/inner"));
    boost::filesystem::create_symlink(dir.file("real"), dir.file("link"));
    const std::string real = boost::filesystem::canonical(dir.path.string()).string() + "/real";
    LogSession log;

    EXPECT_EQ(Path(dir.file("link/inner/..")).createCanonical(), real);
    EXPECT_EQ(Path(dir.file("link\\.\\inner")).createCanonical(), real + "/inner");
    {
        WorkingDirectory cwd(dir.path.string());
        EXPECT_EQ(Path("link").createCanonical(), real);
    }
    EXPECT_EQ(Path(dir.file("missing/..")).createCanonical(), Path::emptyPath);
    EXPECT_TRUE(reports(*log.recording).empty());
}

TEST(Path, SystemDirectoriesRaiseWhenTheSystemCannotGiveThem) {
    TempDir dir;
    const std::string savedTmp = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
    makeDirectories(dir.file("tmp"));
    ::setenv("TMPDIR", (dir.file("tmp")).c_str(), 1);
    EXPECT_EQ(Path::tempDirectory(), dir.file("tmp"));
    writeFile(dir.file("plain"), "");
    ::setenv("TMPDIR", (dir.file("plain")).c_str(), 1);
    EXPECT_THROW(Path::tempDirectory(), boost::filesystem::filesystem_error);
    savedTmp.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", savedTmp.c_str(), 1);

    // A working directory that has been removed cannot be read.
    makeDirectories(dir.file("gone"));
    WorkingDirectory cwd(dir.file("gone"));
    boost::filesystem::remove(dir.file("gone"));
    EXPECT_THROW(Path::workingDirectory(), boost::filesystem::filesystem_error);
    EXPECT_THROW(Path("x").createAbsolute(), boost::filesystem::filesystem_error);
    EXPECT_THROW(Path("x").exists(), boost::filesystem::filesystem_error);
    EXPECT_EQ(Path("/x").createAbsolute(), "/x");
}

}  // namespace
