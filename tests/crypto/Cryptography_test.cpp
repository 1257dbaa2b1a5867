#include "core/crypto/Cryptography.h"

#include "support/Capture.h"
#include "support/FailingAllocation.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
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

// Lengths around the tiled path's thresholds, keys that do and do not divide
// its period or are longer than the tile, views off any alignment; then a
// random sweep. Only the view's bytes change, exactly as the byte loop does.
TEST(Cryptography, ApplyXORMatchesTheByteLoop) {
    std::mt19937 random(11);
    const auto key = [&](size_t n) {
        std::string k = randomBytes(n, random());
        std::replace(k.begin(), k.end(), '\0', 'z');
        return k;
    };
    std::vector<std::tuple<size_t, size_t, std::string>> cases = {
        {255, 1, "abc"},       {256, 0, "abc"},      {257, 3, "k"},        {100000, 5, defaultKey},
        {4099, 7, key(64)},    {5000, 1, key(1023)}, {9000, 2, key(1025)}, {70000, 3, key(8192)},
        {30000, 6, key(8193)}, {1 << 20, 0, key(37)}};
    for (int i = 0; i < 200; ++i) {
        cases.push_back({random() % 20000, random() % 64, key(1 + random() % (i % 3 == 0 ? 2000 : 70))});
    }
    for (const auto& [length, offset, k] : cases) {
        SCOPED_TRACE(std::to_string(length) + " bytes at +" + std::to_string(offset) + ", key " +
                     std::to_string(k.size()));
        const std::string before = randomBytes(length + offset + 1, static_cast<unsigned>(length));
        std::string buffer = before;
        applyXOR(ByteBufferView(&buffer[offset], length), k.c_str());
        ASSERT_TRUE(buffer == before.substr(0, offset) + xorBytewise(before.substr(offset, length), k) + before.back());
    }
    // A null and an empty key both select the default key.
    for (const char* none : {static_cast<const char*>(nullptr), ""}) {
        std::string zeros(3000, '\0');
        applyXOR(ByteBufferView(zeros), none);
        EXPECT_TRUE(zeros == xorBytewise(std::string(3000, '\0'), defaultKey));
    }
}

TEST(Cryptography, HashDJB2MatchesTheByteLoop) {
    // Sixteen steps overflow 64 bits: the arithmetic wraps.
    const std::pair<std::string, unsigned long long> cases[] = {{"", 5381ull},
                                                                {"\xFF", 177572ull},
                                                                {"zzzzzzzzzzzzzzzz", 0x47E40D7F2DAA2CA5ull},
                                                                {std::string(16, '\xC3'), 0x0F7B933C85DC2835ull}};
    for (auto [bytes, hash] : cases) {
        EXPECT_EQ(hashDJB2(ByteBufferView(bytes)), hash) << bytes;
    }
    EXPECT_EQ(hashDJB2(ByteBufferView(nullptr, 3)), 5381ull);
    std::string bytes = randomBytes((1 << 20) + 1, 3);
    for (size_t n = 0; n <= 4096; ++n) {
        ASSERT_EQ(hashDJB2(ByteBufferView(&bytes[1], n)), hashBytewise(bytes.substr(1, n))) << n;
    }
    EXPECT_EQ(hashDJB2(ByteBufferView(&bytes[1], 1 << 20)), hashBytewise(bytes.substr(1, 1 << 20)));
}

// Empty input and input of 4 GiB or more are refused; the huge view claims
// far more bytes than exist, so they must never be read.
TEST(Cryptography, InputsOutsideTheFormatAreRefusedUnread) {
    TempDir dir;
    const std::string name = dir.file("never.bin");
    char byte = 'x';
    const ByteBufferView huge(&byte, 1ull << 32);
    StdoutCapture out;
    EXPECT_EQ(encrypt(ByteBufferView(), "k").data(), nullptr);
    EXPECT_EQ(decrypt(ByteBufferView(), "k").data(), nullptr);
    EXPECT_EQ(runStream(encryptStream, "", "k"), "!nothing to pack: the input is empty");
    EXPECT_EQ(out.text(), "");
    EXPECT_FALSE(encryptToFile(ByteBufferView(), name, "k"));
    EXPECT_EQ(encrypt(huge, "k").data(), nullptr);
    EXPECT_EQ(decrypt(huge, "k").data(), nullptr);
    EXPECT_EQ(out.text(), "Could not encrypt data.\nCompression error: -2\nUncompression error: -2\n");
    EXPECT_FALSE(fs::exists(name));
}

