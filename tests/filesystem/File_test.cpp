#include "core/filesystem/File.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <atomic>
#include <climits>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>

namespace {

using Orvantis::ByteBuffer;
using Orvantis::ByteBufferView;
using Orvantis::Filesystem::File;
using Orvantis::Filesystem::Path;
using namespace OrvantisTest;
namespace fs = std::filesystem;
using Reports = std::vector<std::string>;

std::string fileError(const std::string& message) {
    return "4 Filesystem::File: " + message;
}

// A bound Unix socket: it exists, but no file stream can open it.
class SocketFile {
public:
    explicit SocketFile(const std::string& path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~SocketFile() { ::close(m_fd); }

private:
    int m_fd;
};

TEST(File, NamesAreAbsoluteAndFixedAtConstruction) {
    const std::string here = Path::workingDirectory();
    const File relative("logs\\archive.tar.gz");
    const std::string cases[][3] = {
        // path given, name, parent directory
        {"logs\\archive.tar.gz", "archive.tar.gz", here + "/logs"},
        {"/x/.hidden", ".hidden", "/x"},
        {"/x/b.", "b", "/x"},
        {"/plain", "plain", "/"},
    };
    for (const auto& [path, name, parent] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(File(path).name(), name);
        EXPECT_EQ(File(Path(path)).parentDirectory(), parent);
    }
    TempDir dir;
    fs::current_path(dir.path);
    EXPECT_EQ(relative.path(), here + "/logs/archive.tar.gz");
    fs::current_path(here);
}

TEST(File, CreateRemoveAndRenameReportEveryRefusal) {
    TempDir dir;
    LogSession log;
    File file(dir.file("a.txt"));
    EXPECT_TRUE(file.create());
    EXPECT_TRUE(File(dir.file("new/deeper/b.txt")).createRecursive());
    EXPECT_TRUE(fs::is_regular_file(dir.file("new/deeper/b.txt")));
    EXPECT_TRUE(file.rename("c.txt"));
    EXPECT_EQ(file.path(), dir.file("c.txt"));
    EXPECT_TRUE(file.rename("new/c.txt"));  // relative names are taken below the file's directory
    EXPECT_EQ(file.path(), dir.file("new/c.txt"));
    EXPECT_TRUE(file.remove());
    EXPECT_FALSE(fs::exists(dir.file("new/c.txt")));
    EXPECT_TRUE(file.remove());
    EXPECT_TRUE(takeReports(*log.recording).empty());

    writeFile(dir.file("keep"), "old");
    writeFile(dir.file("taken"), "other");
    const std::pair<std::function<bool()>, std::string> refused[] = {
        {[&] { return File(dir.file("keep")).create(); }, "Trying to create a file that already exists."},
        {[&] { return File(dir.file("none/x")).create(); }, "Create a file failed."},
        {[&] { return File(dir.file(std::string(NAME_MAX + 1, 'n'))).create(); }, "Create a file failed."},
        {[&] { return File(dir.file("keep")).rename("taken"); }, "Trying to rename a file to a name that is already in use."},
        {[&] { return File(dir.file("absent")).rename("fresh"); }, "Trying to rename a file that does not exist."},
        {[&] { return File(dir.file("keep")).rename("no/such/name"); }, "Error in file renaming: No such file or directory"},
        {[&] { return File(dir.file("new")).remove(); }, "Error in file removal: Directory not empty"},
    };
    for (const auto& [operation, lastReport] : refused) {
        SCOPED_TRACE(lastReport);
        EXPECT_FALSE(operation());
        const Reports seen = takeReports(*log.recording);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), fileError(lastReport));
    }
    EXPECT_EQ(readFile(dir.file("keep")), "old");
    EXPECT_EQ(readFile(dir.file("taken")), "other");
}

TEST(File, SizeAndModificationTime) {
    TempDir dir;
    writeFile(dir.file("f"), "12345");
    boost::filesystem::last_write_time(dir.file("f"), 1000000000);
    LogSession log;
    EXPECT_EQ(File(dir.file("f")).size(), 5u);
    EXPECT_EQ(File(dir.file("f")).lastModified(), 1000000000);
    EXPECT_EQ(File(dir.file("missing")).size(), 0u);
    EXPECT_EQ(File(dir.file("missing")).lastModified(), 0);
    EXPECT_TRUE(takeReports(*log.recording).empty());

    EXPECT_EQ(File(dir.path.string()).size(), 0u);
    const Reports seen = takeReports(*log.recording);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].rfind(fileError("Error during retrieval of file size: "), 0), 0u) << seen[0];
}

