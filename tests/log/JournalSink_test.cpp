// The journal sink against a datagram socket of the test's own, decoding what
// arrives as the journal's native protocol defines it.
#include "core/log/sinks/JournalSink.h"

#include "support/Capture.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#ifndef _WIN32

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

namespace {

using namespace Orvantis;

// The next datagram, or the memory file whose descriptor came instead, as "KEY=value\n" lines; a value with a
// line feed or a NUL comes as "KEY\n", a 64-bit little-endian length, the bytes and "\n", shown as "KEY==value\n".
std::string receive(int receiver) {
    std::string data(1 << 20, '\0');
    iovec part{data.data(), data.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr header{nullptr, 0, &part, 1, control, sizeof control, 0};
    data.resize(static_cast<size_t>(std::max<ssize_t>(0, ::recvmsg(receiver, &header, MSG_DONTWAIT))));
    if (cmsghdr* rights = CMSG_FIRSTHDR(&header); rights != nullptr && rights->cmsg_type == SCM_RIGHTS) {
        int memory = -1;
        std::memcpy(&memory, CMSG_DATA(rights), sizeof memory);
        data = OrvantisTest::readFile("/proc/self/fd/" + std::to_string(memory));
        ::close(memory);
    }
    std::string fields;
    std::istringstream in(data);
    for (std::string line; std::getline(in, line); fields += line + "\n") {
        if (line.find('=') == std::string::npos) {
            uint64_t length = 0;  // little-endian, as on the machines this runs on
            in.read(reinterpret_cast<char*>(&length), sizeof length);
            std::string value(length, '\0');
            in.read(value.data(), static_cast<std::streamsize>(length)).ignore(1);  // and its "\n"
            line += "==" + value;
        }
    }
    return fields;
}

TEST(JournalSink, SendsTheNativeProtocolAndReportsAVanishedJournalOnce) {
    OrvantisTest::TempDir dir;
    const std::string socket = dir.file("journal.sock");
    EXPECT_THROW(Log::JournalSink("orvtest", socket), std::runtime_error);  // no journal yet
    OrvantisTest::writeFile(socket + ".txt", "");
    EXPECT_THROW(Log::JournalSink("orvtest", socket + ".txt"), std::runtime_error);  // not a socket
    const int receiver = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    OrvantisTest::LogSession session(Log::Asynchronous);
    Log::addSink(std::make_unique<Log::JournalSink>("orvtest", socket));
    const std::string binary("nul\0and \xC3 invalid", 17);
    const std::string huge(300 * 1024, 'x');
    const std::tuple<Log::Level, std::string, std::string, const char*, const char*, std::string> cases[] = {
        // level, category, message, priority, level name, the journal's message field
        {Log::Warning, "Backup", "disk 91% full", "4", "warning", "MESSAGE=[Backup] disk 91% full"},
        {Log::Error, "", "two\nlines", "3", "error", "MESSAGE==two\nlines"},
        {Log::Debug, "Backup", binary, "7", "debug", "MESSAGE==[Backup] " + binary},
        {Log::Info, "Big", huge, "6", "info", "MESSAGE=[Big] " + huge},  // too large for one datagram
    };
    const std::string tid = std::to_string(::gettid());
    for (const auto& [level, category, message, priority, levelName, expected] : cases) {
        SCOPED_TRACE(levelName);
        Log::log(level, category, message);
        Log::flush();
        EXPECT_EQ(receive(receiver), expected + "\nPRIORITY=" + priority + "\nSYSLOG_IDENTIFIER=orvtest\n" +
                                         "ORVANTIS_CATEGORY=" + category + "\nORVANTIS_LEVEL=" + levelName +
                                         "\nTID=" + tid + "\n");
    }
    ::close(receiver);
    std::filesystem::remove(socket);
    for (int i = 0; i < 3; ++i) {
        Log::log(Log::Info, "", "lost");
    }
    Log::flush();
    const auto records = OrvantisTest::takeReports(*session.recording);
    ASSERT_EQ(records.size(), std::size(cases) + 4);  // the sent ones, lost, the report, lost, lost
    EXPECT_EQ(records[std::size(cases) + 1], "4 Log::JournalSink: Could not send a record to the journal at '" +
                                                 socket + "': No such file or directory");
}

}  // namespace

#endif  // _WIN32
