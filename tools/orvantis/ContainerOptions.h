// ContainerOptions.h — the arguments shared by `orvantis pack` and
// `orvantis unpack`: IN OUT [--key KEY] [--force].
#pragma once

#include "Command.h"

#include <string>

namespace OrvantisTool {

struct ContainerOptions {
    std::string in;
    std::string out;
    std::string key;  // empty: the library's built-in key
    bool force = false;

    // The key as the library takes it: null selects the built-in key.
    const char* keyText() const { return key.empty() ? nullptr : key.c_str(); }
};

// Throws UsageError for anything but two file names and the two options.
ContainerOptions parseContainerOptions(const Arguments& args);

// The usage line and the paragraph on keys, for `pack --help` and
// `unpack --help`.
std::string containerHelp(const std::string& command, const std::string& what);

}  // namespace OrvantisTool
