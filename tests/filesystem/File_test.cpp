#include "core/filesystem/File.h"

#include "support/FilesystemTesting.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <atomic>
#include <functional>
#include <set>
#include <climits>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>

namespace {

using Orvantis::ByteBuffer;
using Orvantis::ByteBufferView;
using Orvantis::Filesystem::File;
using Orvantis::Filesystem::Path;
using namespace OrvantisTest;
namespace bfs = boost::filesystem;

std::string fileError(const std::string& message) {
    return "4 Filesystem::File: " + message;
}

ByteBuffer bytes(const std::string& text) {
    return ByteBuffer(text);
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

TEST(File, NamesAreAbsoluteAndKeepTheirExtensions) {
    TempDir dir;
    WorkingDirectory cwd(dir.path.string());
    const std::string here = Path::workingDirectory();
    const File file("logs\\archive.tar.gz");
    EXPECT_EQ(file.path(), here + "/logs/archive.tar.gz");
    EXPECT_EQ(file.parentDirectory(), here + "/logs");
    EXPECT_EQ(file.name(), "archive.tar.gz");
    EXPECT_EQ(File(std::string("/x/.hidden")).name(), ".hidden");
    EXPECT_EQ(File(std::string("/x/b.")).name(), "b");
    EXPECT_EQ(File(Path("/x/plain")).name(), "plain");

    WorkingDirectory elsewhere("/");
    EXPECT_EQ(file.path(), here + "/logs/archive.tar.gz");
}

TEST(File, CreateRemoveAndRenameReportEveryRefusal) {
    TempDir dir;
    LogSession log;
    File file(dir.file("a.txt"));
    EXPECT_TRUE(file.create());
    EXPECT_TRUE(File(dir.file("new/deeper/b.txt")).createRecursive());
    EXPECT_TRUE(bfs::is_regular_file(dir.file("new/deeper/b.txt")));
    EXPECT_TRUE(file.rename("c.txt"));
    EXPECT_EQ(file.path(), dir.file("c.txt"));
    EXPECT_TRUE(file.rename("new/c.txt"));  // relative names are taken below the file's directory
    EXPECT_EQ(file.path(), dir.file("new/c.txt"));
    EXPECT_TRUE(file.remove());
    EXPECT_FALSE(bfs::exists(dir.file("new/c.txt")));
    EXPECT_TRUE(file.remove());
    EXPECT_TRUE(reports(*log.recording).empty());

    writeFile(dir.file("keep"), "old");
    writeFile(dir.file("taken"), "other");
    struct Case {
        const char* what;
        std::function<bool()> operation;
        std::string lastReport;
    };
    const Case refused[] = {
        {"create existing", [&] { return File(dir.file("keep")).create(); }, "Trying to create a file that already exists."},
        {"create without parent", [&] { return File(dir.file("none/x")).create(); }, "Create a file failed."},
        {"create below a file", [&] { return File(dir.file("keep/x")).create(); }, "Create a file failed."},
        {"create overlong", [&] { return File(dir.file(std::string(NAME_MAX + 1, 'n'))).create(); }, "Create a file failed."},
        {"rename onto existing", [&] { return File(dir.file("keep")).rename("taken"); },
         "Trying to rename a file to a name that is already in use."},
        {"rename missing", [&] { return File(dir.file("absent")).rename("fresh"); },
         "Trying to rename a file that does not exist."},
        {"rename into missing directory", [&] { return File(dir.file("keep")).rename("no/such/name"); },
         "Error in file renaming: No such file or directory"},
        {"remove non-empty directory", [&] { return File(dir.file("new")).remove(); },
         "Error in file removal: Directory not empty"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        clearReports(*log.recording);
        EXPECT_FALSE(c.operation());
        const auto seen = reports(*log.recording);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), fileError(c.lastReport));
    }
    EXPECT_EQ(readFile(dir.file("keep")), "old");
    EXPECT_EQ(readFile(dir.file("taken")), "other");
}

TEST(File, SizeAndModificationTime) {
    TempDir dir;
    writeFile(dir.file("f"), "12345");
    bfs::last_write_time(dir.file("f"), 1000000000);
    LogSession log;
    EXPECT_EQ(File(dir.file("f")).size(), 5u);
    EXPECT_EQ(File(dir.file("f")).lastModified(), 1000000000);
    EXPECT_EQ(File(dir.file("missing")).size(), 0u);
    EXPECT_EQ(File(dir.file("missing")).lastModified(), 0);
    EXPECT_TRUE(reports(*log.recording).empty());

    EXPECT_EQ(File(dir.path.string()).size(), 0u);
    const auto seen = reports(*log.recording);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].rfind(fileError("Error during retrieval of file size: "), 0), 0u) << seen[0];
}

TEST(File, BinaryContentRoundTripsExactly) {
    TempDir dir;
    LogSession log;
    const std::string raw("a\0b\r\nc\xff", 7);
    File file(dir.file("sub/dir/data.bin"));
    EXPECT_TRUE(file.appendBinary(bytes(raw)));  // creates the directories
    EXPECT_TRUE(file.appendBinary(bytes("tail")));
    EXPECT_EQ(file.readBinary().toString(), raw + "tail");
    EXPECT_TRUE(file.writeBinary(bytes(raw)));
    EXPECT_EQ(readFile(dir.file("sub/dir/data.bin")), raw);

    EXPECT_TRUE(file.writeBinary(ByteBufferView()));
    EXPECT_EQ(file.size(), 0u);
    EXPECT_TRUE(file.readBinary().empty());
    File fresh(dir.file("fresh.bin"));
    EXPECT_TRUE(fresh.writeBinary(ByteBufferView()));
    EXPECT_TRUE(bfs::is_regular_file(dir.file("fresh.bin")));
    EXPECT_TRUE(reports(*log.recording).empty());
}

