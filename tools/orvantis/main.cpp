// orvantis — the OrvantisCore command-line tool.
//
// Exit statuses: 0 success, 1 failure (one line on standard error), 2 bad
// arguments, 150 after a fatal report (the crash command).
#include "Tool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

using namespace OrvantisTool;

struct Command {
    const char* name;
    const char* summary;
    Run run;
};

const Command commands[] = {
    {"pack", "write a file as a container file (zlib + XOR scrambling)", &runPack},
    {"unpack", "restore the data of a container file", &runUnpack},
    {"hash", "print the DJB2 hash of each file", &runHash},
    {"ls", "list a directory's entries, one absolute path a line, sorted", &runList},
    {"log", "write a record to a log file, syslog or the journal", &runLog},
    {"url", "split URLs into their components; file URLs of local paths", &runUrl},
    {"crash", "crash on purpose to show the fatal-exception report (status 150)", &runCrash},
    {"play", "play frames with the playback timer and report their lateness", &runPlay},
    {"demo", "a guided tour of the library", &runDemo},
};

void printHelp(std::ostream& out) {
    out << "orvantis " << Orvantis::Utils::libraryVersion().toString() << " - tools around the OrvantisCore library\n\n"
        << "Usage: orvantis COMMAND [OPTIONS] [ARGUMENTS]   (orvantis COMMAND --help for details)\n"
        << "       orvantis --help | --version\n\nCommands:\n";
    for (const Command& c : commands) {
        out << "  " << c.name << std::string(8 - std::strlen(c.name), ' ') << c.summary << "\n";
    }
}

// A closed standard stream would otherwise hand its number to the next file
// opened, and output meant for the terminal would land in that file. The
// stand-in is opened the wrong way round, so using it fails (EBADF) as the
// closed stream would have.
void occupyClosedStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int standIn = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
            if (standIn >= 0 && standIn != fd) {
                dup2(standIn, fd);
                close(standIn);
            }
        }
    }
}

// Writing the results is part of the command: a failure makes it fail.
int checkStandardOutput(int status) {
    errno = 0;
    std::cout.flush();  // flushes stdout too: the first failure's errno is kept
    int error = errno;
    if (std::fflush(stdout) != 0) {
        error = errno;
    }
    if (std::cout && !std::ferror(stdout)) {
        return status;
    }
    complain(std::string("standard output: ") + std::strerror(error != 0 ? error : EIO));
    return status == 0 ? 1 : status;
}

}  // namespace

int main(int argc, char** argv) {
    occupyClosedStandardStreams();
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty()) {
        printHelp(std::cerr);
        return 2;
    }
    if (all[0] == "--help" || all[0] == "-h" || all[0] == "help") {
        printHelp(std::cout);
        return checkStandardOutput(0);
    }
    if (all[0] == "--version") {
        std::cout << Orvantis::Utils::libraryVersion().toString() << "\n";
        return checkStandardOutput(0);
    }
    for (const Command& c : commands) {
        if (all[0] != c.name) {
            continue;
        }
        g_command = c.name;
        try {
            return checkStandardOutput(c.run(std::vector<std::string>(all.begin() + 1, all.end())));
        } catch (const HelpShown&) {
            return checkStandardOutput(0);
        } catch (const UsageError& e) {
            complain(std::string(e.what()) + " (see 'orvantis " + c.name + " --help')");
            return 2;
        } catch (const std::exception& e) {
            complain(e.what());
            return checkStandardOutput(1);
        }
    }
    complain("unknown command '" + all[0] + "' (see 'orvantis --help')");
    return 2;
}
