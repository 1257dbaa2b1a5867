// `orvantis hash FILE...`: prints the DJB2 hash of each file, in decimal, in
// sha256sum's layout (hash, two blanks, name). "-" reads standard input.
// Unreadable files are reported on standard error; the others are still
// hashed, and the exit status is then 1.
#include "Command.h"
#include "FileIo.h"

#include <OrvantisCore.h>

#include <iostream>
#include <stdexcept>

namespace OrvantisTool {
namespace {

int runHash(const Arguments& args) {
    if (args.empty()) {
        throw UsageError("needs at least one file");
    }
    int status = 0;
    for (const std::string& name : args) {
        try {
            const Orvantis::ByteBuffer content = readWholeFile(name);
            std::cout << Orvantis::Cryptography::hashDJB2(content) << "  " << name << "\n";
        } catch (const std::runtime_error& e) {
            std::cout.flush();
            std::cerr << "orvantis hash: " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}

const Command::Registration registration{{"hash", "FILE...", "print the DJB2 hash of each file", &runHash}};

}  // namespace
}  // namespace OrvantisTool