// decrypt and decryptFromFile are lenient where the stream reader is strict;
// none may print more than its own status line (the file's name stands where
// NAME is). decrypt reads the rows that hold a container after the magic.
TEST(Cryptography, DamagedContainersAndBadFilesAreReported) {
    TempDir dir;
    const std::string input = "abcdef", file = dir.file("damaged");
    const std::string c = encrypt(ByteBuffer(input), "key").toString(), m = magic;
    const std::string e3 = "Uncompression error: -3\n", e5 = "Uncompression error: -5\n";
    const std::string tooShort = "!the input is too short for a container file";
    const std::string wrongMagic = "!wrong magic (not a container file)";
    std::string highBytes = c;  // the reader takes the length from bytes 0 to 3 only
    applyXOR(ByteBufferView(highBytes), "key");
    highBytes.replace(4, 4, "\xFF\xFF\xFF\xFF");
    applyXOR(ByteBufferView(highBytes), "key");
    const std::tuple<const char*, std::string, std::string, std::string, std::string> cases[] = {
        {"one byte", m + c.substr(0, 1), e3, "", tooShort},
        {"seven bytes", m + c.substr(0, 7), e3, "", tooShort},
        {"header only", m + c.substr(0, 8), e3, "", "!the container is truncated: 0 of 6 bytes"},
        {"cut checksum", m + c.substr(0, c.size() - 3), e5, "", "!the container is truncated: 6 of 6 bytes"},
        {"length too small", m + withAnnouncedLength(c, 3, "key"), e5, "",
         "!the data is longer than its header announces"},
        {"wrong key", m + encrypt(ByteBuffer(input), "yek").toString(), e3, "", "!wrong key or damaged container"},
        // Short streams give the announced length, the rest zero-filled.
        {"length too large", m + withAnnouncedLength(c, 4096, "key"), "", input + std::string(4090, '\0'),
         "!the container is truncated: 6 of 4096 bytes"},
        {"trailing byte", m + c + "!", "", input, "!there are bytes after the end of the container"},
        {"intact", m + c, "", input, input},
        {"header bytes 4 to 7 set", m + highBytes, "", input, input},
        {"magic only", m, "Invalid input file NAME.\n", "", tooShort},
        {"short, wrong magic", "ORVANTIZ", "Invalid input file NAME.\n", "", wrongMagic},
        {"bad magic", m.substr(0, 22) + "!" + c, "Wrong magic byte in input file NAME.\n", "", wrongMagic},
    };
    for (const auto& [what, content, printed, result, stream] : cases) {
        SCOPED_TRACE(what);
        writeFile(file, content);
        const size_t name = printed.find("NAME");
        StdoutCapture out;
        EXPECT_TRUE(decryptFromFile(file, "key").toString() == result);
        EXPECT_EQ(runStream(decryptStream, content, "key"), stream);
        EXPECT_EQ(out.text(),
                  name == std::string::npos ? printed : printed.substr(0, name) + file + printed.substr(name + 4));
        if (content.size() > m.size() && content.compare(0, m.size(), m) == 0) {
            EXPECT_TRUE(decrypt(ByteBuffer(content.substr(m.size())), "key").toString() == result);
            EXPECT_EQ(out.text(), printed + printed);
        }
    }
    // A missing file, and files of 2 GiB or more (sparse: only the start is written).
    StdoutCapture out;
    EXPECT_EQ(decryptFromFile(dir.file("missing"), "key").data(), nullptr);
    std::string expected = "Cannot open input file " + dir.file("missing") + ".";
    for (const long long size : {1LL << 31, (1LL << 32) + 100}) {
        writeFile(file, m + c);
        fs::resize_file(file, static_cast<std::uintmax_t>(size));
        EXPECT_EQ(decryptFromFile(file, "key").data(), nullptr);
        expected += "Invalid input file " + file + ".\n";
    }
    EXPECT_EQ(out.text(), expected);
    // A short stream that claims 4 GiB: refused without reserving the length.
    EXPECT_EQ(runStream(decryptStream, m + withAnnouncedLength(c, 0xFFFFFFFFu, "key"), "key"),
              "!the container is truncated: 6 of 4294967295 bytes");
}

// Line ends and 0x1A (end of file to a text-mode reader on Windows) pass
// through container files byte for byte.
TEST(Cryptography, ContainerFilesAreBinary) {
    TempDir dir;
    const std::string payload = "line one\nline two\r\n\x1A tail \n", name = dir.file("binary.orv");
    ASSERT_TRUE(encryptToFile(ByteBuffer(payload), name, "key"));
    EXPECT_TRUE(readFile(name) == magic + encrypt(ByteBuffer(payload), "key").toString());
    EXPECT_EQ(decryptFromFile(name, "key").toString(), payload);
}

TEST(Cryptography, FileWriterReportsFailures) {
    TempDir dir;
    const ByteBuffer data(randomBytes(256 * 1024, 4));
    const std::string unreachable = dir.file("no/such/dir/out.bin");
    StdoutCapture out;
    EXPECT_FALSE(encryptToFile(data, unreachable, "k"));
#ifdef _WIN32  // no device that fails every write
    EXPECT_EQ(out.text(), "Could not open file " + unreachable + " for writing.\n");
#else
    EXPECT_FALSE(encryptToFile(data, "/dev/full", "k"));
    EXPECT_EQ(out.text(),
              "Could not open file " + unreachable + " for writing.\nError while writing to file /dev/full.\n");
#endif
    std::ostream broken(nullptr);
    std::string error;
    std::istringstream in(data.toString());
    EXPECT_FALSE(encryptStream(in, broken, "k", &error));
    EXPECT_EQ(error, "the output is not seekable");
    std::istringstream file(magic + encrypt(data, "k").toString());
    EXPECT_FALSE(decryptStream(file, broken, "k", &error));
    EXPECT_EQ(error, "cannot write the output");
}