TEST(File, TextIsSplitAtLineFeedsAndEveryWrittenLineEnds) {
    TempDir dir;
    LogSession log;
    File file(dir.file("missing/dir/t.txt"));
    EXPECT_TRUE(file.appendText({"a"}));
    EXPECT_TRUE(file.appendText({"b", ""}));
    EXPECT_EQ(readFile(dir.file("missing/dir/t.txt")), "a\nb\n\n");
    EXPECT_EQ(file.readText(), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_TRUE(file.writeText({"x\ry", "z"}));
    EXPECT_EQ(readFile(dir.file("missing/dir/t.txt")), "x\ry\nz\n");

    struct Case {
        std::string content;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}}, {"\n", {""}}, {"one", {"one"}}, {"one\ntwo", {"one", "two"}}, {"a\n\nb\n", {"a", "", "b"}},
    };
    for (const Case& c : cases) {
        writeFile(dir.file("t"), c.content);
        EXPECT_EQ(File(dir.file("t")).readText(), c.lines) << c.content;
    }
    EXPECT_TRUE(file.writeText({}));
    EXPECT_EQ(file.size(), 0u);
    EXPECT_TRUE(reports(*log.recording).empty());
}

TEST(File, ReadFailuresReportAndAnswerEmpty) {
    TempDir dir;
    SocketFile socket(dir.file("socket"));
    LogSession log;
    const std::string missing = dir.file("missing");
    const std::string sock = dir.file("socket");

    EXPECT_TRUE(File(missing).readBinary().empty());
    EXPECT_TRUE(File(missing).readText().empty());
    EXPECT_EQ(reports(*log.recording), std::vector<std::string>(2, fileError("File '" + missing + "' does not exist.")));

    clearReports(*log.recording);
    EXPECT_TRUE(File(sock).readBinary().empty());
    EXPECT_TRUE(File(sock).readText().empty());
    EXPECT_EQ(reports(*log.recording), std::vector<std::string>(2, fileError("Can not open file '" + sock + "'.")));

    clearReports(*log.recording);
    EXPECT_TRUE(File(dir.path.string()).readBinary().empty());
    EXPECT_TRUE(File(dir.path.string()).readText().empty());
    EXPECT_EQ(reports(*log.recording),
              std::vector<std::string>(2, fileError("Error when reading from file '" + dir.path.string() + "': Is a directory")));
}

TEST(File, WriteFailuresReportAndAnswerFalse) {
    TempDir dir;
    writeFile(dir.file("plain"), "");
    LogSession log;
    const ByteBuffer data = bytes("some bytes");

    // The device accepts the open and refuses every byte.
    File full(std::string("/dev/full"));
    EXPECT_FALSE(full.writeBinary(data));
    EXPECT_FALSE(full.appendBinary(data));
    EXPECT_FALSE(full.writeText({"line"}));
    EXPECT_FALSE(full.appendText({"line"}));
    EXPECT_EQ(reports(*log.recording),
              std::vector<std::string>(4, fileError("Error when writing to file '/dev/full': No space left on device")));

    const std::string unopenable[] = {dir.file("plain/below"), dir.file(std::string(NAME_MAX + 1, 'n')), dir.file("socket")};
    SocketFile socket(dir.file("socket"));
    for (const std::string& path : unopenable) {
        SCOPED_TRACE(path);
        clearReports(*log.recording);
        File file(path);
        EXPECT_FALSE(file.writeBinary(data));
        EXPECT_FALSE(file.appendText({"x"}));
        const auto seen = reports(*log.recording);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), fileError("Can not open file '" + path + "'."));
    }
    EXPECT_EQ(readFile(dir.file("plain")), "");
}

TEST(File, StreamsOpenWithTheGivenModes) {
    TempDir dir;
    File file(dir.file("s.txt"));
    {
        std::ofstream out = file.openForWriting(0);
        out << "first\n";
    }
    {
        std::ofstream out = file.openForWriting(std::ios_base::app);
        out << "second\n";
    }
    std::ifstream in = file.openForReading(std::ios_base::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "first\nsecond\n");
    EXPECT_FALSE(File(dir.file("missing")).openForReading(0).good());
    EXPECT_FALSE(File(dir.file("no/dir/x")).openForWriting(0).good());
}

// Another thread makes the file come and go, so that it vanishes between
// the existence test and the operation on some calls. Every call must still
// answer one of its documented results, with the matching report.
TEST(File, AFileThatVanishesMidOperationGivesADocumentedResult) {
    TempDir dir;
    const std::string path = dir.file("flicker");
    const std::string parked = dir.file("parked");
    writeFile(path, "content");
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
        EXPECT_GE(modified, -1);
    }
    stop = true;
    flicker.join();
    for (const std::string& report : reports(*log.recording)) {
        EXPECT_EQ(allowed.count(report), 1u) << report;
    }
}

}  // namespace
