#include "core/crypto/Cryptography.h"

#include "core/log/Log.h"

#include <zlib.h>
#ifdef ORVANTIS_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>

// The XOR and the hash run with AVX2 where the processor has it (chosen at
// run time).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORVANTIS_AVX2_DISPATCH 1
#include <immintrin.h>
#else
#define ORVANTIS_AVX2_DISPATCH 0
#endif

namespace Orvantis::Cryptography {

namespace {

constexpr char kDefaultKey[] = "(K) 2031 Orvantis Works, Tarnby, Halvia";
// 22 characters and the terminating zero byte, which belongs to the magic.
constexpr char kMagic[] = "ORVANTIS COMPRESSED v1";
constexpr std::size_t kMagicSize = sizeof(kMagic);
static_assert(kMagicSize == 23, "the file magic is 22 characters and a zero byte");

constexpr std::size_t kHeaderSize = 8;
// All lengths inside a container are 32-bit quantities.
constexpr unsigned long long kContainerDataLimit = 1ull << 32;
// Container files are measured with a signed 32-bit length.
constexpr std::streamoff kFileSizeLimit = std::streamoff(1) << 31;
// XOR positions are counted with a signed 32-bit integer.
constexpr std::uint64_t kXorPositionLimit = std::uint64_t(1) << 31;
// The streaming functions read and write in pieces of this size.
constexpr std::size_t kStreamChunk = std::size_t(1) << 20;

constexpr char kCategory[] = "Cryptography";

// The one failure this family logs; everything else goes to std::cout.
void reportOutOfMemory(const char* operation, const std::bad_alloc& e) {
    ORVANTIS_LOG(Log::Error, kCategory, "Caught bad_alloc exception on " << operation << ": " << e.what());
}

const char* chooseKey(const char* key) {
    return key == nullptr || *key == '\0' ? kDefaultKey : key;
}

// XORs `n` bytes of `tile` into `bytes`, a machine word at a time. Neither
// pointer needs any alignment.
void xorWords(char* bytes, const char* tile, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t a;
        std::uint64_t b;
        std::memcpy(&a, bytes + i, 8);
        std::memcpy(&b, tile + i, 8);
        a ^= b;
        std::memcpy(bytes + i, &a, 8);
    }
    for (; i < n; ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ tile[i]);
    }
}

#if ORVANTIS_AVX2_DISPATCH
// The same with 32-byte vectors, four at a time; chosen at run time on
// processors that have AVX2.
__attribute__((target("avx2"))) void xorVectors(char* bytes, const char* tile, std::size_t n) {
    std::size_t i = 0;
    for (; i + 128 <= n; i += 128) {
        for (std::size_t j = i; j < i + 128; j += 32) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + j));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tile + j));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes + j), _mm256_xor_si256(a, b));
        }
    }
    for (; i + 32 <= n; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tile + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes + i), _mm256_xor_si256(a, b));
    }
    xorWords(bytes + i, tile + i, n - i);
}
#endif

bool processorHasAvx2() {
#if ORVANTIS_AVX2_DISPATCH
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

using XorFunction = void (*)(char*, const char*, std::size_t);

XorFunction chooseXor() {
#if ORVANTIS_AVX2_DISPATCH
    if (processorHasAvx2()) {
        return xorVectors;
    }
#endif
    return xorWords;
}

// The XOR step for bytes anywhere in a container: container byte p is XORed
// with key character L-1-(p mod L); positions from 2^31 on stay unchanged.
//
// Large runs go through a tile: the key reversed and repeated to a period
// that is a multiple of its length (at least 1 KiB), followed by one more
// step's worth of the same pattern, so that tile[period + j] == tile[j]. A
// run is XORed in whole steps from any tile offset below the period; the
// offset then wraps by the period, which keeps it in step with the key.
class Scrambler {
public:
    explicit Scrambler(const char* given) : key(chooseKey(given)), keyLength(std::strlen(key)) {}

    // XORs the `n` bytes at `bytes`, which sit at container positions
    // position .. position + n - 1.
    void apply(char* bytes, std::size_t n, std::uint64_t position) {
        if (position >= kXorPositionLimit) {
            return;
        }
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, kXorPositionLimit - position));
        if (n < kSmallRun || keyLength > kPeriodCapacity) {
            applyBytewise(bytes, n, position);
            return;
        }
        if (period == 0) {
            buildTile();
        }
        static const XorFunction xorRun = chooseXor();
        std::size_t offset = static_cast<std::size_t>(position % period);
        while (n > 0) {
            // Up to the period's end, rounded up to whole steps.
            const std::size_t toEnd = (period - offset + kStep - 1) / kStep * kStep;
            const std::size_t run = std::min(n, toEnd);
            xorRun(bytes, tile + offset, run);
            bytes += run;
            n -= run;
            offset += run;
            if (offset >= period) {
                offset -= period;
            }
        }
    }

