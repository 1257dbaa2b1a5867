#include "core/filesystem/File.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <filesystem>
#ifdef _WIN32
#include <boost/system/error_code.hpp>
#include <windows.h>
#endif
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using Orvantis::ByteBuffer;
using Orvantis::ByteBufferView;
using Orvantis::Filesystem::File;
using Orvantis::Filesystem::Path;
using namespace OrvantisTest;
namespace fs = std::filesystem;
using Reports = std::vector<std::string>;
const std::string kError = "4 Filesystem::File: ";

#ifdef _WIN32  // the system's own texts, as Boost gives them
const std::string kNoPath = boost::system::system_category().message(ERROR_PATH_NOT_FOUND);
const std::string kNotEmpty = boost::system::system_category().message(ERROR_DIR_NOT_EMPTY);
#else
const std::string kNoPath = "No such file or directory";
const std::string kNotEmpty = "Directory not empty";
#endif

TEST(File, NamesAreAbsoluteAndFixedAtConstruction) {
    const std::string here = Path::workingDirectory();
    const File relative("logs\\archive.tar.gz");
    TempDir dir;
    fs::current_path(dir.path);
    EXPECT_EQ(relative.path(), here + "/logs/archive.tar.gz");
    EXPECT_EQ(relative.name() + " " + File(Path("/x/.hidden")).name() + " " + File("/x/b.").name(),
              "archive.tar.gz .hidden b");
    fs::current_path(here);
}

// One script over a scratch directory: each step's result and its one report ("" for none).
TEST(File, OperationsAnswerAndReport) {
    TempDir dir;
    writeFile(dir.file("f"), "12345");
    boost::filesystem::last_write_time(dir.file("f"), 1000000000);
    LogSession log;
    File moving(dir.file("a.txt"));
    const auto f = [&](const char* name) { return File(dir.file(name)); };
    const std::tuple<const char*, std::function<long long()>, long long, std::string> steps[] = {
        {"create", [&] { return moving.create(); }, 1, ""},
        {"create with parents", [&] { return f("new/deeper/b.txt").createRecursive(); }, 1, ""},
        {"create again", [&] { return f("a.txt").create(); }, 0, "Trying to create a file that already exists."},
        {"parent missing", [&] { return f("none/x").create(); }, 0, "Create a file failed."},
        {"rename below", [&] { return moving.rename("new/c.txt") && moving.path() == dir.file("new/c.txt"); }, 1, ""},
        {"rename onto a used name", [&] { return moving.rename("deeper/b.txt"); }, 0,
         "Trying to rename a file to a name that is already in use."},
        {"rename missing", [&] { return f("absent").rename("x"); }, 0, "Trying to rename a file that does not exist."},
        {"rename fails", [&] { return moving.rename("no/such"); }, 0, "Error in file renaming: " + kNoPath},
        {"remove", [&] { return moving.remove() && !fs::exists(dir.file("new/c.txt")) && moving.remove(); }, 1, ""},
        {"remove a directory", [&] { return f("new").remove(); }, 0, "Error in file removal: " + kNotEmpty},
        {"size", [&] { return f("f").size(); }, 5, ""},
        {"modified", [&] { return f("f").lastModified(); }, 1000000000, ""},
        {"size and time, missing", [&] { return f("missing").size() + f("missing").lastModified(); }, 0, ""},
    };
    for (const auto& [name, step, result, report] : steps) {
        EXPECT_EQ(step(), result) << name;
        EXPECT_EQ(takeReports(*log.recording), Reports(!report.empty(), kError + report)) << name;
    }
    EXPECT_EQ(f("new").size(), 0u);
    const Reports seen = takeReports(*log.recording);  // the system's text follows
    EXPECT_TRUE(seen.size() == 1 && seen[0].rfind(kError + "Error during retrieval of file size: ", 0) == 0);
}

