#include "core/filesystem/File.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#else
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

TEST(File, OperationsAndContentRoundTrips) {
    TempDir dir;
    writeFile(dir.file("f"), "12345");
    boost::filesystem::last_write_time(dir.file("f"), 1000000000);
    LogSession log;
    File moving(dir.file("a.txt"));
    const auto f = [&](const char* name) { return File(dir.file(name)); };
    const auto reports = [&] { return takeReports(*log.recording); };
    // Each row runs in turn: step, its result and reports, then the expected result and report ("" for none).
    const std::tuple<const char*, long long, Reports, long long, std::string> steps[] = {
        {"create", moving.create(), reports(), 1, ""},
        {"create again", f("a.txt").create(), reports(), 0, "Trying to create a file that already exists."},
        {"parent missing", f("none/x").create(), reports(), 0, "Create a file failed."},
        {"rename, remove", moving.rename("c.txt") && moving.remove() && !moving.exists() && moving.remove(), reports(),
         1, ""},
        {"size and time, or 0", f("f").size() + f("f").lastModified() + f("no").size() + f("no").lastModified(),
         reports(), 1000000005, ""},
    };
    for (const auto& [name, result, seen, expected, report] : steps) {
        EXPECT_EQ(result, expected) << name;
        EXPECT_EQ(seen, Reports(!report.empty(), kError + report)) << name;
    }
    // The name is made absolute once, at construction; the name keeps every extension.
    EXPECT_EQ(File("logs\\archive.tar.gz").path(), Path::workingDirectory() + "/logs/archive.tar.gz");
    EXPECT_EQ(File("logs\\archive.tar.gz").name() + " " + File("/x/.hidden").name() + " " + File("/x/b.").name(),
              "archive.tar.gz .hidden b");
    // Writes create missing directories; a UTF-8 name outside the Basic
    // Multilingual Plane reaches the system's UTF-16 interface intact.
    const std::string raw("a\0b\r\nc\xff", 7), name = "/sub/\xF0\x9F\x98\x80 \xE2\x82\xAC.bin";  // U+1F600, U+20AC
    File file(Path(dir.path.generic_u8string() + name)), text(dir.file("missing/dir/t.txt"));
    EXPECT_TRUE(file.appendBinary(ByteBuffer(raw)) && file.appendBinary(ByteBuffer("tail")));
    EXPECT_EQ(readFile(fs::u8path(dir.path.generic_u8string() + name)), raw + "tail");
    EXPECT_TRUE(file.writeBinary(ByteBuffer(raw)) && file.readBinary().toString() == raw);
    EXPECT_TRUE(file.writeBinary(ByteBufferView()) && file.size() == 0 && file.readBinary().empty());
    EXPECT_TRUE(text.appendText({"x\ry", "z"}) && text.appendText({""}));
    EXPECT_EQ(readFile(dir.file("missing/dir/t.txt")), onDisk("x\ry\nz\n\n"));  // x, CR, y, CR, LF, z... on Windows
    EXPECT_EQ(text.readText(), (std::vector<std::string>{"x\ry", "z", ""}));
    EXPECT_TRUE(text.writeText({}) && text.size() == 0);
    writeFile(dir.file("t"), "a\n\nb");  // a last line without its line end
    EXPECT_EQ(File(dir.file("t")).readText(), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(takeReports(*log.recording).empty());
}

// A name longer than the system allows is refused. So is a read-only file, where the user is bound by that: root
// is not, nor Wine run by root.
TEST(File, RefusesANameTooLongAndAReadOnlyFile) {
    TempDir dir;
    LogSession log;
    const std::string tooLong = dir.file(std::string(300, 'n')), locked = dir.file("locked");
    EXPECT_FALSE(File(tooLong).writeBinary(ByteBuffer("x")));
    Reports expected = {kError + "Create a file failed.", kError + "Can not open file '" + tooLong + "'."};
#ifndef _WIN32  // each look-up reports the system's text first; Wine's finds no such file, silently
    expected.insert(expected.begin(), 2, "4 Filesystem::Path: " + std::generic_category().message(ENAMETOOLONG));
#endif
    EXPECT_EQ(takeReports(*log.recording), expected);
    writeFile(locked, "kept");
    fs::permissions(locked, fs::perms::owner_read);  // on Windows, the read-only attribute
    const bool bound = !std::ofstream(locked, std::ios::app);
    EXPECT_FALSE(bound && (File(locked).writeBinary(ByteBuffer("x")) || File(locked).appendText({"x"})));
    EXPECT_EQ(takeReports(*log.recording), Reports(bound ? 2 : 0, kError + "Can not open file '" + locked + "'."));
    EXPECT_EQ(readFile(locked), "kept");
    fs::permissions(locked, fs::perms::owner_all);
    if (!bound) {
        GTEST_SKIP() << "this user may write to a read-only file (root, and Wine run by root)";
    }
}

#ifndef _WIN32  // sockets as files and /dev/full are POSIX
TEST(File, ReadAndWriteFailuresReport) {
    TempDir dir;
    writeFile(dir.file("plain"), "");
    ::mknod(dir.file("socket").c_str(), S_IFSOCK | 0600, 0);  // it exists, but no stream can open it
    LogSession log;
    const std::string missing = dir.file("missing"), socket = dir.file("socket"), d = dir.path.string();
    const std::string below = dir.file("plain/below"), full = "/dev/full";  // the device refuses every byte
    using Row = std::pair<std::string, std::string>;  // path, report of each read
    for (const auto& [path, report] :
         {Row{missing, "File '" + missing + "' does not exist."}, Row{socket, "Can not open file '" + socket + "'."},
          Row{d, "Error when reading from file '" + d + "': Is a directory"}}) {
        EXPECT_TRUE(File(path).readBinary().empty() && File(path).readText().empty()) << path;
        EXPECT_EQ(takeReports(*log.recording), Reports(2, kError + report));
    }
    // path, report of each write
    for (const auto& [path, report] :
         {Row{socket, "Can not open file '" + socket + "'."}, Row{d, "Can not open file '" + d + "'."},
          Row{full, "Error when writing to file '/dev/full': No space left on device"},
          Row{below, "Can not open file '" + below + "'."}}) {
        File file(path);
        const ByteBuffer b("bytes");
        EXPECT_FALSE(file.writeBinary(b) || file.appendBinary(b) || file.writeText({"x"}) || file.appendText({"x"}));
        const Reports seen = takeReports(*log.recording);  // with those of the directories' creation
        EXPECT_EQ(std::count(seen.begin(), seen.end(), kError + report), 4) << report;
    }
    EXPECT_EQ(readFile(dir.file("plain")), "");
}
#endif

}  // namespace