// Each function that reserves memory logs a failure and prints nothing.
TEST(Cryptography, AllocationFailuresAreLoggedNotPrinted) {
#ifdef _WIN32
    GTEST_SKIP()
        << "the library allocates through the C++ runtime DLL, whose operator new a test program cannot replace";
#endif
    TempDir dir;
    const std::string bigText = randomBytes(2 << 20, 5), name = dir.file("big.bin");
    const ByteBuffer big(bigText);
    const std::string tiny = encrypt(ByteBuffer(std::string("x")), "k").toString();
    const ByteBuffer hugeHeader(withAnnouncedLength(tiny, 3u << 30, "k"));
    ASSERT_TRUE(encryptToFile(big, name, "k"));
    LogSession session;
    StdoutCapture out;
    std::string error;
    std::istringstream in(bigText);
    std::stringstream sink;
    {
        FailAllocationsFrom fail(1 << 20);
        EXPECT_EQ(encrypt(big, "k").data(), nullptr);
        EXPECT_EQ(decrypt(hugeHeader, "k").data(), nullptr);
        EXPECT_EQ(decryptFromFile(name, "k").data(), nullptr);
        EXPECT_FALSE(encryptStream(in, sink, "k", &error));
    }
    std::vector<std::string> expected;
    for (const char* where : {"encrypt", "decrypt", "decryptFromFile", "encryptStream"}) {
        expected.push_back("4 Cryptography: Caught bad_alloc exception on " + std::string(where) + ": std::bad_alloc");
    }
    EXPECT_EQ(takeReports(*session.recording), expected);
    EXPECT_EQ(error, "out of memory");
    EXPECT_EQ(out.text(), "");
}

// Containers built by an independent implementation (Python's zlib module)
// must be read back, and must be exactly what encrypt, encryptToFile and
// encryptStream produce, however the stream writer's input is cut into pieces.
TEST(Cryptography, MatchesAnIndependentImplementation) {
#ifdef _WIN32
    GTEST_SKIP() << "the reference implementation is a Python script, which Windows programs under Wine cannot start";
#endif
    TempDir dir;
    // One byte, highly compressible and incompressible data, within
    // one piece of the stream writer, exactly one piece and several pieces,
    // each with the default key, a one-character key and a key of mixed bytes.
    const std::string inputs[] = {
        std::string("\x9C", 1),        std::string(256 * 1024, 'z'),
        randomBytes(64 * 1024 + 7, 1), "The quick brown fox jumps over the lazy dog, again and again and again.",
        std::string(1u << 20, 'a'),    randomBytes((1u << 20) + 3, 9)};
    const char* keys[] = {nullptr, "k", "\xC3\xA4\x7F\x01 mixed key bytes"};
    const size_t count = std::size(inputs) * std::size(keys);
    for (size_t i = 0; i < count; ++i) {
        writeFile(dir.file(std::to_string(i) + ".data"), inputs[i / std::size(keys)]);
        writeFile(dir.file(std::to_string(i) + ".key"), keys[i % std::size(keys)] ? keys[i % std::size(keys)] : "");
    }
    const std::string script = std::string(ORVANTIS_TEST_SOURCE_DIR) + "/crypto/container_reference.py";
    const std::string command = "python3 '" + script + "' '" + dir.path.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    for (size_t i = 0; i < count; ++i) {
        const std::string& data = inputs[i / std::size(keys)];
        const char* key = keys[i % std::size(keys)];
        SCOPED_TRACE("case " + std::to_string(i));
        const std::string base = dir.file(std::to_string(i)), file = readFile(base + ".file");
        const ByteBuffer reference(readFile(base + ".container"));
        const ByteBuffer before(reference);
        StdoutCapture out;
        EXPECT_EQ(decrypt(reference, key).toString(), data);
        EXPECT_EQ(reference, before) << "the caller's bytes stay unchanged";
        EXPECT_EQ(decryptFromFile(base + ".file", key).toString(), data);
        EXPECT_TRUE(runStream(decryptStream, file, key) == data);
        EXPECT_EQ(encrypt(ByteBuffer(data), key), reference);
        ASSERT_TRUE(encryptToFile(ByteBuffer(data), base + ".ours", key));
        EXPECT_TRUE(readFile(base + ".ours") == file);
        std::istringstream in(data);
        std::stringstream packed;
        ASSERT_TRUE(encryptStream(in, packed, key, nullptr));
        packed << "!";  // the writer leaves the stream at its end, past the header it rewrote
        EXPECT_TRUE(packed.str() == file + "!");
        EXPECT_EQ(out.text(), "");
    }
}

}  // namespace
