#include "core/filesystem/Path.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <boost/system/error_code.hpp>

#include <array>
#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using Orvantis::Filesystem::Path;
using namespace OrvantisTest;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// Backslashes become slashes; nothing else of the text changes.
TEST(Path, JoinAndNormalise) {
    using Row = std::array<std::string, 3>;  // left, right, joined
    for (const auto& [left, right, joined] :
         {Row{"dir", "file.txt", "dir/file.txt"}, Row{"C:", "x", "C:x"}, Row{"", "x", "x"}, Row{"a/", "/b", "a//b"},
          Row{"a", "C:/b", "a/C:/b"}, Row{"a", "\\b", "a/b"}, Row{"a\\", "b", "a/b"},
          Row{"C:\\d\\\\x", "", "C:/d//x"}}) {
        EXPECT_EQ((Strings{Path(left, right).string(), (Path(left) / std::string(right)).string(),
                           (Path(left) / Path(right)).string()}),
                  Strings(3, joined))
            << left << " / " << right;
    }
    // A string is compared as given, a path as normalised.
    EXPECT_TRUE(Path("a\\b") != "a\\b" && Path("a\\b") == Path("a/b") && Path("a/B") != Path("a/b"));
}

TEST(Path, NamesAndExtensions) {
    using Row = std::array<std::string, 6>;  // path, filename, baseName, extension, fullExtension, parent
    for (const auto& [path, filename, baseName, extension, fullExtension, parent] :
         {Row{"a/b.tar.gz", "b.tar.gz", "b", "gz", "tar.gz", "a"}, Row{"dir/", "", "", "", "", "dir"},
          Row{".hidden", ".hidden", "", "hidden", "hidden", ""}, Row{"b.", "b.", "b", "", "", ""},
          Row{"..", "..", "..", "", "", ""}, Row{"d/..x.y", "..x.y", ".", "y", "x.y", "d"}}) {
        const Path p(path);
        EXPECT_EQ((Strings{p.filename(), p.baseName(), p.extension(), p.fullExtension(), p.parentPath().string()}),
                  (Strings{filename, baseName, extension, fullExtension, parent}))
            << path;
    }
}

// A root name (a drive on Windows) and a root directory make a path absolute.
TEST(Path, AbsoluteAndRelative) {
    const std::string here = Path::workingDirectory();
#ifdef _WIN32
    const std::string r = "C:";
    // Another drive, or another letter case of it, has nothing in common.
    EXPECT_EQ(Path("D:/a/b").createRelativeTo(Path("C:/a")), "D:/a/b");
    EXPECT_EQ(Path("c:/x").createRelativeTo(Path("C:/a")), "c:/x");
#else
    const std::string r;
    EXPECT_EQ(Path("C:/x").createAbsolute(), here + "/C:/x");
#endif
    using Pair = std::pair<std::string, std::string>;
    for (const auto& [path, expected] : {Pair{r + "\\x", r + "/x"}, Pair{"//server/share", "//server/share"},
                                         Pair{"", here}, Pair{r + "x", here + "/" + r + "x"}}) {
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

// Only exists() takes a missing entry silently; the other queries report the system's text.
TEST(Path, QueriesOfTheFileSystem) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    fs::create_directories(dir.file("real/inner"));
    LogSession log;
#ifdef _WIN32  // no symbolic links through MinGW's std::filesystem
    const std::string link = dir.file("real"), missing = boost::system::system_category().message(ERROR_FILE_NOT_FOUND);
#else
    const std::string link = dir.file("link"), missing = boost::system::system_category().message(ENOENT);
    fs::create_directory_symlink(dir.file("real"), link);
    EXPECT_TRUE(Path(link).isSymlink() && Path(link).isDirectory() && !Path(dir.file("real")).isSymlink());
    EXPECT_FALSE(Path(dir.file("file/below")).exists());  // a file taken for a directory is reported
    EXPECT_EQ(takeReports(*log.recording), Strings{"4 Filesystem::Path: Not a directory"});
#endif
    const Path file(dir.file("file")), absent(dir.file("missing"));
    EXPECT_TRUE(file.exists() && file.isFile() && Path(dir.path.string() + "\\real").isDirectory());
    EXPECT_TRUE(!absent.exists() && takeReports(*log.recording).empty());
    EXPECT_FALSE(absent.isFile() || absent.isDirectory() || absent.isSymlink());
    EXPECT_EQ(takeReports(*log.recording), Strings(3, "4 Filesystem::Path: " + missing));
    EXPECT_EQ(Path(link + "\\.\\inner/..").createCanonical(), fs::canonical(dir.path).generic_string() + "/real");
    EXPECT_EQ(absent.createCanonical(), Path::emptyPath);
    EXPECT_TRUE(takeReports(*log.recording).empty());
}

}  // namespace
