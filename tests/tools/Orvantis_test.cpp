// The orvantis tool, run through bash as a separate process in a scratch
// directory that every case gets filled the same way. Each row names a shell
// command and what it must leave: exit status, standard output, standard
// error (fnmatch patterns) and the changes to the scratch directory.
#include "core/crypto/Cryptography.h"
#include "core/utils/Version.h"

#include "support/Scratch.h"

#include <gtest/gtest.h>

#ifdef _WIN32

TEST(OrvantisTool, RunsItsCommands) {
    GTEST_SKIP() << "the orvantis tool is built for POSIX systems only";
}

#else

#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;
using namespace Orvantis;
using namespace OrvantisTest;

const std::string kToolDirectory = ORVANTIS_TEST_BINARY_DIR "/../tools/orvantis";
const std::string kMagic("ORVANTIS COMPRESSED v1\0", 23);

// The container file of `data`; with `announced`, its header claims that
// many bytes instead.
std::string containerFile(std::string data, const char* key, long long announced = -1) {
    ByteBuffer box = Cryptography::encrypt(ByteBufferView(data), key);
    if (announced >= 0) {
        Cryptography::applyXOR(ByteBufferView(box.data(), 8), key);
        for (int i = 0; i < 4; ++i) {
            box[i] = static_cast<char>(announced >> (8 * i));
        }
        Cryptography::applyXOR(ByteBufferView(box.data(), 8), key);
    }
    return kMagic + box.toString();
}

std::string hashOf(std::string data) {
    return std::to_string(Cryptography::hashDJB2(ByteBufferView(data)));
}

// One entry as the change list shows it: "=text" for short text, "#size"
// otherwise, "(mode)" when it is not 644, "->target" for a link.
std::string describe(const fs::path& p) {
    const fs::file_status status = fs::symlink_status(p);
    if (fs::is_symlink(status)) {
        return "->" + fs::read_symlink(p).string();
    }
    if (!fs::is_regular_file(status)) {
        return fs::is_directory(status) ? "/" : "|";
    }
    const auto mode = static_cast<unsigned>(status.permissions());
    std::string text = mode == 0644 ? ""
                                    : "(" + std::to_string(mode >> 6) + std::to_string((mode >> 3) & 7) +
                                          std::to_string(mode & 7) + ")";
    const std::string content = readFile(p);
    const bool printable = content.size() <= 64 && content.find_first_of(std::string("\0\x1b", 2)) == std::string::npos;
    return text + (printable ? "=" + content : "#" + std::to_string(content.size()));
}

std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        entries[fs::relative(e.path(), dir).string()] = describe(e.path());
    }
    return entries;
}

// "+new", "~changed" and "-removed" entries, in name order, joined by blanks.
std::string changes(const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& after) {
    std::string list;
    for (const auto& [name, what] : after) {
        const auto old = before.find(name);
        if (old == before.end() || old->second != what) {
            list += (list.empty() ? "" : " ") + std::string(old == before.end() ? "+" : "~") + name + what;
        }
    }
    for (const auto& [name, what] : before) {
        list += after.count(name) != 0 ? "" : (list.empty() ? "-" : " -") + name;
    }
    return list;
}

struct Case {
    const char* name;
    std::string command;  // bash, run in the scratch directory
    int status;
    std::string out, err, changes;  // fnmatch patterns
};

