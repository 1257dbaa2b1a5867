#include "core/crypto/Cryptography.h"

#include "core/log/Log.h"
#include "support/FailingAllocation.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace Orvantis;
using namespace OrvantisTest;
using Cryptography::applyXOR;
using Cryptography::decrypt;
using Cryptography::decryptFromFile;
using Cryptography::encrypt;
using Cryptography::encryptToFile;
using Cryptography::decryptStream;
using Cryptography::encryptStream;
using Cryptography::hashDJB2;

const std::string defaultKey = "(K) 2031 Orvantis Works, Tarnby, Halvia";
const std::string magic("ORVANTIS COMPRESSED v1\0", 23);

// Rewrites the length in the header of a container scrambled with `key`.
ByteBuffer withAnnouncedLength(const ByteBuffer& container, std::uint32_t length, const char* key) {
    ByteBuffer copy(container);
    applyXOR(copy, key);
    for (int i = 0; i < 4; ++i) {
        copy[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    applyXOR(copy, key);
    return copy;
}

// Runs a streaming function over `input`; returns its output, or "!" and the
// reason on failure.
template <class Function>
std::string runStream(Function function, const std::string& input, const char* key) {
    std::istringstream in(input);
    std::stringstream out;
    std::string error;
    return function(in, out, key, &error) ? out.str() : "!" + error;
}

TEST(Cryptography, ApplyXORUsesTheKeyFromItsLastCharacterBackwards) {
    std::string zeros(7, '\0');
    applyXOR(ByteBufferView(zeros), "abc");
    EXPECT_EQ(zeros, "cbacbac");

    // A null and an empty key both select the default key.
    std::string viaNull(45, '\0'), viaEmpty(45, '\0');
    applyXOR(ByteBufferView(viaNull), nullptr);
    applyXOR(ByteBufferView(viaEmpty), "");
    const std::string reversedKey(defaultKey.rbegin(), defaultKey.rend());
    EXPECT_EQ(viaNull, reversedKey + reversedKey.substr(0, 6));
    EXPECT_EQ(viaEmpty, viaNull);

    std::string data = randomBytes(1000, 2);
    const std::string original = data;
    applyXOR(ByteBufferView(data), "secret");
    EXPECT_NE(data, original);
    applyXOR(ByteBufferView(data), "secret");
    EXPECT_EQ(data, original);
}

TEST(Cryptography, HashDJB2ReadsBytesAsSigned) {
    struct Case {
        std::string bytes;
        unsigned long long hash;
    } cases[] = {
        {"", 5381ull},
        {"abc", 193485963ull},
        {"\xFF", 177572ull},
        {"\x80", 5381ull * 33 - 128},
        // Sixteen steps overflow 64 bits: the arithmetic wraps.
        {"zzzzzzzzzzzzzzzz", 0x47E40D7F2DAA2CA5ull},
        {std::string(16, '\xC3'), 0x0F7B933C85DC2835ull},
    };
    for (Case& c : cases) {
        EXPECT_EQ(hashDJB2(ByteBufferView(c.bytes)), c.hash) << c.bytes;
    }
    EXPECT_EQ(hashDJB2(ByteBufferView(nullptr, 3)), 5381ull);
}

TEST(Cryptography, KeyChoiceKeepsTheLengthAndCallersBytes) {
    const ByteBuffer input(std::string(100000, 'q'));
    const ByteBuffer container = encrypt(input, "key");
    EXPECT_LT(container.size(), 1000u);
    EXPECT_EQ(encrypt(input, nullptr), encrypt(input, ""));
    const ByteBuffer otherKey = encrypt(input, "other");
    EXPECT_EQ(otherKey.size(), container.size());
    EXPECT_NE(otherKey, container);

    const ByteBuffer before(container);
    EXPECT_EQ(decrypt(container, "key"), input);
    EXPECT_EQ(container, before);
}

TEST(Cryptography, EmptyInputGivesEmptyResults) {
    TempDir dir;
    const std::string name = dir.file("never.bin");
    CapturedStdout out;
    EXPECT_EQ(encrypt(ByteBufferView(), "k").data(), nullptr);
    EXPECT_EQ(decrypt(ByteBufferView(), "k").data(), nullptr);
    EXPECT_EQ(out.text(), "");
    EXPECT_FALSE(encryptToFile(ByteBufferView(), name, "k"));
    EXPECT_EQ(out.text(), "Could not encrypt data.\n");
    EXPECT_FALSE(fs::exists(name));
}

TEST(Cryptography, DecryptReportsDamagedContainers) {
    const std::string input = "a short text that compresses to a short stream";
    const ByteBuffer container = encrypt(ByteBuffer(input), "key");
    struct Case {
        const char* what;
        ByteBuffer container;
        std::string message;
    } cases[] = {
        {"one byte", ByteBuffer(container.toString().substr(0, 1)), "Uncompression error: -3\n"},
        {"seven bytes", ByteBuffer(container.toString().substr(0, 7)), "Uncompression error: -3\n"},
        {"header only", ByteBuffer(container.toString().substr(0, 8)), "Uncompression error: -3\n"},
        {"cut stream", ByteBuffer(container.toString().substr(0, container.size() / 2)),
         "Uncompression error: -3\n"},
        {"length too small", withAnnouncedLength(container, 10, "key"), "Uncompression error: -5\n"},
        {"wrong key", encrypt(ByteBuffer(input), "yek"), "Uncompression error: -3\n"},
    };
    for (Case& c : cases) {
        CapturedStdout out;
        const ByteBuffer result = decrypt(c.container, "key");
        EXPECT_EQ(result.data(), nullptr) << c.what;
        EXPECT_EQ(result.size(), 0u) << c.what;
        EXPECT_EQ(out.text(), c.message) << c.what;
    }
}

TEST(Cryptography, ShortStreamIsPaddedWithZerosToTheAnnouncedLength) {
    const std::string input = "abcdef";
    const ByteBuffer longer = withAnnouncedLength(encrypt(ByteBuffer(input), "key"), 4096, "key");
    CapturedStdout out;
    const ByteBuffer result = decrypt(longer, "key");
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(result.toString(), input + std::string(4096 - input.size(), '\0'));
}

TEST(Cryptography, FileReaderReportsBadFiles) {
    TempDir dir;
    const std::string container = encrypt(ByteBuffer(std::string("payload")), "k").toString();
    std::string badMagic = magic + container;
    badMagic[22] = '!';
    struct Case {
        const char* name;
        std::string content;
        std::string message;  // the file name stands where NAME is
    } cases[] = {
        {"empty", "", "Invalid input file NAME.\n"},
        {"magic-only", magic, "Invalid input file NAME.\n"},
        {"bad-magic", badMagic, "Wrong magic byte in input file NAME.\n"},
        {"bad-magic-start", "X" + magic.substr(1) + container, "Wrong magic byte in input file NAME.\n"},
        {"short-container", magic + container.substr(0, 7), "Uncompression error: -3\n"},
        {"one-byte-container", magic + container.substr(0, 1), "Uncompression error: -3\n"},
        {"wrong-key", magic + encrypt(ByteBuffer(std::string("payload")), "other").toString(),
         "Uncompression error: -3\n"},
    };
    for (Case& c : cases) {
        const std::string name = dir.file(c.name);
        writeFile(name, c.content);
        CapturedStdout out;
        EXPECT_EQ(decryptFromFile(name, "k").data(), nullptr) << c.name;
        std::string expected = c.message;
        const size_t at = expected.find("NAME");
        if (at != std::string::npos) {
            expected.replace(at, 4, name);
        }
        EXPECT_EQ(out.text(), expected) << c.name;
    }

    const std::string missing = dir.file("missing");
    CapturedStdout out;
    EXPECT_EQ(decryptFromFile(missing, "k").data(), nullptr);
    EXPECT_EQ(out.text(), "Cannot open input file " + missing + ".");
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
}

TEST(Cryptography, InputsOfFourGibibytesOrMoreAreRefusedUnread) {
    TempDir dir;
    // The view claims far more bytes than exist; they must never be read.
    char byte = 'x';
    const ByteBufferView huge(&byte, 1ull << 32);
    const std::string name = dir.file("huge.bin");
    CapturedStdout out;
    EXPECT_EQ(encrypt(huge, "k").data(), nullptr);
    EXPECT_EQ(out.text(), "Compression error: -2\n");
    EXPECT_FALSE(encryptToFile(huge, name, "k"));
    EXPECT_EQ(out.text(), "Compression error: -2\nCompression error: -2\nCould not encrypt data.\n");
    EXPECT_FALSE(fs::exists(name));
    EXPECT_EQ(decrypt(huge, "k").data(), nullptr);
    EXPECT_EQ(out.text().substr(out.text().rfind("Unc")), "Uncompression error: -2\n");
}

class RecordingSink : public Log::Sink {
public:
    explicit RecordingSink(std::vector<Log::Sink::LogCapture>& records) : records(records) {}

protected:
    void flush() override {}
    void logImpl(const LogCapture& capture) override { records.push_back(capture); }

private:
    std::vector<Log::Sink::LogCapture>& records;
};

TEST(Cryptography, AllocationFailuresAreLoggedNotPrinted) {
    TempDir dir;
    const ByteBuffer big(randomBytes(2 << 20, 5));
    const ByteBuffer container = encrypt(big, "k");
    const ByteBuffer hugeHeader = withAnnouncedLength(encrypt(ByteBuffer(std::string("x")), "k"), 3u << 30, "k");
    const std::string name = dir.file("big.bin");
    ASSERT_TRUE(encryptToFile(big, name, "k"));

    std::vector<Log::Sink::LogCapture> records;
    Log::init(Log::Trace, Log::Synchronous);
    Log::addSink(std::make_unique<RecordingSink>(records));
    CapturedStdout out;
    {
        OrvantisTest::FailAllocationsFrom fail(1 << 20);
        EXPECT_EQ(encrypt(big, "k").data(), nullptr);
        EXPECT_EQ(decrypt(hugeHeader, "k").data(), nullptr);
        EXPECT_EQ(decryptFromFile(name, "k").data(), nullptr);
        EXPECT_FALSE(encryptToFile(big, dir.file("unwritten.bin"), "k"));
        // Below the global level nothing is even formatted.
        Log::setGlobalLevel(Log::Fatal);
        EXPECT_EQ(encrypt(big, "k").data(), nullptr);
        Log::setGlobalLevel(Log::Trace);
    }
    Log::deinit();

    const std::string lost = ": std::bad_alloc";
    const std::vector<std::string> expected = {
        "Caught bad_alloc exception on encrypt" + lost,
        "Caught bad_alloc exception on decrypt" + lost,
        "Caught bad_alloc exception on decryptFromFile" + lost,
        "Caught bad_alloc exception on encrypt" + lost,
    };
    ASSERT_EQ(records.size(), expected.size());
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].level, Log::Error);
        EXPECT_EQ(records[i].category, "Cryptography");
        EXPECT_EQ(records[i].message, expected[i]);
    }
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
        EXPECT_EQ(decrypt(reference, key).toString(), data);
        EXPECT_EQ(decryptFromFile(base + ".file", key).toString(), data);
        EXPECT_TRUE(runStream(decryptStream, readFile(base + ".file"), key) == data);
        EXPECT_EQ(encrypt(ByteBuffer(data), key), reference);
        ASSERT_TRUE(encryptToFile(ByteBuffer(data), base + ".ours", key));
        EXPECT_EQ(readFile(base + ".ours"), readFile(base + ".file"));
    }
}