private:
    static constexpr std::size_t kStep = 32;
    static constexpr std::size_t kSmallRun = 256;
    static constexpr std::size_t kMinimumPeriod = 1024;
    static constexpr std::size_t kPeriodCapacity = 8192;

    void applyBytewise(char* bytes, std::size_t n, std::uint64_t position) const {
        std::size_t keyPosition = static_cast<std::size_t>(position % keyLength);
        for (std::size_t i = 0; i < n; ++i) {
            bytes[i] = static_cast<char>(bytes[i] ^ key[keyLength - 1 - keyPosition]);
            if (++keyPosition == keyLength) {
                keyPosition = 0;
            }
        }
    }

    void buildTile() {
        period = (kMinimumPeriod + keyLength - 1) / keyLength * keyLength;
        for (std::size_t j = 0; j < keyLength; ++j) {
            tile[j] = key[keyLength - 1 - j];
        }
        // Doubling copies; every copy starts at a multiple of the key length.
        for (std::size_t filled = keyLength; filled < period + kStep; filled *= 2) {
            std::memcpy(tile + filled, tile, std::min(filled, period + kStep - filled));
        }
    }

    const char* key;
    std::size_t keyLength;
    std::size_t period = 0;  // 0 until the tile is built
    alignas(64) char tile[kPeriodCapacity + kStep];
};

// hashDJB2 in steps of 16 or 32 bytes. After k bytes the textbook loop holds
//   h * 33^k + s_0 * 33^(k-1) + ... + s_(k-1),
// and the byte part does not depend on h, so each step is one multiply of
// h by 33^k plus a sum computed off the chain. All arithmetic wraps modulo
// 2^64, exactly as the byte loop does.
constexpr std::uint64_t power33(unsigned k) {
    std::uint64_t p = 1;
    for (unsigned i = 0; i < k; ++i) {
        p *= 33;
    }
    return p;
}

// 128 * (33^0 + ... + 33^(k-1)): what adding 128 to k signed bytes adds.
constexpr std::uint64_t signBias(unsigned k) {
    std::uint64_t sum = 0;
    for (unsigned i = 0; i < k; ++i) {
        sum += power33(i);
    }
    return 128 * sum;
}

