// Buffers, the container format, strings and versions in the Windows build:
// the container file must be written byte for byte, whatever the platform's
// text-mode line ends.
#include "Harness.h"

#include "core/buffer/ByteBuffer.h"
#include "core/crypto/Cryptography.h"
#include "core/string/String.h"
#include "core/utils/Version.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

using namespace Orvantis;

std::string readBinary(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

WTEST(ContainerFileIsBinaryAndRoundTrips) {
    // Line feeds and a 0x1A (end of file in text mode) must survive.
    const std::string payload = "line one\nline two\r\n\x1A tail \n";
    char path[MAX_PATH];
    GetTempFileNameA(".", "orv", 0, path);
    WCHECK(Cryptography::encryptToFile(ByteBuffer(payload), path, "key"));
    const std::string file = readBinary(path);
    const ByteBuffer inMemory = Cryptography::encrypt(ByteBuffer(payload), "key");
    // The 22-character magic and its zero byte, then the container.
    WCHECK_EQ(file.size(), 23 + inMemory.size());
    WCHECK_EQ(file.substr(0, 23), std::string("ORVANTIS COMPRESSED v1\0", 23));
    WCHECK(file.substr(23) == inMemory.toString());
    WCHECK_EQ(Cryptography::decryptFromFile(path, "key").toString(), payload);
    DeleteFileA(path);
}

WTEST(StringsAndVersions) {
    WCHECK_EQ(String::trimCopy("\t x \r\n"), std::string("x"));
    WCHECK_EQ(String::split("a,,b", ",").size(), size_t{3});
    WCHECK(Utils::Version(1, 2, 3) < Utils::Version(1, 10, 0));
    WCHECK_EQ(Utils::Version(1, 2, 3).toString(), std::string("1.2.3"));
    WCHECK_EQ(Cryptography::hashDJB2(ByteBuffer(std::string("\xFF"))), 5381ULL * 33 - 1);
}

}  // namespace