TEST(File, ContentRoundTripsAndMissingDirectoriesAreCreated) {
    TempDir dir;
    LogSession log;
    const std::string raw("a\0b\r\nc\xff", 7);
    File file(dir.file("sub/dir/data.bin")), text(dir.file("missing/dir/t.txt"));
    EXPECT_TRUE(file.appendBinary(ByteBuffer(raw)) && file.appendBinary(ByteBuffer("tail")));
    EXPECT_EQ(file.readBinary().toString(), raw + "tail");
    EXPECT_TRUE(file.writeBinary(ByteBuffer(raw)));
    EXPECT_EQ(readFile(dir.file("sub/dir/data.bin")), raw);
    EXPECT_TRUE(file.writeBinary(ByteBufferView()) && File(dir.file("fresh")).writeBinary(ByteBufferView()));
    EXPECT_EQ(file.size() + fs::file_size(dir.file("fresh")), 0u);
    EXPECT_TRUE(File(dir.file("fresh")).readBinary().empty());  // an empty file reads as nothing, unreported
    EXPECT_TRUE(text.appendText({"a"}) && text.appendText({"b", ""}));
    EXPECT_EQ(readFile(dir.file("missing/dir/t.txt")), onDisk("a\nb\n\n"));
    EXPECT_TRUE(text.writeText({"x\ry", "z"}));
    EXPECT_EQ(readFile(dir.file("missing/dir/t.txt")), onDisk("x\ry\nz\n"));  // a, CR, LF, b, CR, LF on Windows
    EXPECT_EQ(text.readText(), (std::vector<std::string>{"x\ry", "z"}));
    EXPECT_TRUE(text.writeText({}) && text.size() == 0);
    EXPECT_TRUE(takeReports(*log.recording).empty());
}

// A UTF-8 name outside the Basic Multilingual Plane reaches the system's
// UTF-16 interface as the same characters.
TEST(File, NamesOutsideTheBmpReachTheSystemIntact) {
    TempDir dir;
    const std::string name = "\xF0\x9F\x98\x80 \xE2\x82\xAC.txt";  // U+1F600, U+20AC
    File file(Path(dir.path.generic_u8string(), name));
    ASSERT_TRUE(file.writeBinary(ByteBuffer("x")));
    EXPECT_TRUE(fs::is_regular_file(fs::u8path(dir.path.generic_u8string() + "/" + name)));
    EXPECT_EQ(file.readBinary().toString() + " " + file.name(), "x " + name);
}

TEST(File, TextIsSplitAtLineFeeds) {
    TempDir dir;
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"", {}}, {"\n", {""}}, {"one\ntwo", {"one", "two"}}, {"a\n\nb\n", {"a", "", "b"}}, {"a\rb\n", {"a\rb"}},
    };
    for (const auto& [content, lines] : cases) {
        writeFile(dir.file("t"), content);
        EXPECT_EQ(File(dir.file("t")).readText(), lines) << content;
    }
}

TEST(File, ReadAndWriteFailuresReport) {
#ifdef _WIN32
    GTEST_SKIP() << "sockets as files and /dev/full are POSIX";
#else
    TempDir dir;
    writeFile(dir.file("plain"), "");
    ::mknod(dir.file("socket").c_str(), S_IFSOCK | 0600, 0);  // it exists, but no stream can open it
    LogSession log;
    const std::string missing = dir.file("missing"), socket = dir.file("socket"), below = dir.file("plain/below");
    const std::pair<std::string, std::string> reads[] = {
        {missing, "File '" + missing + "' does not exist."},
        {socket, "Can not open file '" + socket + "'."},
        {dir.path.string(), "Error when reading from file '" + dir.path.string() + "': Is a directory"},
    };
    for (const auto& [path, report] : reads) {
        EXPECT_TRUE(File(path).readBinary().empty() && File(path).readText().empty()) << path;
        EXPECT_EQ(takeReports(*log.recording), Reports(2, kError + report));
    }
    const std::pair<std::string, std::string> writes[] = {
        // The device accepts the open and refuses every byte.
        {"/dev/full", "Error when writing to file '/dev/full': No space left on device"},
        {below, "Can not open file '" + below + "'."},
        {socket, "Can not open file '" + socket + "'."},
    };
    for (const auto& [path, report] : writes) {
        File file(path);
        const ByteBuffer b("bytes");
        EXPECT_FALSE(file.writeBinary(b) || file.appendBinary(b) || file.writeText({"x"}) || file.appendText({"x"}));
        const Reports seen = takeReports(*log.recording);  // with those of the directories' creation
        EXPECT_EQ(std::count(seen.begin(), seen.end(), kError + report), 4) << report;
    }
    EXPECT_EQ(readFile(dir.file("plain")), "");
#endif
}

}  // namespace