// sum of (s_j + 128) * 33^(7-j) over the 8 bytes of `bytes`, s_j read as a
// signed byte. Adding 128 makes every byte 0..255, so the pairs, quads and
// the whole word can be combined inside one 64-bit register without any
// lane overflowing: 16-bit lanes hold 33a+b <= 8670, 32-bit lanes
// 1089c+d < 2^24, and the last step is exact in 64 bits.
std::uint64_t wordSum(const char* bytes) {
    std::uint64_t w;
    std::memcpy(&w, bytes, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap64(w);
#endif
    w ^= 0x8080808080808080ull;  // s + 128, byte 0 in the low bits
    w = (w & 0x00FF00FF00FF00FFull) * 33 + ((w >> 8) & 0x00FF00FF00FF00FFull);
    w = (w & 0x0000FFFF0000FFFFull) * 1089 + ((w >> 16) & 0x0000FFFF0000FFFFull);
    return (w & 0xFFFFFFFFull) * 1185921 + (w >> 32);  // 33^2, 33^4
}

#if ORVANTIS_AVX2_DISPATCH
// The same sums for four words at once: pairs with maddubs (33, 1), quads
// with madd (1089, 1), words with a 32x32->64 multiply by 33^4; the four
// word sums then join the chain in one step of 32 bytes. Advances `bytes`
// and `n` past the whole steps and returns the hash after them.
__attribute__((target("avx2"))) std::uint64_t hashVectors(std::uint64_t hash, const char*& bytes, std::size_t& n) {
    const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i pairWeights = _mm256_set1_epi16(0x0121);  // bytes 33, 1
    const __m256i quadWeights = _mm256_set1_epi32(0x00010441);  // 16-bit 1089, 1
    const __m256i wordWeight = _mm256_set1_epi64x(1185921);  // 33^4
    constexpr std::uint64_t p8 = power33(8), p16 = power33(16), p24 = power33(24), p32 = power33(32);
    constexpr std::uint64_t bias32 = signBias(32);
    alignas(32) std::uint64_t sums[4];
    for (; n >= 32; n -= 32, bytes += 32) {
        const __m256i v = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)), flip);
        const __m256i pairs = _mm256_maddubs_epi16(v, pairWeights);
        const __m256i quads = _mm256_madd_epi16(pairs, quadWeights);
        const __m256i words = _mm256_add_epi64(_mm256_mul_epu32(quads, wordWeight), _mm256_srli_epi64(quads, 32));
        _mm256_store_si256(reinterpret_cast<__m256i*>(sums), words);
        hash = hash * p32 + sums[0] * p24 + sums[1] * p16 + sums[2] * p8 + sums[3] - bias32;
    }
    return hash;
}
#endif

void reportStatus(const char* what, int zlibStatus) {
    std::cout << what << zlibStatus << std::endl;
}

void reportFile(const char* before, const std::string& filename, const char* after) {
    std::cout << before << filename << after << std::flush;
}

