#include "ContainerOptions.h"

#include <vector>

namespace OrvantisTool {

ContainerOptions parseContainerOptions(const Arguments& args) {
    ContainerOptions options;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--force" || a == "-f") {
            options.force = true;
        } else if (a == "--key" || a == "-k") {
            if (i + 1 == args.size()) {
                throw UsageError("--key needs a value");
            }
            options.key = args[++i];
        } else if (a.rfind("--key=", 0) == 0) {
            options.key = a.substr(6);
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option '" + a + "'");
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) {
        throw UsageError("needs an input and an output file");
    }
    options.in = files[0];
    options.out = files[1];
    return options;
}

std::string containerHelp(const std::string& command, const std::string& what) {
    return "Usage: orvantis " + command + " IN OUT [--key KEY] [--force]\n\n" + what +
           "\n\n"
           "  --key KEY, -k KEY  the scrambling key; pack and unpack need the same one.\n"
           "                     Default (also for an empty KEY): the library's built-in\n"
           "                     key \"(K) 2031 Orvantis Works, Tarnby, Halvia\", the same\n"
           "                     key that Cryptography::encryptToFile and decryptFromFile\n"
           "                     use when given no key.\n"
           "  --force, -f        replace OUT if it exists (otherwise it is left alone).\n\n"
           "OUT is written to a temporary file in its directory and renamed into place,\n"
           "so an interrupted run never leaves a half-written OUT. On failure the command\n"
           "prints one line with the reason and exits with status 1.\n";
}

}  // namespace OrvantisTool
