// Fuzzes applyXOR and hashDJB2 against their plain byte loops. Byte 0 picks
// the view's offset (0..63, so any alignment), byte 1 and 2 the key length
// (1..4096, the key taken from the input, zero bytes replaced); the rest of
// the input is the data.
#include "core/crypto/Cryptography.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace Orvantis;

unsigned long long hashBytewise(const char* bytes, std::size_t n) {
    unsigned long long h = 5381;
    for (std::size_t i = 0; i < n; ++i) {
        h = h * 33 + static_cast<unsigned long long>(static_cast<signed char>(bytes[i]));
    }
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::size_t offset = data[0] % 64;
    std::size_t keyLength = 1 + ((std::size_t(data[1]) << 8 | data[2]) % 4096);
    const std::string rest(reinterpret_cast<const char*>(data + 3), size - 3);
    std::string key = rest.substr(0, keyLength) + std::string(keyLength, 'k');
    key.resize(keyLength);
    for (char& c : key) {
        c = c == '\0' ? 'z' : c;
    }

    std::string buffer(offset, '\0');
    buffer += rest;
    char* bytes = &buffer[offset];
    const std::size_t n = rest.size();
    if (Cryptography::hashDJB2(ByteBufferView(bytes, n)) != hashBytewise(bytes, n)) {
        std::abort();
    }
    Cryptography::applyXOR(ByteBufferView(bytes, n), key.c_str());
    for (std::size_t i = 0; i < n; ++i) {
        if (bytes[i] != static_cast<char>(rest[i] ^ key[keyLength - 1 - i % keyLength])) {
            std::abort();
        }
    }
    return 0;
}