class OrvantisTool : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kToolDirectory + "/orvantis")) {
            GTEST_SKIP() << "the orvantis tool is not built";
        }
    }

    static void fill(const fs::path& dir) {
        writeFile(dir / "notes.txt", "notes\n");
        writeFile(dir / "box.orv", containerFile("notes\n", nullptr));
        writeFile(dir / "keyed.orv", containerFile("notes\n", "s3cret"));
        writeFile(dir / "key.txt", "s3cret\n");
        writeFile(dir / "lying.orv", containerFile("notes\n", nullptr, 0xFFFFFFFFLL));
        writeFile(dir / "short.orv", containerFile(std::string(1000, 'x'), nullptr, 1090));
        writeFile(dir / "bad.orv", "this is not a container file at all\n");
        writeFile(dir / "private", "secret\n");
        fs::permissions(dir / "private", fs::perms(0600));
        writeFile(dir / "target.txt", "target\n");
        fs::create_symlink("target.txt", dir / "link");
        ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
        fs::create_directory(dir / "sub");
        for (const char* name : {"c.txt", "a.txt", "b.md"}) {
            writeFile(dir / "sub" / name, "x");
        }
    }

    void check(const Case& c) {
        SCOPED_TRACE(c.name);
        TempDir scratch, output;
        fill(scratch.path);
        const auto before = snapshot(scratch.path);
        writeFile(output.path / "script", "umask 022; cd '" + scratch.path.string() + "'; PATH='" + kToolDirectory +
                                              "':$PATH; { " + c.command + "\n} >'" + output.file("out") + "' 2>'" +
                                              output.file("err") + "'\n");
        const int raw = std::system(("bash " + output.file("script")).c_str());
        const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        const std::string out = readFile(output.file("out")), err = readFile(output.file("err"));
        const std::string changed = changes(before, snapshot(scratch.path));
        EXPECT_EQ(status, c.status) << err;
        EXPECT_EQ(fnmatch(c.out.c_str(), out.c_str(), 0), 0) << "standard output:\n" << out;
        EXPECT_EQ(fnmatch(c.err.c_str(), err.c_str(), 0), 0) << "standard error:\n" << err;
        EXPECT_EQ(fnmatch(c.changes.c_str(), changed.c_str(), 0), 0) << "changes: " << changed;
    }
};

