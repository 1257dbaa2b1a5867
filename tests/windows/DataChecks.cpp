// The container file in the Windows build: it must be written byte for byte,
// whatever the platform's text-mode line ends.
#include "Harness.h"

#include "core/buffer/ByteBuffer.h"
#include "core/crypto/Cryptography.h"

#include <windows.h>

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

}  // namespace