void storeLength(char* header, std::uint32_t length) {
    for (std::size_t i = 0; i < kHeaderSize; ++i) {
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

#ifdef ORVANTIS_HAVE_LIBDEFLATE
// Decodes a zlib stream with libdeflate, which is two to three times faster
// than zlib. True on success, with the number of bytes produced; on any
// failure the caller lets zlib decide, so that every status reported is
// zlib's own.
//
// One known difference remains: a dynamic block that declares more than 286
// literal/length or more than 30 distance codes and never uses the extra
// ones is refused by zlib ("too many length or distance symbols") but decoded
// by libdeflate 1.14. No DEFLATE writer produces such a header; finding it
// without decoding the whole stream is not possible.
bool fastInflate(char* result, std::size_t room, const char* stream, std::size_t size, std::size_t& produced) {
    // zlib refuses distances beyond the window the stream's header declares;
    // libdeflate does not look at it. Only the full 32 KiB window, which
    // every writer of this format declares, goes the fast way.
    if (size < 2 || (static_cast<unsigned char>(stream[0]) >> 4) != 7) {
        return false;
    }
    libdeflate_decompressor* decoder = libdeflate_alloc_decompressor();
    if (decoder == nullptr) {
        return false;
    }
    std::size_t consumed = 0;
    const libdeflate_result status =
        libdeflate_zlib_decompress_ex(decoder, stream, size, result, room, &consumed, &produced);
    libdeflate_free_decompressor(decoder);
    return status == LIBDEFLATE_SUCCESS;
}
#endif

// Inflates a zlib stream into `room` bytes at `result`: libdeflate where it
// is built in and succeeds, zlib's uncompress otherwise. Returns zlib's
// status (Z_OK on success).
int inflateInto(char* result, std::size_t room, const char* stream, std::size_t size, std::size_t& produced) {
#ifdef ORVANTIS_HAVE_LIBDEFLATE
    if (fastInflate(result, room, stream, size, produced)) {
        return Z_OK;
    }
#endif
    uLongf length = static_cast<uLongf>(room);
    const int status = uncompress(zlibBytes(result), &length, zlibBytes(stream), static_cast<uLong>(size));
    produced = length;
    return status;
}

// Unscrambles a container in place and inflates it. Reports as decrypt does;
// an allocation failure propagates.
ByteBuffer openContainer(ByteBuffer& container, const char* key) {
    Scrambler(key).apply(container.data(), container.size(), 0);
    const std::uint32_t announced = loadLength(container.data());

    ByteBuffer result(announced);
    std::size_t produced = 0;
    const int status =
        inflateInto(result.data(), announced, container.data() + kHeaderSize, container.size() - kHeaderSize, produced);
    if (status != Z_OK) {
        reportStatus("Uncompression error: ", status);
        return ByteBuffer();
    }
    // A stream shorter than announced still gives the announced length.
    if (produced < announced) {
        std::memset(result.data() + produced, 0, announced - produced);
    }
    return result;
}

// The checks of decrypt that come before any work: true when `size` bytes
// can be a container; otherwise reports and returns false.
bool acceptContainerSize(unsigned long long size) {
    if (size >= kContainerDataLimit) {
        reportStatus("Uncompression error: ", Z_STREAM_ERROR);
        return false;
    }
    // Too short for the header: reject before reading it.
    if (size > 0 && size < kHeaderSize) {
        reportStatus("Uncompression error: ", Z_DATA_ERROR);
        return false;
    }
    return size > 0;
}

// ---- streaming -----------------------------------------------------------

bool fail(std::string* error, const std::string& reason) {
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

// Reads up to `n` bytes; fewer only at the end of the input or on an error
// (then in.bad() is set).
std::size_t readUpTo(std::istream& in, char* bytes, std::size_t n) {
    if (!in.good()) {
        return 0;
    }
    in.read(bytes, static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(in.gcount());
}

bool writeAll(std::ostream& out, const char* bytes, std::size_t n) {
    out.write(bytes, static_cast<std::streamsize>(n));
    return static_cast<bool>(out);
}

// Ends a zlib stream whatever way the function is left.
struct DeflateEnd {
    void operator()(z_stream* z) const { deflateEnd(z); }
};
struct InflateEnd {
    void operator()(z_stream* z) const { inflateEnd(z); }
};

bool packStream(std::istream& in, std::ostream& out, const char* key, std::string* error) {
    Scrambler scrambler(key);
    std::unique_ptr<char[]> input(new char[kStreamChunk]);
    std::unique_ptr<char[]> output(new char[kStreamChunk]);

    std::size_t n = readUpTo(in, input.get(), kStreamChunk);
    if (in.bad()) {
        return fail(error, "cannot read the input");
    }
    if (n == 0) {
        return fail(error, "nothing to pack: the input is empty");
    }
    const std::ostream::pos_type start = out.tellp();
    if (start == std::ostream::pos_type(-1)) {
        return fail(error, "the output is not seekable");
    }
    // The header's place is held by zeros until the length is known.
    char header[kHeaderSize] = {};
    if (!writeAll(out, kMagic, kMagicSize) || !writeAll(out, header, kHeaderSize)) {
        return fail(error, "cannot write the output");
    }

    // deflateInit at the default level is what compress2 uses: the stream is
    // the same whatever the pieces the input arrives in.
    z_stream z{};
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) {
        throw std::bad_alloc();
    }
    const std::unique_ptr<z_stream, DeflateEnd> end(&z);
    std::uint64_t total = 0;
    std::uint64_t position = kHeaderSize;
    for (;;) {
        total += n;
        if (total >= kContainerDataLimit) {
            return fail(error, "the input is 4 GiB or more");
        }
        // A short read means the end of the input (or an error, checked below).
        const bool last = !in.good();
        if (in.bad()) {
            return fail(error, "cannot read the input");
        }
        z.next_in = zlibBytes(input.get());
        z.avail_in = static_cast<uInt>(n);
        int status = Z_OK;
        do {
            z.next_out = zlibBytes(output.get());
            z.avail_out = static_cast<uInt>(kStreamChunk);
            status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_ERROR) {
                return fail(error, "compression failed");
            }
            const std::size_t made = kStreamChunk - z.avail_out;
            scrambler.apply(output.get(), made, position);
            position += made;
            if (!writeAll(out, output.get(), made)) {
                return fail(error, "cannot write the output");
            }
        } while (z.avail_out == 0 || (last && status != Z_STREAM_END));
        if (last) {
            break;
        }
        n = readUpTo(in, input.get(), kStreamChunk);
    }

    storeLength(header, static_cast<std::uint32_t>(total));
    scrambler.apply(header, kHeaderSize, 0);
    out.seekp(start + std::streamoff(kMagicSize));
    if (!out || !writeAll(out, header, kHeaderSize) || !out.seekp(0, std::ios::end).flush()) {
        return fail(error, "cannot write the output");
    }
    return true;
}

bool unpackStream(std::istream& in, std::ostream& out, const char* key, std::string* error) {
    char fileMagic[kMagicSize];
    std::size_t got = readUpTo(in, fileMagic, kMagicSize);
    if (in.bad()) {
        return fail(error, "cannot read the input");
    }
    if (std::memcmp(fileMagic, kMagic, got) != 0) {
        return fail(error, "wrong magic (not a container file)");
    }
    char header[kHeaderSize];
    if (got == kMagicSize) {
        got = readUpTo(in, header, kHeaderSize);
        if (in.bad()) {
            return fail(error, "cannot read the input");
        }
        got = got == kHeaderSize ? kMagicSize + kHeaderSize : 0;
    }
    if (got != kMagicSize + kHeaderSize) {
        return fail(error, "the input is too short for a container file");
    }
    Scrambler scrambler(key);
    scrambler.apply(header, kHeaderSize, 0);
    const std::uint64_t announced = loadLength(header);

    std::unique_ptr<char[]> input(new char[kStreamChunk]);
    std::unique_ptr<char[]> output(new char[kStreamChunk]);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        throw std::bad_alloc();
    }
    const std::unique_ptr<z_stream, InflateEnd> end(&z);
    std::uint64_t position = kHeaderSize;
    std::uint64_t produced = 0;
    const auto truncated = [&] {
        return fail(error, "the container is truncated: " + std::to_string(produced) + " of " +
                               std::to_string(announced) + " bytes");
    };
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (z.avail_in == 0) {
            const std::size_t n = readUpTo(in, input.get(), kStreamChunk);
            if (in.bad()) {
                return fail(error, "cannot read the input");
            }
            if (n == 0) {
                return truncated();
            }
            scrambler.apply(input.get(), n, position);
            position += n;
            z.next_in = zlibBytes(input.get());
            z.avail_in = static_cast<uInt>(n);
        }
        // Never more than the header announces: the rest would not fit.
        const auto room = static_cast<uInt>(std::min<std::uint64_t>(kStreamChunk, announced - produced));
        z.next_out = zlibBytes(output.get());
        z.avail_out = room;
        status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_BUF_ERROR && z.avail_in != 0) {
            return fail(error, "the data is longer than its header announces");
        }
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            return fail(error, "wrong key or damaged container");
        }
        const std::size_t made = room - z.avail_out;
        produced += made;
        if (!writeAll(out, output.get(), made)) {
            return fail(error, "cannot write the output");
        }
    }
    if (produced < announced) {
        return truncated();
    }
    char extra;
    if (z.avail_in != 0 || readUpTo(in, &extra, 1) != 0) {
        return fail(error, "there are bytes after the end of the container");
    }
    if (in.bad()) {
        return fail(error, "cannot read the input");
    }
    if (!out.flush()) {
        return fail(error, "cannot write the output");
    }
    return true;
}

}  // namespace