TEST_F(OrvantisTool, CommandsKeepTheUsersFilesAndFollowOneSetOfRules) {
    const std::string packed = "#" + std::to_string(containerFile("notes\n", nullptr).size());
    const std::string notes = hashOf("notes\n");
    const std::string waitForTemp = " & until ls .new.orv.* >/dev/null 2>&1; do sleep 0.05; done; ";
    const Case cases[] = {
        // Outputs: only regular files are replaced, links written through, modes kept.
        {"pack writes a new file", "orvantis pack notes.txt new.orv", 0, "", "", "+new.orv" + packed},
        {"a device is refused", "orvantis pack notes.txt /dev/null --force", 1, "",
         "orvantis: pack: /dev/null: not a regular file (only regular files are replaced)\n", ""},
        {"a full device is refused too", "orvantis unpack box.orv /dev/full -f", 1, "", "*/dev/full: not a regular*",
         ""},
        {"a FIFO is refused", "orvantis unpack box.orv pipe --force", 1, "", "*: pipe: not a regular file*", ""},
        {"a directory is refused", "orvantis pack notes.txt sub -f", 1, "", "orvantis: pack: sub: Is a directory\n",
         ""},
        {"a link is written through", "orvantis unpack box.orv link -f", 0, "", "", "~target.txt=notes\n"},
        {"a private file stays private", "orvantis unpack box.orv private -f", 0, "", "", "~private(600)=notes\n"},
        {"an existing file needs --force", "orvantis unpack box.orv private", 1, "",
         "orvantis: unpack: private: exists (use --force to replace it)\n", ""},
        // Inputs: read to their end, checked, never trusted.
        {"a container announcing 4 GiB", "orvantis unpack lying.orv out.txt", 1, "",
         "orvantis: unpack: lying.orv: the container is truncated: 6 of 4294967295 bytes\n", ""},
        {"a container 90 bytes short", "orvantis unpack short.orv -", 1, "",
         "orvantis: unpack: short.orv: the container is truncated: 1000 of 1090 bytes\n", ""},
        {"not a container", "orvantis unpack bad.orv out.txt", 1, "",
         "orvantis: unpack: bad.orv: wrong magic (not a container file)\n", ""},
        {"a wrong key", "orvantis unpack keyed.orv out.txt", 1, "",
         "orvantis: unpack: keyed.orv: wrong key or damaged container\n", ""},
        {"pipes both ways", "orvantis pack notes.txt - | orvantis unpack - -", 0, "notes\n", "", ""},
        {"pack from standard input", "orvantis pack - new.orv < notes.txt", 0, "", "", "+new.orv" + packed},
        {"hash of a FIFO", "cat notes.txt > pipe & orvantis hash pipe", 0, notes + "  pipe\n", "", ""},
        {"hash of a process substitution", "orvantis hash <(cat notes.txt)", 0, notes + "  /dev/fd/*\n", "", ""},
        {"hash across chunks", "head -c 3000000 /dev/zero | orvantis hash -", 0,
         hashOf(std::string(3000000, '\0')) + "  -\n", "", ""},
        {"hash goes on after a failure", "orvantis hash missing notes.txt", 1, notes + "  notes.txt\n",
         "orvantis: hash: missing: No such file or directory\n", ""},
        // Keys.
        {"--key=KEY", "orvantis unpack --key=s3cret keyed.orv -", 0, "notes\n", "", ""},
        {"--key-file", "orvantis unpack keyed.orv - --key-file key.txt", 0, "notes\n", "", ""},
        {"ORVANTIS_KEY", "ORVANTIS_KEY=s3cret orvantis unpack keyed.orv -", 0, "notes\n", "", ""},
        {"the help warns about --key", "orvantis pack --help", 0, "Usage: orvantis pack *--key*visible to every user*",
         "", ""},
        // Output errors and signals.
        {"a full disk", "orvantis hash notes.txt > /dev/full", 1, "",
         "orvantis: hash: standard output: No space left on device\n", ""},
        {"a closed standard output", "orvantis unpack box.orv - >&-", 1, "",
         "orvantis: unpack: standard output: Bad file descriptor\n", ""},
        {"url to a closed standard output", "orvantis url res://h >&-", 1, "", "*standard output: Bad file*", ""},
        {"log to a full device", "orvantis log /dev/full msg", 1, "", "orvantis: log: /dev/full: *\n", ""},
        {"an ignored SIGHUP stays ignored",
         "trap '' HUP; (sleep 1; cat notes.txt) | orvantis pack - new.orv" + waitForTemp + "kill -HUP $!; wait $!", 0,
         "", "", "+new.orv" + packed},
        {"an interrupted pack leaves nothing",
         "(sleep 2; cat notes.txt) | orvantis pack - new.orv" + waitForTemp + "kill -TERM $!; wait $!", 143, "", "",
         ""},
        // One parser.
        {"-h on every command",
         "for c in pack unpack hash ls log url crash play demo; do orvantis $c -h | head -1; done", 0,
         "Usage: orvantis pack *\nUsage: orvantis unpack *\nUsage: orvantis hash *\nUsage: orvantis ls *\n"
         "Usage: orvantis log *\nUsage: orvantis url *\nUsage: orvantis crash *\nUsage: orvantis play *\n"
         "Usage: orvantis demo *\n",
         "", ""},
        {"an unknown option", "orvantis hash --bogus notes.txt", 2, "",
         "orvantis: hash: unknown option '--bogus' (see 'orvantis hash --help')\n", ""},
        {"an unknown short option", "orvantis url -x res://h", 2, "", "orvantis: url: unknown option '-x'*", ""},
        {"a misspelt option writes nothing", "orvantis log app.log --levle warning msg", 2, "", "*'--levle'*", ""},
        {"a missing operand", "orvantis pack notes.txt", 2, "", "orvantis: pack: missing operand (IN OUT)*", ""},
        {"-- ends the options", "orvantis hash -- --help", 1, "", "orvantis: hash: --help: No such file or directory\n",
         ""},
        {"a bad --color", "orvantis crash segv --color=sometimes", 2, "", "*--color takes auto, always or never*", ""},
        {"an unknown command", "orvantis frobnicate", 2, "", "orvantis: unknown command 'frobnicate'*", ""},
        {"--version", "orvantis --version", 0, Utils::libraryVersion().toString() + "\n", "", ""},
        // The other commands.
        {"log appends one record", "orvantis log app.log --level=warning -c Backup disk full", 0, "", "",
         "+app.log=*\tWARN \t*Backup* disk full\n"},
        {"log to standard output", "orvantis log - --category=X hello", 0, "*\tINFO \t*X* hello\n", "", ""},
        {"log writes JSON lines", "orvantis log --json - -c X 'say \"hi\"'", 0,
         "{\"time\":\"*\",\"level\":\"info\",\"category\":\"X\",\"message\":\"say \\\\\"hi\\\\\"\",\"thread\":*}\n", "",
         ""},
        {"log rotates", "for i in 1 2 3 4; do orvantis log --rotate=60:2 r.log record $i; done", 0, "", "",
         "+r.log=*record 4\n +r.log.1=*record 3\n"},
        {"log to a journal that is not there", "orvantis log --journal=app msg", 1, "",
         "orvantis: log: No systemd journal socket at '/run/systemd/journal/socket'*\n", ""},
        {"log options that do not fit together", "orvantis log --syslog app --rotate 9:2 msg", 2, "", "*", ""},
        {"ls sorts and cleans", "orvantis ls ./sub/.", 0, "*/sub/a.txt\n*/sub/b.md\n*/sub/c.txt\n", "", ""},
        {"ls --recursive --ext", "orvantis ls -r --ext=.txt .", 0,
         "*/key.txt\n*/notes.txt\n*/sub/a.txt\n*/sub/c.txt\n*/target.txt\n", "", ""},
        {"url from standard input", "echo res://h:81/p | orvantis url --json -", 0,
         "{\"url\":\"res://h:81/p\",*\"portNumber\":81,*}\n", "", ""},
        {"play speaks plainly", "orvantis play --fps 1000000 --frames 1", 0,
         "Playing 1 frame at 1000000 fps (1 us apart)*frames called  1\n*lateness max   * us\n*<= * us |*", "", ""},
        {"Ctrl-C still reports", "timeout --preserve-status -s INT 1 orvantis play --fps 100 --frames 100000", 130,
         "Playing*frames called*", "", ""},
        {"crash writes a fresh log",  // the report symbolises inside the signal handler, on purpose
         "TSAN_OPTIONS=report_signal_unsafe=0 TMPDIR=$PWD orvantis crash divzero --color=never", 150,
         "The report also goes to */orvantis-crash-??????.log;*Divide by zero error*", "",
         "+orvantis-crash-??????.log(600)#*"},
        {"--color=always colours a pipe",
         "TSAN_OPTIONS=report_signal_unsafe=0 TMPDIR=$PWD NO_COLOR=1 "
         "orvantis crash divzero --color=always | grep -q $'\\e\\[1;97;41m' && echo coloured",
         0, "coloured\n", "", "+orvantis-crash-??????.log(600)#*"},
        {"demo writes a fresh log", "TMPDIR=$PWD orvantis demo", 0, "*records are in */orvantis-demo-??????.log\n", "",
         "+orvantis-demo-??????.log(600)#*"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST_F(OrvantisTool, PackWritesTheLibrarysContainerFileByteForByte) {
    const std::string data = randomBytes(3 << 20, 7) + std::string(1 << 20, 'a');
    TempDir scratch;
    writeFile(scratch.path / "in.bin", data);
    const std::string tool = kToolDirectory + "/orvantis";
    const std::string command = "cd '" + scratch.path.string() + "' && '" + tool + "' pack in.bin out.orv -k k3y && '" +
                                tool + "' unpack -k k3y out.orv - > back.bin";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(scratch.path / "out.orv"), containerFile(data, "k3y"));
    EXPECT_EQ(readFile(scratch.path / "back.bin"), data);
}

}  // namespace

#endif  // _WIN32
