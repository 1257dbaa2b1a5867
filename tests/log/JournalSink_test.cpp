// The journal sink against a datagram socket of the test's own, decoding what
// arrives as the journal's native protocol defines it.
#include "core/log/sinks/JournalSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#ifdef _WIN32

TEST(JournalSink, SendsToTheSystemdJournal) {
    GTEST_SKIP() << "the systemd journal exists only on Linux";
}

#else

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

namespace {

using namespace Orvantis;
using Fields = std::map<std::string, std::string>;

// "KEY=value\n" lines, or "KEY\n" + 64-bit little-endian length + bytes + "\n".
Fields decode(const std::string& data) {
    Fields fields;
    size_t at = 0;
    while (at < data.size()) {
        const size_t end = data.find_first_of("=\n", at);
        EXPECT_NE(end, std::string::npos) << "truncated field";
        if (end == std::string::npos) {
            break;
        }
        const std::string key = data.substr(at, end - at);
        if (data[end] == '=') {
            const size_t lineEnd = data.find('\n', end);
            fields[key] = data.substr(end + 1, lineEnd - end - 1);
            at = lineEnd + 1;
        } else {
            uint64_t length = 0;
            for (int i = 7; i >= 0; --i) {
                length = length << 8 | static_cast<unsigned char>(data[end + 1 + i]);
            }
            fields[key] = data.substr(end + 9, length);
            EXPECT_EQ(data[end + 9 + length], '\n');
            at = end + 10 + length;
        }
    }
    return fields;
}

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        receiver = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    void TearDown() override { ::close(receiver); }

    // The next datagram, or the memory file whose descriptor came instead.
    std::string receive() {
        std::string data(1 << 20, '\0');
        iovec part{data.data(), data.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr header{};
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(receiver, &header, MSG_DONTWAIT);
        if (n < 0) {
            return "";
        }
        data.resize(static_cast<size_t>(n));
        if (cmsghdr* rights = CMSG_FIRSTHDR(&header); rights != nullptr && rights->cmsg_type == SCM_RIGHTS) {
            int memory = -1;
            std::memcpy(&memory, CMSG_DATA(rights), sizeof memory);
            EXPECT_EQ(n, 0);
            data.assign(1 << 20, '\0');
            data.resize(static_cast<size_t>(std::max<ssize_t>(0, ::pread(memory, data.data(), data.size(), 0))));
            ::close(memory);
        }
        return data;
    }

    OrvantisTest::TempDir dir;
    std::string socket = dir.file("journal.sock");
    int receiver = -1;
};

TEST_F(JournalTest, SendsEveryFieldInTheNativeProtocol) {
    OrvantisTest::LogSession session(Log::Synchronous);
    Log::addSink(std::make_unique<Log::JournalSink>("orvtest", socket));
    const std::string binary("nul\0and \xC3 invalid", 17);
    const std::string huge(300 * 1024, 'x');
    struct Case {
        Log::Level level;
        std::string category, message, priority, levelName, expectedMessage;
    };
    const Case cases[] = {
        {Log::Warning, "Backup", "disk 91% full", "4", "warning", "[Backup] disk 91% full"},
        {Log::Error, "", "two\nlines", "3", "error", "two\nlines"},
        {Log::Debug, "multi\nline", binary, "7", "debug", "[multi\nline] " + binary},
        {Log::Info, "Big", huge, "6", "info", "[Big] " + huge},  // too large for one datagram
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.priority);
        Log::log(c.level, c.category, c.message);
        const Fields fields = decode(receive());
        EXPECT_EQ(fields, (Fields{{"MESSAGE", c.expectedMessage},
                                  {"PRIORITY", c.priority},
                                  {"SYSLOG_IDENTIFIER", "orvtest"},
                                  {"ORVANTIS_CATEGORY", c.category},
                                  {"ORVANTIS_LEVEL", c.levelName},
                                  {"TID", std::to_string(::gettid())}}));
    }
}

TEST_F(JournalTest, MissingOrVanishingJournal) {
    try {
        Log::JournalSink sink("orvtest", dir.file("absent.sock"));
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "No systemd journal socket at '" + dir.file("absent.sock") +
                                             "': the journal does not run on this machine.");
    }

    OrvantisTest::LogSession session(Log::Asynchronous);
    Log::addSink(std::make_unique<Log::JournalSink>("orvtest", socket));
    ::close(receiver);
    receiver = -1;
    std::filesystem::remove(socket);
    for (int i = 0; i < 3; ++i) {
        Log::log(Log::Info, "", "lost");
    }
    Log::flush();
    const auto records = session.takeRecords();
    ASSERT_EQ(records.size(), 4u);  // lost, the report, lost, lost
    EXPECT_EQ(records[1], (OrvantisTest::Record{Log::Error, "Log::JournalSink",
                                                "Could not send a record to the journal at '" + socket +
                                                    "': No such file or directory"}));
}

}  // namespace

#endif  // _WIN32
