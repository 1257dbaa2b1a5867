// The orvantis tool, run through bash as a separate process.
#include "core/crypto/Cryptography.h"

#include "support/Scratch.h"

#include <gtest/gtest.h>

#ifdef _WIN32

TEST(OrvantisTool, RunsItsCommands) {
    GTEST_SKIP() << "the orvantis tool is built for POSIX systems only";
}

#else

#include <fnmatch.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using namespace Orvantis;
using namespace OrvantisTest;

const std::string kToolDirectory = ORVANTIS_TEST_BINARY_DIR "/../tools/orvantis";

// The container file of `data`, as the library writes it; with `announced`,
// its header claims that many bytes instead (on a little-endian host).
std::string containerFile(const std::string& data, const char* key, std::uint32_t announced = 0) {
    ByteBuffer box = Cryptography::encrypt(ByteBuffer(data), key);
    if (announced != 0) {
        Cryptography::applyXOR(box, key);
        std::memcpy(box.data(), &announced, 4);
        Cryptography::applyXOR(box, key);
    }
    return std::string("ORVANTIS COMPRESSED v1\0", 23) + box.toString();
}

// Each row names a bash command, run in a scratch directory that every row
// gets filled the same way, and what it must leave: exit status, standard
// output, standard error and the changes to the directory, all fnmatch
// patterns. The changes are the lines "name mode size link-target" of the
// entries that are gone, and with a tab first of those that are new, in name
// order (comm -3 of the listings before and after).
TEST(OrvantisTool, CommandsKeepTheUsersFilesAndFollowOneSetOfRules) {
    if (!fs::exists(kToolDirectory + "/orvantis")) {
        GTEST_SKIP() << "the orvantis tool is not built";
    }
    const std::tuple<std::string, int, std::string, std::string, std::string> cases[] = {
        // Outputs: only regular files are replaced, links written through, modes kept.
        {"orvantis pack big new.orv && cmp new.orv big.orv", 0, "", "", "\tnew.orv 644 * \n"},
        {"orvantis pack notes.txt /dev/null --force", 1, "",
         "orvantis: pack: /dev/null: not a regular file (only regular files are replaced)\n", ""},
        {"orvantis unpack box.orv link -f", 0, "", "", "\ttarget.txt 644 6 \ntarget.txt 644 7 \n"},
        {"orvantis unpack box.orv private -f", 0, "", "", "\tprivate 600 6 \nprivate 600 7 \n"},
        {"orvantis unpack box.orv private", 1, "", "orvantis: unpack: private: exists (use --force to replace it)\n",
         ""},
        // Inputs: read to their end and checked, in pieces, through pipes; nothing is left of a failed output.
        {"orvantis unpack lying.orv out.txt", 1, "",
         "orvantis: unpack: lying.orv: the container is truncated: 6 of 4294967295 bytes\n", ""},
        {"orvantis pack big - | orvantis unpack - - | cmp - big", 0, "", "", ""},
        {"head -c 3000000 /dev/zero | orvantis hash -", 0,
         std::to_string(Cryptography::hashDJB2(ByteBuffer(std::string(3000000, '\0')))) + "  -\n", "", ""},
        // Keys.
        {"orvantis unpack --key=s3cret keyed.orv -", 0, "notes\n", "", ""},
        {"ORVANTIS_KEY=s3cret orvantis unpack keyed.orv -", 0, "notes\n", "", ""},
        // Output errors.
        {"orvantis hash notes.txt > /dev/full", 1, "", "orvantis: hash: standard output: No space left on device\n",
         ""},
        // One parser: bad arguments exit with 2.
        {"orvantis hash --bogus notes.txt", 2, "",
         "orvantis: hash: unknown option '--bogus' (see 'orvantis hash --help')\n", ""},
        {"orvantis pack notes.txt", 2, "", "orvantis: pack: missing operand (IN OUT)*", ""},
        {"orvantis frobnicate", 2, "", "orvantis: unknown command 'frobnicate'*", ""},
        // The other commands, once each.
        {"orvantis log app.log --level=warning -c Backup disk full && cat app.log", 0, "*\tWARN \t*Backup* disk full\n",
         "", "\tapp.log 644 * \n"},
        {"orvantis log --json - -c X hi", 0,
         "{\"time\":\"*\",\"level\":\"info\",\"category\":\"X\",\"message\":\"hi\"*}\n", "", ""},
        {"orvantis ls --ext=.orv .", 0, "*/big.orv\n*/box.orv\n*/keyed.orv\n*/lying.orv\n", "", ""},
        {"echo res://h:81/p | orvantis url --json -", 0, "{\"url\":\"res://h:81/p\",*\"portNumber\":81,*}\n", "", ""},
        {"orvantis play --fps 1000000 --frames 1", 0, "Playing 1 frame at 1000000 fps*frames called  1\n*", "", ""},
        {"TSAN_OPTIONS=report_signal_unsafe=0 TMPDIR=$PWD orvantis crash divzero --color=never", 150,
         "The report also goes to */orvantis-crash-??????.log;*Divide by zero error*", "",
         "\torvantis-crash-??????.log 600 * \n"},
        {"TMPDIR=$PWD orvantis demo", 0, "*records are in */orvantis-demo-??????.log\n", "",
         "\torvantis-demo-??????.log 600 * \n"},
    };
    for (const auto& [command, status, out, err, changed] : cases) {
        SCOPED_TRACE(command);
        TempDir scratch;  // the command runs in its folder "d"; what it leaves goes beside
        const fs::path dir = scratch.path / "d";
        fs::create_directories(dir);
        writeFile(dir / "notes.txt", "notes\n");
        writeFile(dir / "big", randomBytes((1 << 20) + 100000, 7));  // more than one piece
        writeFile(dir / "big.orv", containerFile(readFile(dir / "big"), nullptr));
        writeFile(dir / "box.orv", containerFile("notes\n", nullptr));
        writeFile(dir / "keyed.orv", containerFile("notes\n", "s3cret"));
        writeFile(dir / "lying.orv", containerFile("notes\n", nullptr, 0xFFFFFFFFu));
        writeFile(dir / "private", "secret\n");
        fs::permissions(dir / "private", fs::perms(0600));
        writeFile(dir / "target.txt", "target\n");
        fs::create_symlink("target.txt", dir / "link");
        const std::string list = "find . -mindepth 1 -printf '%P %m %s %l\\n' | LC_ALL=C sort";
        writeFile(scratch.file("script"), "umask 022; cd '" + dir.string() + "'; PATH='" + kToolDirectory +
                                              "':$PATH; " + list + " >../before; { " + command +
                                              "\n} >../out 2>../err; status=$?; " + list +
                                              " | comm -3 ../before - >../changes; exit $status\n");
        const int raw = std::system(("bash " + scratch.file("script")).c_str());
        const std::string stdOut = readFile(scratch.file("out")), stdErr = readFile(scratch.file("err"));
        const std::string changes = readFile(scratch.file("changes"));
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, status) << stdErr;
        EXPECT_EQ(fnmatch(out.c_str(), stdOut.c_str(), 0), 0) << "standard output:\n" << stdOut;
        EXPECT_EQ(fnmatch(err.c_str(), stdErr.c_str(), 0), 0) << "standard error:\n" << stdErr;
        EXPECT_EQ(fnmatch(changed.c_str(), changes.c_str(), 0), 0) << "changes:\n" << changes;
    }
}

}  // namespace

#endif  // _WIN32
