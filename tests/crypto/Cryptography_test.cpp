#include "core/crypto/Cryptography.h"

#include "support/Capture.h"
#include "support/FailingAllocation.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace Orvantis;
using namespace OrvantisTest;
using namespace Orvantis::Cryptography;

const std::string magic("ORVANTIS COMPRESSED v1\0", 23);

// Rewrites the 8-byte header of a container scrambled with `key`.
std::string withHeader(std::string container, std::uint64_t header, const char* key) {
    applyXOR(ByteBufferView(container), key);
    std::memcpy(&container[0], &header, 8);  // little-endian hosts
    applyXOR(ByteBufferView(container), key);
    return container;
}

// Runs a streaming function over `input`: its output, or "!" and the reason.
template <class Function>
std::string runStream(Function function, const std::string& input, const char* key, std::ostream* to = nullptr) {
    std::istringstream in(input);
    std::stringstream out;
    std::string error;
    return function(in, to ? *to : out, key, &error) ? out.str() : "!" + error;
}

// hashDJB2 against its byte loop at every length up to 4 KiB, off alignment:
// bytes count as signed; sixteen steps overflow 64 bits and wrap. applyXOR
// changes the view's bytes and no others (keys are checked below).
TEST(Cryptography, HashDJB2AndApplyXORMatchTheByteLoops) {
    const std::pair<std::string, unsigned long long> hashes[] = {
        {"abc", 193485963ull}, {"\xFF", 177572ull}, {"zzzzzzzzzzzzzzzz", 0x47E40D7F2DAA2CA5ull}};
    for (auto [bytes, hash] : hashes) {
        EXPECT_EQ(hashDJB2(ByteBufferView(bytes)), hash) << bytes;
    }
    EXPECT_EQ(hashDJB2(ByteBufferView(nullptr, 3)), 5381ull);
    std::string bytes = randomBytes(4098, 3);
    unsigned long long h = 5381;
    for (size_t n = 0; n <= 4096; ++n) {
        ASSERT_EQ(hashDJB2(ByteBufferView(&bytes[1], n)), h) << n;
        h = h * 33 + static_cast<unsigned long long>(static_cast<signed char>(bytes[1 + n]));
    }
    for (const size_t length : {200, 4096}) {  // byte by byte, then through the tile
        std::string view = bytes.substr(0, length + 2), expected = view;
        for (size_t i = 0; i < length; ++i) {
            expected[1 + i] = static_cast<char>(expected[1 + i] ^ (i % 2 ? 'a' : 'b'));
        }
        applyXOR(ByteBufferView(&view[1], length), "ab");
        EXPECT_TRUE(view == expected) << length;
    }
}