void applyXOR(ByteBufferView& data, const char* key) {
    if (!data.empty()) {
        Scrambler(key).apply(data.data(), data.size(), 0);
    }
}

ByteBuffer encrypt(const ByteBufferView& data, const char* key) {
    try {
        if (data.size() >= kContainerDataLimit) {
            reportStatus("Compression error: ", Z_STREAM_ERROR);
            return ByteBuffer();
        }
        if (data.empty()) {
            return ByteBuffer();
        }
        const auto inputLength = static_cast<uLong>(data.size());
        const uLong bound = compressBound(inputLength);
        // One allocation: the header and the stream are written in place. Its
        // tail beyond the stream is never read, so it is not cleared.
        std::unique_ptr<char[]> array(new char[bound + kHeaderSize]);

        uLongf streamLength = bound;
        const int status = compress2(zlibBytes(array.get() + kHeaderSize), &streamLength, zlibBytes(data.data()),
                                     inputLength, Z_DEFAULT_COMPRESSION);
        if (status != Z_OK) {
            reportStatus("Compression error: ", status);
            return ByteBuffer();
        }
        storeLength(array.get(), static_cast<std::uint32_t>(inputLength));
        Scrambler(key).apply(array.get(), streamLength + kHeaderSize, 0);
        return ByteBuffer(std::move(array), streamLength + kHeaderSize);
    } catch (const std::bad_alloc& e) {
        reportOutOfMemory("encrypt", e);
        return ByteBuffer();
    }
}

