// Tool.h — what the orvantis commands share: the argument parser, the
// failures they throw and the command functions that main.cpp lists.
//
// A command declares its Syntax and calls parse(); -h/--help, "--",
// "--opt=value" and "--opt value" work the same way for every command.
// Bad arguments throw UsageError (status 2); any other failure throws
// Failure (status 1). main() prints both as one line on standard error:
//   orvantis: unpack: c.orv: wrong magic (not a container file)
#pragma once

#include <OrvantisCore.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace OrvantisTool {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Thrown by parse() after it printed the help: the command ends with status 0.
struct HelpShown {};

struct Option {
    const char* name;  // long name, without the dashes
    char letter;  // short name, or 0
    const char* value;  // the value's placeholder; nullptr for a flag
    const char* help;
};

struct Syntax {
    const char* operands;  // for the usage line, e.g. "IN OUT"
    const char* about;  // the help text's paragraph
    std::vector<Option> options;
    size_t minOperands;
    size_t maxOperands;
};

struct Arguments {
    std::vector<std::string> operands;
    std::map<std::string, std::string> values;  // given options; flags map to ""

    bool has(const std::string& name) const { return values.count(name) != 0; }
    std::string value(const std::string& name, const std::string& fallback = "") const {
        return has(name) ? values.at(name) : fallback;
    }
};

Arguments parse(const std::vector<std::string>& args, const Syntax& syntax);

// --color=auto|always|never, and the console sink options it selects.
extern const Option colorOption;
Orvantis::Flags<Orvantis::Log::ConsoleSink::Options> consoleOptions(const Arguments& args);

// A new, private file "orvantis-WHAT-XXXXXX.log" in the temporary directory.
std::string freshLogFile(const std::string& what);

// The name of the running command, for messages.
extern std::string g_command;
// Prints "orvantis: COMMAND: text" on standard error.
void complain(const std::string& text);

using Run = int (*)(const std::vector<std::string>& args);
int runPack(const std::vector<std::string>& args);
int runUnpack(const std::vector<std::string>& args);
int runHash(const std::vector<std::string>& args);
int runList(const std::vector<std::string>& args);
int runLog(const std::vector<std::string>& args);
int runUrl(const std::vector<std::string>& args);
int runCrash(const std::vector<std::string>& args);
int runPlay(const std::vector<std::string>& args);
int runDemo(const std::vector<std::string>& args);

}  // namespace OrvantisTool
