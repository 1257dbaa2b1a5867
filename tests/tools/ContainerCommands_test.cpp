// The orvantis commands around containers: pack, unpack and hash, run as a
// separate process. Skipped when the tool is not built.
#include "core/crypto/Cryptography.h"

#include "support/Scratch.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace Orvantis;
using namespace OrvantisTest;

class ContainerCommands : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(toolPath())) {
            GTEST_SKIP() << "the orvantis tool is not built";
        }
    }

    // Runs the tool in the scratch directory.
    ToolRun run(const std::vector<std::string>& args) { return runTool(dir, args); }

    // The names in the scratch directory, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir scratch;
    const fs::path dir = scratch.path;
};

TEST_F(ContainerCommands, PackWritesTheLibrarysContainerFileAndUnpackRestoresIt) {
    const std::string data = randomBytes(30000, 7) + std::string(30000, 'a');
    writeFile(dir / "in.bin", data);
    for (const std::vector<std::string>& key : {std::vector<std::string>{}, {"--key", "k3y"}, {"-k", ""}}) {
        const char* libraryKey = key.empty() || key[1].empty() ? nullptr : key[1].c_str();
        std::vector<std::string> pack = {"pack", "in.bin", "packed.orv", "--force"};
        pack.insert(pack.end(), key.begin(), key.end());
        const ToolRun packed = run(pack);
        ASSERT_EQ(packed.status, 0) << packed.err;
        std::string encrypted = Cryptography::encrypt(ByteBufferView(const_cast<char*>(data.data()), data.size()),
                                                       libraryKey)
                                    .toString();
        EXPECT_EQ(readFile(dir / "packed.orv"), std::string("ORVANTIS COMPRESSED v1\0", 23) + encrypted);

        std::vector<std::string> unpack = {"unpack", "packed.orv", "out.bin", "--force"};
        unpack.insert(unpack.end(), key.begin(), key.end());
        const ToolRun unpacked = run(unpack);
        ASSERT_EQ(unpacked.status, 0) << unpacked.err;
        EXPECT_EQ(readFile(dir / "out.bin"), data);
        EXPECT_EQ(unpacked.out + unpacked.err, "");
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"in.bin", "out.bin", "packed.orv"}));
}

TEST_F(ContainerCommands, ExistingOutputIsKeptWithoutForce) {
    writeFile(dir / "in.txt", "some text");
    ASSERT_EQ(run({"pack", "in.txt", "box.orv"}).status, 0);
    writeFile(dir / "taken", "keep me");
    for (const std::string command : {"pack", "unpack"}) {
        const ToolRun r = run({command, command == "pack" ? std::string("in.txt") : std::string("box.orv"), "taken"});
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, "orvantis " + command + ": taken exists (use --force to replace it)\n");
        EXPECT_EQ(readFile(dir / "taken"), "keep me");
    }
    ASSERT_EQ(run({"unpack", "box.orv", "taken", "--force"}).status, 0);
    EXPECT_EQ(readFile(dir / "taken"), "some text");
}

TEST_F(ContainerCommands, FailuresGiveOneLineAndLeaveNoFile) {
    writeFile(dir / "in.txt", "some text");
    writeFile(dir / "empty", "");
    writeFile(dir / "fake.orv", std::string("ORVANTIS COMPRESSED v2\0 and more bytes", 38));
    ASSERT_EQ(run({"pack", "in.txt", "box.orv", "--key", "right"}).status, 0);
    const std::vector<std::string> before = entries();
    struct Case {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"unpack", "box.orv", "out", "--key", "wrong"},
         "orvantis unpack: wrong key or damaged container (Uncompression error: -3)\n"},
        {{"unpack", "fake.orv", "out"}, "orvantis unpack: Wrong magic byte in input file fake.orv.\n"},
        {{"unpack", "in.txt", "out"}, "orvantis unpack: Invalid input file in.txt.\n"},
        {{"unpack", "missing", "out"}, "orvantis unpack: Cannot open input file missing.\n"},
        {{"pack", "missing", "out"}, "orvantis pack: cannot read missing: No such file or directory\n"},
        {{"pack", "empty", "out"}, "orvantis pack: empty is empty: a container cannot hold empty data\n"},
    };
    for (const Case& c : cases) {
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(entries(), before) << c.err;
    }
}

TEST_F(ContainerCommands, BadArgumentsAreUsageErrors) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"pack", "only-one"}, {"unpack", "a", "b", "c"}, {"pack", "a", "b", "--key"},
             {"pack", "a", "b", "--level"}, {"hash"}}) {
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("Usage: orvantis " + args[0]), std::string::npos) << r.err;
    }
}

TEST_F(ContainerCommands, HashPrintsDecimalHashTwoBlanksAndName) {
    writeFile(dir / "abc", "abc");
    writeFile(dir / "ff", "\xFF");
    const ToolRun r = run({"hash", "abc", "missing", "ff"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "193485963  abc\n177572  ff\n");
    EXPECT_EQ(r.err, "orvantis hash: cannot read missing: No such file or directory\n");
}

}  // namespace
