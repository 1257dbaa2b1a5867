#include "core/crypto/Cryptography.h"

#include "support/Capture.h"
#include "support/FailingAllocation.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace Orvantis;
using namespace OrvantisTest;
using namespace Orvantis::Cryptography;

const std::string defaultKey = "(K) 2031 Orvantis Works, Tarnby, Halvia";
const std::string magic("ORVANTIS COMPRESSED v1\0", 23);

// The plain loops that the fast scrambler and hash must match.
std::string xorBytewise(std::string data, const std::string& key) {
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(data[i] ^ key[key.size() - 1 - i % key.size()]);
    }
    return data;
}

unsigned long long hashBytewise(const std::string& bytes) {
    unsigned long long h = 5381;
    for (const char c : bytes) {
        h = h * 33 + static_cast<unsigned long long>(static_cast<signed char>(c));
    }
    return h;
}

// Rewrites the length in the header of a container scrambled with `key`.
std::string withAnnouncedLength(std::string container, std::uint32_t length, const char* key) {
    applyXOR(ByteBufferView(container), key);
    for (int i = 0; i < 4; ++i) {
        container[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    applyXOR(ByteBufferView(container), key);
    return container;
}

// Runs a streaming function over `input`: its output, or "!" and the reason.
template <class Function>
std::string runStream(Function function, const std::string& input, const char* key) {
    std::istringstream in(input);
    std::stringstream out;
    std::string error;
    return function(in, out, key, &error) ? out.str() : "!" + error;
}

TEST(Cryptography, ApplyXORMatchesTheByteLoop) {
    std::string zeros(7, '\0');
    applyXOR(ByteBufferView(zeros), "abc");
    EXPECT_EQ(zeros, "cbacbac");

    // Lengths around the tiled path's thresholds, keys that do and do not
    // divide its period, keys longer than the tile, views off any alignment.
    std::mt19937 random(11);
    const auto key = [&](size_t n) {
        std::string k(n, '\0');
        for (char& c : k) {
            c = static_cast<char>(1 + random() % 255);
        }
        return k;
    };
    struct Case {
        size_t length, offset;
        std::string key;
    } cases[] = {
        {255, 1, "abc"},      {256, 0, "abc"},     {257, 3, "k"},       {100000, 5, defaultKey},
        {4099, 7, key(64)},   {5000, 1, key(1023)}, {9000, 2, key(1025)}, {70000, 3, key(8192)},
        {30000, 6, key(8193)}, {1 << 20, 0, key(37)},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (int i = 0; i < 300; ++i) {
        all.push_back({random() % 20000, random() % 64, key(1 + random() % (i % 3 == 0 ? 2000 : 70))});
    }
    for (const Case& c : all) {
        SCOPED_TRACE("length " + std::to_string(c.length) + " at +" + std::to_string(c.offset) + ", key " +
                     std::to_string(c.key.size()));
        const std::string before = randomBytes(c.length + c.offset + 1, static_cast<unsigned>(c.length));
        std::string buffer = before;
        applyXOR(ByteBufferView(&buffer[c.offset], c.length), c.key.c_str());
        // Only the view's bytes change, exactly as the byte loop changes them.
        ASSERT_TRUE(buffer == before.substr(0, c.offset) + xorBytewise(before.substr(c.offset, c.length), c.key) +
                                  before.back());
    }

    // A null and an empty key both select the default key.
    std::string viaNull(3000, '\0'), viaEmpty(3000, '\0');
    applyXOR(ByteBufferView(viaNull), nullptr);
    applyXOR(ByteBufferView(viaEmpty), "");
    EXPECT_TRUE(viaNull == xorBytewise(std::string(3000, '\0'), defaultKey));
    EXPECT_TRUE(viaEmpty == viaNull);
}

TEST(Cryptography, HashDJB2MatchesTheByteLoop) {
    struct Case {
        std::string bytes;
        unsigned long long hash;
    } cases[] = {
        {"", 5381ull},
        {"abc", 193485963ull},
        {"\xFF", 177572ull},
        // Sixteen steps overflow 64 bits: the arithmetic wraps.
        {"zzzzzzzzzzzzzzzz", 0x47E40D7F2DAA2CA5ull},
        {std::string(16, '\xC3'), 0x0F7B933C85DC2835ull},
    };
    for (Case& c : cases) {
        EXPECT_EQ(hashDJB2(ByteBufferView(c.bytes)), c.hash) << c.bytes;
    }
    EXPECT_EQ(hashDJB2(ByteBufferView(nullptr, 3)), 5381ull);

    std::string bytes = randomBytes(4097, 3);
    for (size_t n = 0; n <= 4096; ++n) {
        ASSERT_EQ(hashDJB2(ByteBufferView(&bytes[1], n)), hashBytewise(bytes.substr(1, n))) << n;
    }
    for (unsigned seed = 0; seed < 3; ++seed) {
        std::string high = randomBytes((1 << 20) + seed, seed);
        for (char& c : high) {
            c = static_cast<char>(c | 0x80);
        }
        EXPECT_EQ(hashDJB2(ByteBufferView(&high[seed], 1 << 20)), hashBytewise(high.substr(seed, 1 << 20)));
    }
}

// Empty input and input of 4 GiB or more are refused; the huge view claims
// far more bytes than exist, so they must never be read.
TEST(Cryptography, InputsOutsideTheFormatAreRefusedUnread) {
    TempDir dir;
    const std::string name = dir.file("never.bin");
    char byte = 'x';
    const ByteBufferView huge(&byte, 1ull << 32);
    CapturedStdout out;
    EXPECT_EQ(encrypt(ByteBufferView(), "k").data(), nullptr);
    EXPECT_EQ(decrypt(ByteBufferView(), "k").data(), nullptr);
    EXPECT_EQ(runStream(encryptStream, "", "k"), "!nothing to pack: the input is empty");
    EXPECT_EQ(out.text(), "");
    EXPECT_FALSE(encryptToFile(ByteBufferView(), name, "k"));
    EXPECT_EQ(out.text(), "Could not encrypt data.\n");
    EXPECT_EQ(encrypt(huge, "k").data(), nullptr);
    EXPECT_FALSE(encryptToFile(huge, name, "k"));
    EXPECT_EQ(decrypt(huge, "k").data(), nullptr);
    EXPECT_EQ(out.text(), "Could not encrypt data.\nCompression error: -2\nCompression error: -2\n"
                          "Could not encrypt data.\nUncompression error: -2\n");
    EXPECT_FALSE(fs::exists(name));
}

// decrypt is lenient where the stream reader is strict; neither may print
// more than its own status line.
TEST(Cryptography, DamagedContainersAreReported) {
    const std::string input = "abcdef";
    const std::string container = encrypt(ByteBuffer(input), "key").toString();
    const std::string error3 = "Uncompression error: -3\n";
    struct Case {
        const char* what;
        std::string container;
        std::string printed;  // by decrypt
        std::string result;   // of decrypt
        std::string stream;   // result of decryptStream, "!reason" on failure
    } cases[] = {
        {"one byte", container.substr(0, 1), error3, "", "!the input is too short for a container file"},
        {"seven bytes", container.substr(0, 7), error3, "", "!the input is too short for a container file"},
        {"header only", container.substr(0, 8), error3, "", "!the container is truncated: 0 of 6 bytes"},
        {"cut checksum", container.substr(0, container.size() - 3), "Uncompression error: -5\n", "",
         "!the container is truncated: 6 of 6 bytes"},
        {"length too small", withAnnouncedLength(container, 3, "key"), "Uncompression error: -5\n", "",
         "!the data is longer than its header announces"},
        {"wrong key", encrypt(ByteBuffer(input), "yek").toString(), error3, "", "!wrong key or damaged container"},
        // Short streams give the announced length, the rest zero-filled.
        {"length too large", withAnnouncedLength(container, 4096, "key"), "", input + std::string(4090, '\0'),
         "!the container is truncated: 6 of 4096 bytes"},
        {"trailing byte", container + "!", "", input, "!there are bytes after the end of the container"},
        {"intact", container, "", input, input},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturedStdout out;
        EXPECT_TRUE(decrypt(ByteBuffer(c.container), "key").toString() == c.result);
        EXPECT_EQ(out.text(), c.printed);
        EXPECT_EQ(runStream(decryptStream, magic + c.container, "key"), c.stream);
        EXPECT_EQ(out.text(), c.printed);
    }
}

// decryptFromFile prints its status; decryptStream returns a reason.
TEST(Cryptography, FileReadersReportBadFiles) {
    TempDir dir;
    const std::string container = encrypt(ByteBuffer(std::string("payload")), "k").toString();
    std::string badMagic = magic + container;
    badMagic[22] = '!';
    const std::string tooShort = "!the input is too short for a container file";
    const std::string wrongMagic = "!wrong magic (not a container file)";
    struct Case {
        const char* name;
        std::string content;
        std::string message;  // the file name stands where NAME is
        std::string stream;
    } cases[] = {
        {"empty", "", "Invalid input file NAME.\n", tooShort},
        {"magic-start", "ORVANTIS", "Invalid input file NAME.\n", tooShort},
        {"magic-only", magic, "Invalid input file NAME.\n", tooShort},
        {"short-wrong-magic", "ORVANTIZ", "Invalid input file NAME.\n", wrongMagic},
        {"bad-magic", badMagic, "Wrong magic byte in input file NAME.\n", wrongMagic},
        {"bad-magic-start", "X" + magic.substr(1) + container, "Wrong magic byte in input file NAME.\n", wrongMagic},
        {"short-container", magic + container.substr(0, 7), "Uncompression error: -3\n", tooShort},
        {"one-byte-container", magic + container.substr(0, 1), "Uncompression error: -3\n", tooShort},
        {"wrong-key", magic + encrypt(ByteBuffer(std::string("payload")), "other").toString(),
         "Uncompression error: -3\n", "!wrong key or damaged container"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = dir.file(c.name);
        writeFile(name, c.content);
        CapturedStdout out;
        EXPECT_EQ(decryptFromFile(name, "k").data(), nullptr);
        std::string expected = c.message;
        const size_t at = expected.find("NAME");
        if (at != std::string::npos) {
            expected.replace(at, 4, name);
        }
        EXPECT_EQ(runStream(decryptStream, c.content, "k"), c.stream);
        EXPECT_EQ(out.text(), expected);
    }

    const std::string missing = dir.file("missing");
    CapturedStdout out;
    EXPECT_EQ(decryptFromFile(missing, "k").data(), nullptr);
    EXPECT_EQ(out.text(), "Cannot open input file " + missing + ".");
    // 60 bytes that claim 4 GiB: refused without reserving the length.
    EXPECT_EQ(runStream(decryptStream, magic + withAnnouncedLength(container, 0xFFFFFFFFu, "k"), "k"),
              "!the container is truncated: 7 of 4294967295 bytes");
}

TEST(Cryptography, FilesOfTwoGibibytesOrMoreAreInvalid) {
    TempDir dir;
    for (const long long size : {1LL << 31, (1LL << 32) + 100}) {
        // Sparse: only the magic is written; the rest of the size is a hole.
        const std::string name = dir.file("huge-" + std::to_string(size));
        writeFile(name, magic + encrypt(ByteBuffer(std::string("tiny")), "k").toString());
        ASSERT_EQ(truncate(name.c_str(), size), 0);
        CapturedStdout out;
        EXPECT_EQ(decryptFromFile(name, "k").data(), nullptr);
        EXPECT_EQ(out.text(), "Invalid input file " + name + ".\n");
    }
}

TEST(Cryptography, FileWriterReportsFailures) {
    TempDir dir;
    const ByteBuffer data(randomBytes(256 * 1024, 4));
    const std::string unreachable = dir.file("no/such/dir/out.bin");
    {
        CapturedStdout out;
        EXPECT_FALSE(encryptToFile(data, unreachable, "k"));
        EXPECT_EQ(out.text(), "Could not open file " + unreachable + " for writing.\n");
    }
    if (fs::exists("/dev/full")) {
        CapturedStdout out;
        EXPECT_FALSE(encryptToFile(data, "/dev/full", "k"));
        EXPECT_EQ(out.text(), "Error while writing to file /dev/full.\n");
    }
    std::ostream broken(nullptr);
    std::string error;
    std::istringstream in(data.toString());
    EXPECT_FALSE(encryptStream(in, broken, "k", &error));
    EXPECT_EQ(error, "the output is not seekable");
    ASSERT_TRUE(encryptToFile(data, dir.file("ok.bin"), "k"));
    std::istringstream file(readFile(dir.file("ok.bin")));
    EXPECT_FALSE(decryptStream(file, broken, "k", &error));
    EXPECT_EQ(error, "cannot write the output");
}

TEST(Cryptography, AllocationFailuresAreLoggedNotPrinted) {
    TempDir dir;
    const std::string bigText = randomBytes(2 << 20, 5);
    const ByteBuffer big(bigText);
    const ByteBuffer hugeHeader(withAnnouncedLength(encrypt(ByteBuffer(std::string("x")), "k").toString(), 3u << 30, "k"));
    const std::string name = dir.file("big.bin");
    ASSERT_TRUE(encryptToFile(big, name, "k"));

    LogSession session;
    CapturedStdout out;
    std::string error;
    std::istringstream in(bigText);
    std::stringstream sink;
    {
        FailAllocationsFrom fail(1 << 20);
        EXPECT_EQ(encrypt(big, "k").data(), nullptr);
        EXPECT_EQ(decrypt(hugeHeader, "k").data(), nullptr);
        EXPECT_EQ(decryptFromFile(name, "k").data(), nullptr);
        EXPECT_FALSE(encryptToFile(big, dir.file("unwritten.bin"), "k"));
        EXPECT_FALSE(encryptStream(in, sink, "k", &error));
        // Below the global level nothing is even formatted.
        Log::setGlobalLevel(Log::Fatal);
        EXPECT_EQ(encrypt(big, "k").data(), nullptr);
        Log::setGlobalLevel(Log::Trace);
    }
    const std::string lost = ": std::bad_alloc";
    const std::vector<std::string> expected = {
        "Caught bad_alloc exception on encrypt" + lost,
        "Caught bad_alloc exception on decrypt" + lost,
        "Caught bad_alloc exception on decryptFromFile" + lost,
        "Caught bad_alloc exception on encrypt" + lost,
        "Caught bad_alloc exception on encryptStream" + lost,
    };
    EXPECT_EQ(session.recording->messages(), expected);
    for (const auto& record : session.recording->records) {
        EXPECT_EQ(record.level, Log::Error);
        EXPECT_EQ(record.category, "Cryptography");
    }
    EXPECT_EQ(error, "out of memory");
    // Only the failed container for the file is reported on standard output.
    EXPECT_EQ(out.text(), "Could not encrypt data.\n");
}

// Containers built by an independent implementation (Python's zlib module)
// must be read back, and must be exactly what encrypt produces.
TEST(Cryptography, MatchesAnIndependentImplementation) {
    TempDir dir;
    // One byte, highly compressible and incompressible data, each with the
    // default key, a one-character key and a key of mixed bytes.
    const std::string inputs[] = {std::string("\x9C", 1), std::string(256 * 1024, 'z'), randomBytes(64 * 1024 + 7, 1),
                                  "The quick brown fox jumps over the lazy dog, again and again and again."};
    const char* keys[] = {nullptr, "k", "\xC3\xA4\x7F\x01 mixed key bytes"};
    for (size_t i = 0; i < std::size(inputs) * std::size(keys); ++i) {
        writeFile(dir.file(std::to_string(i) + ".data"), inputs[i / std::size(keys)]);
        const char* key = keys[i % std::size(keys)];
        writeFile(dir.file(std::to_string(i) + ".key"), key ? key : "");
    }
    const std::string script = std::string(ORVANTIS_TEST_SOURCE_DIR) + "/crypto/container_reference.py";
    const std::string command = "python3 '" + script + "' '" + dir.path.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    for (size_t i = 0; i < std::size(inputs) * std::size(keys); ++i) {
        const std::string& data = inputs[i / std::size(keys)];
        const char* key = keys[i % std::size(keys)];
        SCOPED_TRACE("case " + std::to_string(i));
        const std::string base = dir.file(std::to_string(i));
        const ByteBuffer reference(readFile(base + ".container"));
        ASSERT_FALSE(reference.empty());
        const ByteBuffer before(reference);
        EXPECT_EQ(decrypt(reference, key).toString(), data);
        EXPECT_EQ(reference, before);  // the caller's bytes stay unchanged
        EXPECT_EQ(decryptFromFile(base + ".file", key).toString(), data);
        EXPECT_TRUE(runStream(decryptStream, readFile(base + ".file"), key) == data);
        EXPECT_EQ(encrypt(ByteBuffer(data), key), reference);
        if (key == nullptr) {
            EXPECT_EQ(encrypt(ByteBuffer(data), ""), reference);
        }
        ASSERT_TRUE(encryptToFile(ByteBuffer(data), base + ".ours", key));
        EXPECT_EQ(readFile(base + ".ours"), readFile(base + ".file"));
    }
}

// The stream writer makes exactly the file of encryptToFile, however the
// input is cut into pieces, and the reader gives the data back.
TEST(Cryptography, StreamsMakeAndReadTheSameFiles) {
    TempDir dir;
    std::string mixed;
    for (int i = 0; mixed.size() < (2u << 20) + 5; ++i) {
        mixed += "row " + std::to_string(i * 7919 % 1000) + ";" + randomBytes(i % 13, i) + "\n";
    }
    const std::string inputs[] = {"x", std::string(1, '\0'), mixed, randomBytes((1u << 20) + 3, 9),
                                  std::string(1u << 20, 'a')};
    for (const std::string& input : inputs) {
        for (const char* key : {static_cast<const char*>(nullptr), "\xC3\xA4 longer key"}) {
            SCOPED_TRACE(std::to_string(input.size()) + " bytes, key " + (key ? key : "default"));
            const std::string name = dir.file("reference.bin");
            ASSERT_TRUE(encryptToFile(ByteBuffer(input), name, key));
            CapturedStdout out;
            const std::string file = runStream(encryptStream, input, key);
            EXPECT_TRUE(file == readFile(name));
            EXPECT_TRUE(runStream(decryptStream, file, key) == input);
            EXPECT_EQ(out.text(), "");
        }
    }
}

}  // namespace