// decryptFromFile (and decrypt, which shares its reader) is lenient where the
// stream reader is strict; neither may print more than its own status line.
TEST(Cryptography, DamagedContainersAndBadFilesAreReported) {
    TempDir dir;
    const std::string input = "abcdef", file = dir.file("damaged");
    const std::string c = encrypt(ByteBuffer(input), "key").toString(), m = magic;
    const std::string e3 = "Uncompression error: -3\n", e5 = "Uncompression error: -5\n";
    const std::string invalid = "Invalid input file " + file + ".\n";
    const std::string tooShort = "!the input is too short for a container file";
    const std::string wrongMagic = "!wrong magic (not a container file)";
    const std::tuple<const char*, std::string, std::string, std::string, std::string> cases[] = {
        {"seven bytes", m + c.substr(0, 7), e3, "", tooShort},
        {"header only", m + c.substr(0, 8), e3, "", "!the container is truncated: 0 of 6 bytes"},
        {"cut checksum", m + c.substr(0, c.size() - 3), e5, "", "!the container is truncated: 6 of 6 bytes"},
        {"length too small", m + withHeader(c, 3, "key"), e5, "", "!the data is longer than its header announces"},
        {"wrong key", m + encrypt(ByteBuffer(input), "yek").toString(), e3, "", "!wrong key or damaged container"},
        // Short streams give the announced length, the rest zero-filled.
        {"length too large", m + withHeader(c, 4096, "key"), "", input + std::string(4090, '\0'),
         "!the container is truncated: 6 of 4096 bytes"},
        {"trailing byte", m + c + "!", "", input, "!there are bytes after the end of the container"},
        // The reader takes the length from header bytes 0 to 3 only.
        {"header bytes 4 to 7 set", m + withHeader(c, 0xFFFFFFFF00000006ull, "key"), "", input, input},
        {"magic only", m, invalid, "", tooShort},
        {"bad magic", m.substr(0, 22) + "!" + c, "Wrong magic byte in input file " + file + ".\n", "", wrongMagic},
    };
    for (const auto& [what, content, printed, result, stream] : cases) {
        SCOPED_TRACE(what);
        writeFile(file, content);
        StdoutCapture out;
        EXPECT_TRUE(decryptFromFile(file, "key").toString() == result);
        EXPECT_EQ(runStream(decryptStream, content, "key"), stream);
        EXPECT_EQ(out.text(), printed);
    }
    // A missing file, and files of 2 GiB or more (sparse: only the start is written).
    StdoutCapture out;
    EXPECT_EQ(decryptFromFile(dir.file("missing"), "key").data(), nullptr);
    std::string expected = "Cannot open input file " + dir.file("missing") + ".";
    for (const long long size : {1LL << 31, (1LL << 32) + 100}) {
        writeFile(file, m + c);
        fs::resize_file(file, static_cast<std::uintmax_t>(size));
        EXPECT_EQ(decryptFromFile(file, "key").data(), nullptr);
        expected += invalid;
    }
    EXPECT_EQ(out.text(), expected);
}

// Container files are binary: line ends and 0x1A (end of file to a text-mode
// reader on Windows) pass byte for byte. Empty input and input of 4 GiB or
// more are refused (the huge view claims far more bytes than exist: they must
// never be read); outputs that cannot be written are reported. A failed
// allocation is logged, not printed, by every function that reserves memory;
// the small container that announces 3 GiB fails when its result is reserved.
TEST(Cryptography, FailuresAreReported) {
    TempDir dir;
    ByteBuffer data(randomBytes(2 << 20, 4)),
        hugeHeader(withHeader(encrypt(ByteBuffer(std::string("x")), "k").toString(), 3u << 30, "k"));
    const std::string unreachable = dir.file("no/such/dir/out.bin"), name = dir.file("binary.orv");
    const ByteBufferView huge(data.data(), 1ull << 32);
    LogSession session;
    StdoutCapture out;
    ASSERT_TRUE(encryptToFile(data, name, "k"));
    EXPECT_TRUE(readFile(name) == magic + encrypt(data, "k").toString());
    EXPECT_EQ(encrypt(ByteBufferView(), "k").data(), nullptr);
    EXPECT_EQ(decrypt(ByteBufferView(), "k").data(), nullptr);
    EXPECT_EQ(runStream(encryptStream, "", "k"), "!nothing to pack: the input is empty");
    EXPECT_FALSE(encryptToFile(ByteBufferView(), dir.file("never"), "k"));
    EXPECT_EQ(encrypt(huge, "k").data(), nullptr);
    EXPECT_EQ(decrypt(huge, "k").data(), nullptr);
    EXPECT_FALSE(fs::exists(dir.file("never")));
    EXPECT_FALSE(encryptToFile(data, unreachable, "k"));
    std::string expected =
        "Could not encrypt data.\nCompression error: -2\nUncompression error: -2\nCould not open file " + unreachable +
        " for writing.\n";
#ifndef _WIN32  // Windows has no device that fails every write
    EXPECT_FALSE(encryptToFile(data, "/dev/full", "k"));
    expected += "Error while writing to file /dev/full.\n";
    std::ofstream full("/dev/full", std::ios::binary);  // seekable; only the last flush fails
    EXPECT_EQ(runStream(encryptStream, "x", "k", &full), "!cannot write the output");
#endif
    std::ostream broken(nullptr);
    EXPECT_EQ(runStream(encryptStream, "x", "k", &broken), "!the output is not seekable");
    EXPECT_EQ(runStream(decryptStream, readFile(name), "k", &broken), "!cannot write the output");
#ifndef _WIN32  // there the library allocates through the C++ runtime DLL, whose operator new a test cannot replace
    writeFile(dir.file("lying.orv"), magic + hugeHeader.toString());
    FailAllocationsFrom fail(1 << 20);  // to the end of the test
    EXPECT_EQ(encrypt(data, "k").data(), nullptr);
    EXPECT_EQ(decrypt(hugeHeader, "k").data(), nullptr);
    EXPECT_EQ(decryptFromFile(name, "k").data(), nullptr);
    EXPECT_EQ(decryptFromFile(dir.file("lying.orv"), "k").data(), nullptr);
    EXPECT_EQ(runStream(encryptStream, "x", "k"), "!out of memory");
    EXPECT_EQ(runStream(decryptStream, magic + hugeHeader.toString(), "k"), "!out of memory");
    std::vector<std::string> reports;
    for (const char* where : {"encrypt", "decrypt", "decryptFromFile", "decrypt", "encryptStream", "decryptStream"}) {
        reports.push_back("4 Cryptography: Caught bad_alloc exception on " + std::string(where) + ": std::bad_alloc");
    }
    EXPECT_EQ(takeReports(*session.recording), reports);
#endif
    EXPECT_EQ(out.text(), expected);
}

