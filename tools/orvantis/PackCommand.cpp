// `orvantis pack IN OUT [--key KEY] [--force]`: writes IN as a container file.
#include "Command.h"
#include "ContainerOptions.h"
#include "FileIo.h"

#include <OrvantisCore.h>

#include <iostream>
#include <stdexcept>

namespace OrvantisTool {
namespace {

int runPack(const Arguments& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << containerHelp("pack", "Compresses and scrambles IN into the container file OUT\n"
                                           "(\"ORVANTIS COMPRESSED v1\" format).");
        return 0;
    }
    const ContainerOptions options = parseContainerOptions(args);
    const Orvantis::ByteBuffer data = readWholeFile(options.in);
    if (data.empty()) {
        throw std::runtime_error(options.in + " is empty: a container cannot hold empty data");
    }
    writeFileAtomically(options.out, options.force, [&](const std::string& tempName) {
        CapturedStdout status;
        if (!Orvantis::Cryptography::encryptToFile(data, tempName, options.keyText())) {
            throw std::runtime_error("cannot write " + options.out + ": " + status.oneLine());
        }
    });
    return 0;
}

const Command::Registration registration{
    {"pack", "IN OUT [-k KEY] [--force]", "write IN as a container file OUT (--help: keys)", &runPack}};

}  // namespace
}  // namespace OrvantisTool
