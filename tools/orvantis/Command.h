// Command.h — how the orvantis tool finds its commands and demo steps.
//
// A command file registers itself with a static Registration:
//   static const Command::Registration reg{{"hash", "FILE...", "print DJB2 hashes", &runHash}};
// and a subsystem adds a step to `orvantis demo` the same way with
// DemoStep::Registration, ordered by its `order`.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace OrvantisTool {

using Arguments = std::vector<std::string>;

// Thrown for bad arguments: printed with a usage hint, exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Command {
    std::string name;
    std::string usage;    // arguments after the name, e.g. "IN OUT [--key KEY]"
    std::string summary;  // one line for --help
    int (*run)(const Arguments& args);

    struct Registration {
        explicit Registration(Command command);
    };
};

struct DemoStep {
    int order;
    std::string title;
    void (*run)();

    struct Registration {
        explicit Registration(DemoStep step);
    };
};

const std::vector<Command>& commands();
const std::vector<DemoStep>& demoSteps();

// Prints a demo section heading.
void demoHeading(const std::string& title);

}  // namespace OrvantisTool