// The stream writer must make exactly the file of encryptToFile, however the
// input is cut into pieces, and the reader must give the data back.
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

TEST(Cryptography, StreamsReportFailuresWithoutPrinting) {
    const std::string input = "abcdef";
    const std::string file = magic + encrypt(ByteBuffer(input), "key").toString();
    const auto announcing = [&](std::uint32_t length) {
        return magic + withAnnouncedLength(encrypt(ByteBuffer(input), "key"), length, "key").toString();
    };
    struct Case {
        const char* what;
        std::string input;
        std::string result;
    } cases[] = {
        {"empty", "", "!the input is too short for a container file"},
        {"magic only", magic, "!the input is too short for a container file"},
        {"seven header bytes", file.substr(0, 30), "!the input is too short for a container file"},
        {"wrong magic", "X" + file.substr(1), "!wrong magic (not a container file)"},
        {"short wrong magic", "ORVANTIZ", "!wrong magic (not a container file)"},
        {"cut stream", file.substr(0, file.size() - 5), "!the container is truncated: 6 of 6 bytes"},
        {"header only", file.substr(0, 31), "!the container is truncated: 0 of 6 bytes"},
        {"stream shorter than announced", announcing(4096), "!the container is truncated: 6 of 4096 bytes"},
        {"claims 4 GiB", announcing(0xFFFFFFFFu), "!the container is truncated: 6 of 4294967295 bytes"},
        {"stream longer than announced", announcing(3), "!the data is longer than its header announces"},
        {"trailing byte", file + "!", "!there are bytes after the end of the container"},
        {"wrong key", magic + encrypt(ByteBuffer(input), "yek").toString(), "!wrong key or damaged container"},
        {"intact", file, input},
    };
    CapturedStdout out;
    for (Case& c : cases) {
        EXPECT_EQ(runStream(decryptStream, c.input, "key"), c.result) << c.what;
    }
    EXPECT_EQ(runStream(encryptStream, "", "key"), "!nothing to pack: the input is empty");
    std::istringstream in(input);
    std::ostream broken(nullptr);
    std::string error;
    EXPECT_FALSE(encryptStream(in, broken, "key", &error));
    EXPECT_EQ(error, "the output is not seekable");
    std::istringstream container(file);
    EXPECT_FALSE(decryptStream(container, broken, "key", &error));
    EXPECT_EQ(error, "cannot write the output");
    EXPECT_EQ(out.text(), "");
}

}  // namespace
