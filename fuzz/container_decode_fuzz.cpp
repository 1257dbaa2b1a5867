// Differential fuzzing of the container decoder. decrypt decodes with
// libdeflate and lets zlib decide whenever libdeflate fails; this target
// decodes every input a second time the plain way (unscramble a copy, read
// the header, zlib's uncompress into the announced length, zero-fill a short
// result) and aborts on any difference in the bytes returned or in the
// status printed. The input is the scrambled container under the default
// key; the seed corpus holds real containers for the fuzzer to mutate.
//
// Inputs whose header announces more than 1 MiB are skipped: the result
// would legitimately need that much memory, which only measures the
// fuzzer's memory limit.
#include "core/crypto/Cryptography.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

namespace {

using namespace Orvantis;

constexpr std::uint32_t announcedLimit = 1u << 20;
const std::string defaultKey = "(K) 2031 Orvantis Works, Tarnby, Halvia";

std::string unscrambled(std::string bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ defaultKey[defaultKey.size() - 1 - i % defaultKey.size()]);
    }
    return bytes;
}

std::uint32_t announcedLength(const std::string& plain) {
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        length |= std::uint32_t(static_cast<unsigned char>(plain[i])) << (8 * i);
    }
    return length;
}

// The decoder as zlib alone would run it; `printed` gets its status line.
std::string decodeWithZlib(const std::string& container, std::string& printed) {
    if (container.empty()) {
        return "";
    }
    if (container.size() < 8) {
        printed = "Uncompression error: -3\n";
        return "";
    }
    const std::string plain = unscrambled(container);
    std::string result(announcedLength(plain), '\0');
    uLongf length = static_cast<uLongf>(result.size());
    const int status =
        uncompress(reinterpret_cast<Bytef*>(&result[0]), &length, reinterpret_cast<const Bytef*>(plain.data() + 8),
                   static_cast<uLong>(plain.size() - 8));
    if (status != Z_OK) {
        printed = "Uncompression error: " + std::to_string(status) + "\n";
        return "";
    }
    return result;  // already zero beyond what was decoded
}

// zlib's own words for why it refused the stream of `container`.
std::string zlibMessage(const std::string& container) {
    if (container.size() < 8) {
        return "";
    }
    const std::string plain = unscrambled(container);
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return "";
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data() + 8));
    stream.avail_in = static_cast<uInt>(plain.size() - 8);
    std::string sink(1 << 16, '\0');
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(&sink[0]);
        stream.avail_out = static_cast<uInt>(sink.size());
        status = inflate(&stream, Z_NO_FLUSH);
    }
    const std::string message = stream.msg != nullptr ? stream.msg : "";
    inflateEnd(&stream);
    return message;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string container(reinterpret_cast<const char*>(data), size);
    if (size >= 8 && announcedLength(unscrambled(container.substr(0, 8))) > announcedLimit) {
        return 0;
    }
    std::string expectedPrinted;
    const std::string expected = decodeWithZlib(container, expectedPrinted);

    std::ostringstream printed;
    std::streambuf* previous = std::cout.rdbuf(printed.rdbuf());
    const ByteBuffer result = Cryptography::decrypt(ByteBufferView(container), nullptr);
    std::cout.rdbuf(previous);

    if (result.toString() != expected || printed.str() != expectedPrinted) {
        // The one documented difference (see fastInflate in Cryptography.cpp):
        // unused extra Huffman codes that only zlib refuses.
        if (expectedPrinted == "Uncompression error: -3\n" &&
            zlibMessage(container) == "too many length or distance symbols") {
            return 0;
        }
        std::abort();
    }
    return 0;
}
