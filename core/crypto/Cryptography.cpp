#include "core/crypto/Cryptography.h"

#include "core/log/Log.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>

namespace Orvantis::Cryptography {

namespace {

constexpr char defaultKey[] = "(K) 2031 Orvantis Works, Tarnby, Halvia";
// 22 characters and the terminating zero byte, which belongs to the magic.
constexpr char magic[] = "ORVANTIS COMPRESSED v1";
constexpr std::size_t magicSize = sizeof(magic);
static_assert(magicSize == 23, "the file magic is 22 characters and a zero byte");

constexpr std::size_t headerSize = 8;
// All lengths inside a container are 32-bit quantities.
constexpr unsigned long long containerDataLimit = 1ull << 32;
// Container files are measured with a signed 32-bit length.
constexpr std::streamoff fileSizeLimit = std::streamoff(1) << 31;
// XOR positions are counted with a signed 32-bit integer.
constexpr std::size_t xorPositionLimit = std::size_t(1) << 31;

const char* chooseKey(const char* key) {
    return key == nullptr || *key == '\0' ? defaultKey : key;
}

void reportStatus(const char* what, int zlibStatus) {
    std::cout << what << zlibStatus << std::endl;
}

void reportFile(const char* before, const std::string& filename, const char* after) {
    std::cout << before << filename << after << std::flush;
}

void storeLength(char* header, std::uint32_t length) {
    for (std::size_t i = 0; i < headerSize; ++i) {
        header[i] = static_cast<char>(i < 4 ? (length >> (8 * i)) & 0xFF : 0);
    }
}

std::uint32_t loadLength(const char* header) {
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        length |= std::uint32_t(static_cast<unsigned char>(header[i])) << (8 * i);
    }
    return length;
}

Bytef* zlibBytes(char* p) {
    return reinterpret_cast<Bytef*>(p);
}

const Bytef* zlibBytes(const char* p) {
    return reinterpret_cast<const Bytef*>(p);
}

}  // namespace

void applyXOR(ByteBufferView& data, const char* key) {
    if (data.empty()) {
        return;
    }
    const char* k = chooseKey(key);
    const std::size_t keyLength = std::strlen(k);
    const std::size_t count = data.size() < xorPositionLimit ? data.size() : xorPositionLimit;
    char* bytes = data.data();
    std::size_t keyPosition = 0;  // i mod keyLength, without a division per byte
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ k[keyLength - 1 - keyPosition]);
        if (++keyPosition == keyLength) {
            keyPosition = 0;
        }
    }
}

ByteBuffer encrypt(const ByteBufferView& data, const char* key) {
    try {
        if (data.size() >= containerDataLimit) {
            reportStatus("Compression error: ", Z_STREAM_ERROR);
            return ByteBuffer();
        }
        if (data.empty()) {
            return ByteBuffer();
        }
        const auto inputLength = static_cast<uLong>(data.size());
        const uLong bound = compressBound(inputLength);
        std::unique_ptr<char[]> array(new char[bound + headerSize]());

        uLongf streamLength = bound;
        const int status = compress2(zlibBytes(array.get() + headerSize), &streamLength, zlibBytes(data.data()),
                                     inputLength, Z_DEFAULT_COMPRESSION);
        if (status != Z_OK) {
            reportStatus("Compression error: ", status);
            return ByteBuffer();
        }
        storeLength(array.get(), static_cast<std::uint32_t>(inputLength));

        // The array may be longer than the container; the rest is not part of it.
        ByteBuffer container(std::move(array), streamLength + headerSize);
        applyXOR(container, key);
        return container;
    } catch (const std::bad_alloc& e) {
        ORVANTIS_LOG(Log::Error, "Cryptography", "Caught bad_alloc exception on encrypt: " << e.what());
        return ByteBuffer();
    }
}

