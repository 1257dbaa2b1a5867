#include "core/filesystem/Url.h"

#include "core/filesystem/Path.h"
#include "filesystem/UrlSupport.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <fstream>
#include <string>

namespace {

using Orvantis::Filesystem::Path;
using Orvantis::Filesystem::Url;

// Drive paths are absolute only where Path says so (Windows); POSIX roots
// only where it says so (everywhere else).
const bool drivesAreAbsolute = Path("C:/x").isAbsolute();
const bool rootsAreAbsolute = Path("/x").isAbsolute();

TEST(UrlLocalFile, FromLocalFileBuildsFileUrls) {
    const struct {
        std::string local, url, path, query, fragment;
    } cases[] = {
        {"C:\\data\\scan 1.raw", drivesAreAbsolute ? "file:///C:/data/scan 1.raw" : "file:C:/data/scan 1.raw",
         "C:/data/scan 1.raw", "", ""},
        {"/data/x", rootsAreAbsolute ? "file:///data/x" : "file:/data/x", "/data/x", "", ""},
        {"file:///C:/x", "file:///C:/x", "C:/x", "", ""},
        {"file://srv/share", "file:///srv/share", "/srv/share", "", ""},
        {"file:x", "file:x", "x", "", ""},
        {"rel/dir", "file:rel/dir", "rel/dir", "", ""},
        {"a?b#c", "file:a?b#c", "a", "b", "c"},
        {"a#b", "file:a%23b", "a#b", "", ""},
        {"a?b?c#d#e", "file:a%3fb?c#d#e", "a?b", "c", "d#e"},
        {"a b%", "file:a b%25", "a b%", "", ""},
        {"", "file:", "", "", ""},
    };
    for (const auto& c : cases) {
        const Url u = Url::fromLocalFile(c.local);
        EXPECT_EQ(u.string(), c.url) << c.local;
        EXPECT_EQ(u.path(), c.path) << c.local;
        EXPECT_EQ(u.query(), c.query) << c.local;
        EXPECT_EQ(u.fragment(), c.fragment) << c.local;
        EXPECT_EQ(Url(Path(c.local)), Url::fromLocalFile(Path(c.local).string())) << c.local;
    }
}

TEST(UrlLocalFile, ToLocalFileOnlyForTheFileScheme) {
    const std::pair<std::string, std::string> cases[] = {
        {"file:///C:/data/scan%201.raw", "C:/data/scan 1.raw"},
        {"file:rel/x", "rel/x"},
        {"file://host/share/x", "/share/x"},
        {"res://h/x", ""},
        {"FILE:///C:/x", ""},
        {"/C:/x", ""},
    };
    for (const auto& [url, local] : cases) {
        EXPECT_EQ(Url(url).toLocalFile(), Path(local)) << url;
    }
    EXPECT_EQ(Url::fromLocalFile("C:\\data\\scan 1.raw").toLocalFile(), Path("C:/data/scan 1.raw"));
}

TEST(UrlLocalFile, RelativeToJoinsRelativePathsOntoTheBase) {
    const struct {
        std::string url, base;
        std::string expected;
    } cases[] = {
        {"sub/a.raw", "C:/base", "file:///C:/base/sub/a.raw"},
        {"sub/a.raw", "C:/base/", "file:///C:/base/sub/a.raw"},
        {"sub\\a.raw", "C:\\base\\", "file:///C:/base/sub/a.raw"},
        {"x?q#f", "", "file:///x?q#f"},
        {"file:rel/x", "/base//", "file:///base/rel/x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Url::relativeTo(c.url, c.base, true).string(), c.expected) << c.url << " on " << c.base;
    }
    if (rootsAreAbsolute) {
        EXPECT_EQ(Url::relativeTo("/abs/x", "/base", true).string(), "file:///abs/x");
    }
}

TEST(UrlLocalFile, RelativeToMakesExistingFilesFileUrls) {
    const boost::filesystem::path dir =
        boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("url-test-%%%%%%%%");
    boost::filesystem::create_directories(dir);
    std::ofstream(dir / "f.txt") << "x";
    const std::string base = dir.generic_string();

    EXPECT_EQ(Url::relativeTo("f.txt", base, false).string(), "file://" + base + "/f.txt");
    EXPECT_EQ(Url::relativeTo("res:f.txt", base, false).string(), "res://" + base + "/f.txt");
    // A missing file keeps what it had: no scheme, no authority.
    EXPECT_EQ(Url::relativeTo("missing.txt", base, false).string(), base + "/missing.txt");
    if (rootsAreAbsolute) {
        EXPECT_EQ(Url::relativeTo("res://h/missing", base, false).string(), "res://h/missing");
    }

    boost::filesystem::remove_all(dir);
}

}  // namespace
