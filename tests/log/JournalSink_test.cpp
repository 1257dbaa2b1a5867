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
#include <map>

namespace {

using namespace Orvantis;
using Fields = std::map<std::string, std::string>;

// The fields of the next datagram, or of the memory file whose descriptor came instead: "KEY=value\n", or
// "KEY\n", a 64-bit little-endian length (as this machine's), the bytes and "\n".
Fields receive(int receiver) {
    std::string data(1 << 20, '\0');
    iovec part{data.data(), data.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr header{nullptr, 0, &part, 1, control, sizeof control, 0};
    data.resize(static_cast<size_t>(std::max<ssize_t>(0, ::recvmsg(receiver, &header, MSG_DONTWAIT))));
    if (cmsghdr* rights = CMSG_FIRSTHDR(&header); rights != nullptr && rights->cmsg_type == SCM_RIGHTS) {
        EXPECT_EQ(data, "") << "a datagram with a memory file carries nothing else";
        int memory = -1;
        std::memcpy(&memory, CMSG_DATA(rights), sizeof memory);
        data = OrvantisTest::readFile("/proc/self/fd/" + std::to_string(memory));
        ::close(memory);
    }
    Fields fields;
    std::istringstream in(data);
    for (std::string key; std::getline(in, key);) {
        if (const size_t equals = key.find('='); equals != std::string::npos) {
            fields[key.substr(0, equals)] = key.substr(equals + 1);
            continue;
        }
        uint64_t length = 0;
        in.read(reinterpret_cast<char*>(&length), sizeof length);
        std::string& value = fields[key] = std::string(length, '\0');
        in.read(value.data(), static_cast<std::streamsize>(length)).ignore(1);  // and its "\n"
    }
    return fields;
}

TEST(JournalSink, SendsTheNativeProtocolAndReportsAVanishedJournalOnce) {
    OrvantisTest::TempDir dir;
    const std::string socket = dir.file("journal.sock");
    EXPECT_THROW(Log::JournalSink("orvtest", socket), std::runtime_error);  // no journal yet
    const int receiver = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    OrvantisTest::LogSession session(Log::Asynchronous);
    Log::addSink(std::make_unique<Log::JournalSink>("orvtest", socket));
    const std::string binary("nul\0and \xC3 invalid", 17);
    const std::string huge(300 * 1024, 'x');
    const std::tuple<Log::Level, std::string, std::string, const char*, const char*, std::string> cases[] = {
        // level, category, message, priority, level name, the journal's message
        {Log::Warning, "Backup", "disk 91% full", "4", "warning", "[Backup] disk 91% full"},
        {Log::Error, "", "two\nlines", "3", "error", "two\nlines"},
        {Log::Debug, "multi\nline", binary, "7", "debug", "[multi\nline] " + binary},
        {Log::Info, "Big", huge, "6", "info", "[Big] " + huge},  // too large for one datagram
    };
    for (const auto& [level, category, message, priority, levelName, expected] : cases) {
        SCOPED_TRACE(levelName);
        Log::log(level, category, message);
        Log::flush();
        EXPECT_EQ(receive(receiver), (Fields{{"MESSAGE", expected},
                                             {"PRIORITY", priority},
                                             {"SYSLOG_IDENTIFIER", "orvtest"},
                                             {"ORVANTIS_CATEGORY", category},
                                             {"ORVANTIS_LEVEL", levelName},
                                             {"TID", std::to_string(::gettid())}}));
    }
    ::close(receiver);
    std::filesystem::remove(socket);
    for (int i = 0; i < 3; ++i) {
        Log::log(Log::Info, "", "lost");
    }
    Log::flush();
    const auto records = session.takeRecords();
    ASSERT_EQ(records.size(), std::size(cases) + 4);  // the sent ones, lost, the report, lost, lost
    EXPECT_EQ(records[std::size(cases) + 1], (OrvantisTest::Record{Log::Error, "Log::JournalSink",
                                                                   "Could not send a record to the journal at '" +
                                                                       socket + "': No such file or directory"}));
}

}  // namespace

#endif  // _WIN32