ByteBuffer decrypt(const ByteBufferView& data, const char* key) {
    try {
        if (data.size() >= containerDataLimit) {
            reportStatus("Uncompression error: ", Z_STREAM_ERROR);
            return ByteBuffer();
        }
        if (data.empty()) {
            return ByteBuffer();
        }
        // Too short for the header: reject before reading it.
        if (data.size() < headerSize) {
            reportStatus("Uncompression error: ", Z_DATA_ERROR);
            return ByteBuffer();
        }

        ByteBuffer container(data);
        applyXOR(container, key);
        const std::uint32_t announced = loadLength(container.data());

        ByteBuffer result(announced);
        uLongf produced = announced;
        const int status = uncompress(zlibBytes(result.data()), &produced, zlibBytes(container.data() + headerSize),
                                      static_cast<uLong>(container.size() - headerSize));
        if (status != Z_OK) {
            reportStatus("Uncompression error: ", status);
            return ByteBuffer();
        }
        // A stream shorter than announced still gives the announced length.
        if (produced < announced) {
            std::memset(result.data() + produced, 0, announced - produced);
        }
        return result;
    } catch (const std::bad_alloc& e) {
        ORVANTIS_LOG(Log::Error, "Cryptography", "Caught bad_alloc exception on decrypt: " << e.what());
        return ByteBuffer();
    }
}

bool encryptToFile(const ByteBufferView& data, const std::string& filename, const char* key) {
    try {
        const ByteBuffer container = encrypt(data, key);
        if (container.empty()) {
            std::cout << "Could not encrypt data.\n" << std::flush;
            return false;
        }
        std::ofstream out(filename, std::ios::binary | std::ios::trunc);
        if (!out.is_open()) {
            reportFile("Could not open file ", filename, " for writing.\n");
            return false;
        }
        out.write(magic, magicSize);
        out.write(container.data(), static_cast<std::streamsize>(container.size()));
        // Push the bytes out now, so that a full disk counts as a failed write.
        out.flush();
        if (!out) {
            reportFile("Error while writing to file ", filename, ".\n");
            return false;
        }
        out.close();
        return true;
    } catch (const std::bad_alloc& e) {
        ORVANTIS_LOG(Log::Error, "Cryptography", "Caught bad_alloc exception on encryptToFile: " << e.what());
        return false;
    }
}

ByteBuffer decryptFromFile(const std::string& filename, const char* key) {
    try {
        std::ifstream in(filename, std::ios::binary);
        if (!in.is_open()) {
            reportFile("Cannot open input file ", filename, ".");
            return ByteBuffer();
        }
        in.seekg(0, std::ios::end);
        const std::streamoff fileSize = in.tellg();  // -1 when the size cannot be taken
        if (fileSize < std::streamoff(magicSize + 1) || fileSize >= fileSizeLimit) {
            reportFile("Invalid input file ", filename, ".\n");
            return ByteBuffer();
        }

        in.seekg(0, std::ios::beg);
        char fileMagic[magicSize];
        if (!in.read(fileMagic, magicSize)) {
            reportFile("Error while reading from file ", filename, ".\n");
            return ByteBuffer();
        }
        if (std::memcmp(fileMagic, magic, magicSize) != 0) {
            reportFile("Wrong magic byte in input file ", filename, ".\n");
            return ByteBuffer();
        }

        const auto containerSize = static_cast<std::size_t>(fileSize) - magicSize;
        ByteBuffer container(containerSize);
        if (!in.read(container.data(), static_cast<std::streamsize>(containerSize))) {
            reportFile("Error while reading from file ", filename, ".\n");
            return ByteBuffer();
        }
        in.close();
        return decrypt(container, key);
    } catch (const std::bad_alloc& e) {
        ORVANTIS_LOG(Log::Error, "Cryptography", "Caught bad_alloc exception on decryptFromFile: " << e.what());
        return ByteBuffer();
    }
}

unsigned long long hashDJB2(const ByteBufferView& data) {
    unsigned long long hash = 5381;
    for (const char c : data) {
        // The byte counts as a signed value: 0x80..0xFF add their value minus 256.
        hash = hash * 33 + static_cast<unsigned long long>(static_cast<long long>(static_cast<signed char>(c)));
    }
    return hash;
}

}  // namespace Orvantis::Cryptography