// Containers built by an independent implementation (Python's zlib module)
// must be read back, and must be exactly what encrypt and encryptStream
// produce (encryptToFile writes what encrypt returns, checked above), however
// the stream writer's input is cut into pieces: one byte, incompressible data
// within one piece, exactly one piece and several pieces. The keys: the
// default one (given as null or as ""), one character, mixed bytes, and keys
// that do not divide the scrambler's tile, fill it exactly or exceed it.
TEST(Cryptography, MatchesAnIndependentImplementation) {
#ifdef _WIN32
    GTEST_SKIP() << "the reference implementation is a Python script, which Windows programs under Wine cannot start";
#endif
    TempDir dir;
    const std::string inputs[] = {std::string("\x9C", 1), randomBytes(64 * 1024 + 7, 1), std::string(1u << 20, 'a'),
                                  randomBytes((1u << 20) + 3, 9)};
    std::vector<std::string> keys = {"", "k", "\xC3\xA4\x7F\x01 mixed key bytes"};
    for (const size_t length : {1025, 8192, 8193}) {
        keys.push_back(randomBytes(length, static_cast<unsigned>(length)));
        std::replace(keys.back().begin(), keys.back().end(), '\0', 'z');
    }
    const size_t count = std::size(inputs) * keys.size();
    for (size_t i = 0; i < count; ++i) {
        writeFile(dir.file(std::to_string(i) + ".data"), inputs[i / keys.size()]);
        writeFile(dir.file(std::to_string(i) + ".key"), keys[i % keys.size()]);
    }
    const std::string command =
        "python3 '" ORVANTIS_TEST_SOURCE_DIR "/crypto/container_reference.py' '" + dir.path.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (size_t i = 0; i < count; ++i) {
        const std::string& data = inputs[i / keys.size()];
        const char* key =
            keys[i % keys.size()].empty() && i / keys.size() % 2 ? nullptr : keys[i % keys.size()].c_str();
        SCOPED_TRACE("case " + std::to_string(i));
        const std::string file = readFile(dir.file(std::to_string(i) + ".file"));
        const ByteBuffer reference(readFile(dir.file(std::to_string(i) + ".container"))), before(reference);
        EXPECT_EQ(decrypt(reference, key).toString(), data);
        EXPECT_EQ(reference, before) << "the caller's bytes stay unchanged";
        EXPECT_TRUE(runStream(decryptStream, file, key) == data);
        EXPECT_EQ(encrypt(ByteBuffer(data), key), reference);
        std::istringstream in(data);
        std::stringstream packed;
        ASSERT_TRUE(encryptStream(in, packed, key, nullptr));
        packed << "!";  // the writer leaves the stream at its end, past the header it rewrote
        EXPECT_TRUE(packed.str() == file + "!");
    }
}

}  // namespace