ByteBuffer decrypt(const ByteBufferView& data, const char* key) {
    try {
        if (!acceptContainerSize(data.size())) {
            return ByteBuffer();
        }
        // The one copy: the caller's bytes stay unchanged.
        ByteBuffer container(data);
        return openContainer(container, key);
    } catch (const std::bad_alloc& e) {
        reportOutOfMemory("decrypt", e);
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
        out.write(kMagic, kMagicSize);
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
        reportOutOfMemory("encryptToFile", e);
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
        if (fileSize < std::streamoff(kMagicSize + 1) || fileSize >= kFileSizeLimit) {
            reportFile("Invalid input file ", filename, ".\n");
            return ByteBuffer();
        }

        in.seekg(0, std::ios::beg);
        char fileMagic[kMagicSize];
        if (!in.read(fileMagic, kMagicSize)) {
            reportFile("Error while reading from file ", filename, ".\n");
            return ByteBuffer();
        }
        if (std::memcmp(fileMagic, kMagic, kMagicSize) != 0) {
            reportFile("Wrong magic byte in input file ", filename, ".\n");
            return ByteBuffer();
        }

        const auto containerSize = static_cast<std::size_t>(fileSize) - kMagicSize;
        ByteBuffer container(containerSize);
        if (!in.read(container.data(), static_cast<std::streamsize>(containerSize))) {
            reportFile("Error while reading from file ", filename, ".\n");
            return ByteBuffer();
        }
        in.close();
        // The buffer read is already our own: it is unscrambled in place, as
        // decrypt does with its copy.
        if (!acceptContainerSize(container.size())) {
            return ByteBuffer();
        }
        try {
            return openContainer(container, key);
        } catch (const std::bad_alloc& e) {
            reportOutOfMemory("decrypt", e);
            return ByteBuffer();
        }
    } catch (const std::bad_alloc& e) {
        reportOutOfMemory("decryptFromFile", e);
        return ByteBuffer();
    }
}

bool encryptStream(std::istream& in, std::ostream& out, const char* key, std::string* error) {
    try {
        return packStream(in, out, key, error);
    } catch (const std::bad_alloc& e) {
        reportOutOfMemory("encryptStream", e);
        return fail(error, "out of memory");
    }
}

bool decryptStream(std::istream& in, std::ostream& out, const char* key, std::string* error) {
    try {
        return unpackStream(in, out, key, error);
    } catch (const std::bad_alloc& e) {
        reportOutOfMemory("decryptStream", e);
        return fail(error, "out of memory");
    }
}

unsigned long long hashDJB2(const ByteBufferView& data) {
    std::uint64_t hash = 5381;
    const char* bytes = data.data();
    std::size_t n = data.empty() ? 0 : data.size();  // a null window has no bytes
#if ORVANTIS_AVX2_DISPATCH
    static const bool vectors = processorHasAvx2();
    if (vectors) {
        hash = hashVectors(hash, bytes, n);
    }
#endif
    constexpr std::uint64_t p8 = power33(8), p16 = power33(16), bias16 = signBias(16);
    for (; n >= 16; n -= 16, bytes += 16) {
        hash = hash * p16 + wordSum(bytes) * p8 + wordSum(bytes + 8) - bias16;
    }
    for (; n > 0; --n, ++bytes) {
        // The byte counts as a signed value: 0x80..0xFF add their value minus 256.
        hash = hash * 33 + static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<signed char>(*bytes)));
    }
    return hash;
}

}  // namespace Orvantis::Cryptography
