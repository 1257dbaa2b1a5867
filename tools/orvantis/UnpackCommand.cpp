// `orvantis unpack IN OUT [--key KEY] [--force]`: restores the data of a
// container file.
#include "Command.h"
#include "ContainerOptions.h"
#include "FileIo.h"

#include <OrvantisCore.h>

#include <fstream>
#include <iostream>
#include <stdexcept>

namespace OrvantisTool {
namespace {

int runUnpack(const Arguments& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << containerHelp("unpack", "Restores the data held in the container file IN into OUT.");
        return 0;
    }
    const ContainerOptions options = parseContainerOptions(args);
    Orvantis::ByteBuffer data;
    {
        CapturedStdout status;
        data = Orvantis::Cryptography::decryptFromFile(options.in, options.keyText());
        // Failures give a null buffer; an unpacked empty content does not.
        if (data.data() == nullptr) {
            std::string reason = status.oneLine();
            if (Orvantis::String::startsWith(reason, "Uncompression error")) {
                reason = "wrong key or damaged container (" + reason + ")";
            }
            throw std::runtime_error(reason.empty() ? "cannot unpack " + options.in : reason);
        }
    }
    writeFileAtomically(options.out, options.force, [&](const std::string& tempName) {
        std::ofstream file(tempName, std::ios::binary | std::ios::trunc);
        file.write(data.data(), static_cast<std::streamsize>(data.size()));
        file.close();
        if (!file) {
            throw std::runtime_error("cannot write " + options.out);
        }
    });
    return 0;
}

const Command::Registration registration{
    {"unpack", "IN OUT [-k KEY] [--force]", "restore the data of the container file IN", &runUnpack}};

}  // namespace
}  // namespace OrvantisTool