TEST(File, ContentRoundTripsAndMissingDirectoriesAreCreated) {
    TempDir dir;
    LogSession log;
    const std::string raw("a\0b\r\nc\xff", 7);
    File file(dir.file("sub/dir/data.bin"));
    EXPECT_TRUE(file.appendBinary(ByteBuffer(raw)));
    EXPECT_TRUE(file.appendBinary(ByteBuffer("tail")));
    EXPECT_EQ(file.readBinary().toString(), raw + "tail");
    EXPECT_TRUE(file.writeBinary(ByteBuffer(raw)));
    EXPECT_EQ(readFile(dir.file("sub/dir/data.bin")), raw);
    EXPECT_TRUE(file.writeBinary(ByteBufferView()));
    EXPECT_EQ(file.size(), 0u);
    EXPECT_TRUE(File(dir.file("fresh.bin")).writeBinary(ByteBufferView()));
    EXPECT_TRUE(fs::is_regular_file(dir.file("fresh.bin")));

    File text(dir.file("missing/dir/t.txt"));
    EXPECT_TRUE(text.appendText({"a"}));
    EXPECT_TRUE(text.appendText({"b", ""}));
    EXPECT_EQ(readFile(dir.file("missing/dir/t.txt")), "a\nb\n\n");
    EXPECT_TRUE(text.writeText({"x\ry", "z"}));
    EXPECT_EQ(readFile(dir.file("missing/dir/t.txt")), "x\ry\nz\n");
    EXPECT_TRUE(text.writeText({}));
    EXPECT_EQ(text.size(), 0u);
    EXPECT_TRUE(takeReports(*log.recording).empty());
}

TEST(File, TextIsSplitAtLineFeeds) {
    TempDir dir;
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"", {}}, {"\n", {""}}, {"one", {"one"}}, {"one\ntwo", {"one", "two"}}, {"a\n\nb\n", {"a", "", "b"}},
        {"a\rb\n", {"a\rb"}},
    };
    for (const auto& [content, lines] : cases) {
        writeFile(dir.file("t"), content);
        EXPECT_EQ(File(dir.file("t")).readText(), lines) << content;
    }
}

TEST(File, ReadFailuresReportAndAnswerEmpty) {
    TempDir dir;
    SocketFile socket(dir.file("socket"));
    LogSession log;
    const std::pair<std::string, std::string> cases[] = {
        {dir.file("missing"), "File '" + dir.file("missing") + "' does not exist."},
        {dir.file("socket"), "Can not open file '" + dir.file("socket") + "'."},
        {dir.path.string(), "Error when reading from file '" + dir.path.string() + "': Is a directory"},
    };
    for (const auto& [path, report] : cases) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(File(path).readBinary().empty());
        EXPECT_TRUE(File(path).readText().empty());
        EXPECT_EQ(takeReports(*log.recording), Reports(2, fileError(report)));
    }
}

TEST(File, WriteFailuresReportAndAnswerFalse) {
    TempDir dir;
    writeFile(dir.file("plain"), "");
    SocketFile socket(dir.file("socket"));
    LogSession log;
    const ByteBuffer data("some bytes");
    const std::pair<std::string, std::string> cases[] = {
        // The device accepts the open and refuses every byte.
        {"/dev/full", "Error when writing to file '/dev/full': No space left on device"},
        {dir.file("plain/below"), "Can not open file '" + dir.file("plain/below") + "'."},
        {dir.file(std::string(NAME_MAX + 1, 'n')), "Can not open file '" + dir.file(std::string(NAME_MAX + 1, 'n')) + "'."},
        {dir.file("socket"), "Can not open file '" + dir.file("socket") + "'."},
    };
    for (const auto& [path, report] : cases) {
        SCOPED_TRACE(path);
        File file(path);
        const std::function<bool()> writes[] = {[&] { return file.writeBinary(data); },
                                                [&] { return file.appendBinary(data); },
                                                [&] { return file.writeText({"line"}); },
                                                [&] { return file.appendText({"line"}); }};
        for (const auto& write : writes) {
            EXPECT_FALSE(write());
            const Reports seen = takeReports(*log.recording);
            ASSERT_FALSE(seen.empty());
            EXPECT_EQ(seen.back(), fileError(report));
        }
    }
    EXPECT_EQ(readFile(dir.file("plain")), "");
}

// Another thread makes the file come and go, so that it vanishes between
// the existence test and the operation on some calls. Every call must still
// answer one of its documented results, with the matching report.
TEST(File, AFileThatVanishesMidOperationGivesADocumentedResult) {
    TempDir dir;
    const std::string path = dir.file("flicker");
    const std::string parked = dir.file("parked");
    writeFile(path, "content");
    boost::filesystem::last_write_time(path, 1000000000);
    LogSession log;
    std::atomic<bool> stop{false};
    std::thread flicker([&] {
        while (!stop.load()) {
            ::rename(path.c_str(), parked.c_str());
            ::rename(parked.c_str(), path.c_str());
        }
    });
    const std::set<std::string> allowed{
        fileError("File '" + path + "' does not exist."),
        fileError("Can not open file '" + path + "'."),
        fileError("Error during retrieval of file size: No such file or directory"),
        fileError("Error in retrieval of the last modification to a file: No such file or directory"),
    };
    const File file(path);
    for (int i = 0; i < 2000; ++i) {
        const ByteBuffer content = file.readBinary();
        EXPECT_TRUE(content.empty() || content.toString() == "content");
        const auto lines = file.readText();
        EXPECT_TRUE(lines.empty() || lines == std::vector<std::string>{"content"});
        const auto size = file.size();
        EXPECT_TRUE(size == 0 || size == 7) << size;
        const auto modified = file.lastModified();
        EXPECT_TRUE(modified == 1000000000 || modified == 0 || modified == -1) << modified;
    }
    stop = true;
    flicker.join();
    for (const std::string& report : takeReports(*log.recording)) {
        EXPECT_EQ(allowed.count(report), 1u) << report;
    }
}

}  // namespace
