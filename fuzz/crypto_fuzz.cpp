// Fuzzes the container reader: arbitrary bytes go to decrypt, once with the
// default key (the whole input is the container) and once with a key taken
// from the input (byte 0 gives its length k < 16, bytes 1..k the key, the
// rest is the container). Every input is also encrypted and must decrypt to
// itself.
//
// Inputs whose header announces more than 1 MiB are not decrypted: the
// result would legitimately need that much memory, which only measures the
// fuzzer's memory limit.
#include "core/crypto/Cryptography.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>

namespace {

using namespace Orvantis;

constexpr std::uint32_t announcedLimit = 1u << 20;

// Swallows the status messages that decrypt writes to std::cout.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

std::uint32_t announcedLength(const std::string& container, const char* key) {
    std::string header = container.substr(0, 4);
    Cryptography::applyXOR(ByteBufferView(header), key);
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < header.size(); ++i) {
        length |= std::uint32_t(static_cast<unsigned char>(header[i])) << (8 * i);
    }
    return length;
}

void checkDecrypt(std::string container, const char* key) {
    if (container.size() >= 8 && announcedLength(container, key) > announcedLimit) {
        return;
    }
    const std::string before = container;
    const ByteBuffer result = Cryptography::decrypt(ByteBufferView(container), key);
    if (container != before) {
        std::abort();  // the caller's bytes must stay unchanged
    }
    if (result.data() != nullptr && result.size() != announcedLength(container, key)) {
        std::abort();  // a success always has the announced length
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static NullBuffer null;
    std::cout.rdbuf(&null);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkDecrypt(input, nullptr);

    if (size > 0) {
        const std::size_t keyLength = std::min<std::size_t>(data[0] % 16, size - 1);
        const std::string key = input.substr(1, keyLength);  // stops at a zero byte when used
        checkDecrypt(input.substr(1 + keyLength), key.c_str());

        std::string plain = input;
        const ByteBuffer container = Cryptography::encrypt(ByteBufferView(plain), key.c_str());
        if (Cryptography::decrypt(container, key.c_str()).toString() != input) {
            std::abort();
        }
    }
    return 0;
}
