#include "core/crypto/Cryptography.h"

#include "core/log/Log.h"
#include "support/FailingAllocation.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace Orvantis;
using Cryptography::applyXOR;
using Cryptography::decrypt;
using Cryptography::decryptFromFile;
using Cryptography::encrypt;
using Cryptography::encryptToFile;
using Cryptography::hashDJB2;

const std::string defaultKey = "(K) 2031 Orvantis Works, Tarnby, Halvia";
const std::string magic("ORVANTIS COMPRESSED v1\0", 23);

// Collects what is written to std::cout while it lives.
class CapturedStdout {
public:
    CapturedStdout() : previous(std::cout.rdbuf(buffer.rdbuf())) {}
    ~CapturedStdout() { std::cout.rdbuf(previous); }
    std::string text() const { return buffer.str(); }

private:
    std::ostringstream buffer;
    std::streambuf* previous;
};

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "orvantis-crypto-XXXXXX").string();
        path = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string file(const std::string& name) const { return (fs::path(path) / name).string(); }

    fs::path path;
};

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

// Inputs that exercise one byte, highly compressible and incompressible data.
std::vector<std::string> sampleInputs() {
    return {std::string("\x9C", 1), std::string(256 * 1024, 'z'), randomBytes(64 * 1024 + 7, 1),
            "The quick brown fox jumps over the lazy dog, again and again and again."};
}

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

TEST(Cryptography, ApplyXORUsesTheKeyFromItsLastCharacterBackwards) {
    std::string zeros(7, '\0');
    applyXOR(ByteBufferView(zeros), "abc");
    EXPECT_EQ(zeros, "cbacbac");

    std::string text = "Hello";
    applyXOR(ByteBufferView(text), "\x01");
    EXPECT_EQ(text, "Idmmn");

    // A null and an empty key both select the default key.
    std::string viaNull(45, '\0'), viaEmpty(45, '\0');
    applyXOR(ByteBufferView(viaNull), nullptr);
    applyXOR(ByteBufferView(viaEmpty), "");
    EXPECT_EQ(viaNull, viaEmpty);
    const std::string reversedKey(defaultKey.rbegin(), defaultKey.rend());
    EXPECT_EQ(viaNull, reversedKey + reversedKey.substr(0, 6));

    std::string data = randomBytes(1000, 2);
    const std::string original = data;
    applyXOR(ByteBufferView(data), "secret");
    EXPECT_NE(data, original);
    applyXOR(ByteBufferView(data), "secret");
    EXPECT_EQ(data, original);

    ByteBufferView nothing;
    applyXOR(nothing, "k");
    EXPECT_EQ(nothing.data(), nullptr);
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

TEST(Cryptography, RoundTripsInMemoryAndThroughFiles) {
    TempDir dir;
    const char* keys[] = {nullptr, "k", "a much longer key than the default one, with \xC3\xA4 inside it"};
    for (const std::string& input : sampleInputs()) {
        for (const char* key : keys) {
            SCOPED_TRACE(std::to_string(input.size()) + " bytes, key " + (key ? key : "(null)"));
            CapturedStdout out;
            const ByteBuffer container = encrypt(ByteBuffer(input), key);
            ASSERT_FALSE(container.empty());
            EXPECT_EQ(decrypt(container, key).toString(), input);

            const std::string name = dir.file("roundtrip.bin");
            ASSERT_TRUE(encryptToFile(ByteBuffer(input), name, key));
            EXPECT_EQ(decryptFromFile(name, key).toString(), input);
            EXPECT_EQ(out.text(), "");
        }
    }
}

TEST(Cryptography, ContainerLayout) {
    const std::string input(100000, 'q');
    const ByteBuffer container = encrypt(ByteBuffer(input), "key");
    ASSERT_GT(container.size(), 10u);
    EXPECT_LT(container.size(), 1000u);

    ByteBuffer plain(container);
    applyXOR(plain, "key");
    const unsigned char* header = reinterpret_cast<const unsigned char*>(plain.data());
    EXPECT_EQ(header[0] | header[1] << 8 | header[2] << 16 | header[3] << 24, 100000);
    EXPECT_EQ(std::string(plain.data() + 4, 4), std::string(4, '\0'));
    // zlib header of a default-level stream.
    EXPECT_EQ(header[8], 0x78);
    EXPECT_EQ(header[9], 0x9C);

    EXPECT_EQ(encrypt(ByteBuffer(input), nullptr), encrypt(ByteBuffer(input), ""));
    const ByteBuffer otherKey = encrypt(ByteBuffer(input), "other");
    EXPECT_EQ(otherKey.size(), container.size());
    EXPECT_NE(otherKey, container);

    // decrypt leaves the caller's bytes alone.
    const ByteBuffer before(container);
    decrypt(container, "key");
    EXPECT_EQ(container, before);
}

TEST(Cryptography, ContainerFileIsMagicThenContainer) {
    TempDir dir;
    const std::string name = dir.file("layout.bin");
    const std::string input = randomBytes(5000, 3);
    ASSERT_TRUE(encryptToFile(ByteBuffer(input), name, "key"));
    const std::string file = readFile(name);
    EXPECT_EQ(file.substr(0, 23), magic);
    EXPECT_EQ(file.substr(23), encrypt(ByteBuffer(input), "key").toString());

    // An existing file is replaced, not appended to.
    ASSERT_TRUE(encryptToFile(ByteBuffer(std::string("x")), name, "key"));
    EXPECT_EQ(readFile(name).substr(23), encrypt(ByteBuffer(std::string("x")), "key").toString());
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
    struct Case {
        std::string data;
        const char* key;  // null selects the default key
    };
    std::vector<Case> cases;
    const char* keys[] = {nullptr, "k", "\xC3\xA4\x7F\x01 mixed key bytes"};
    int seed = 10;
    for (const std::string& input : sampleInputs()) {
        for (const char* key : keys) {
            cases.push_back({input, key});
        }
        cases.push_back({randomBytes(input.size() % 3000 + 1, seed++), "x"});
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        writeFile(dir.file(std::to_string(i) + ".data"), cases[i].data);
        writeFile(dir.file(std::to_string(i) + ".key"), cases[i].key ? cases[i].key : "");
    }
    const std::string script = std::string(ORVANTIS_TEST_SOURCE_DIR) + "/crypto/container_reference.py";
    const std::string command = "python3 '" + script + "' '" + dir.path.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        const std::string base = dir.file(std::to_string(i));
        const ByteBuffer reference(readFile(base + ".container"));
        ASSERT_FALSE(reference.empty());
        EXPECT_EQ(decrypt(reference, c.key).toString(), c.data);
        EXPECT_EQ(decryptFromFile(base + ".file", c.key).toString(), c.data);
        EXPECT_EQ(encrypt(ByteBuffer(c.data), c.key), reference);
        ASSERT_TRUE(encryptToFile(ByteBuffer(c.data), base + ".ours", c.key));
        EXPECT_EQ(readFile(base + ".ours"), readFile(base + ".file"));
    }
}

}  // namespace
