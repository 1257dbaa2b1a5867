// ToolRun.h — runs the orvantis tool as a separate process in a directory
// and collects its exit status and output.
#pragma once

#include "support/Scratch.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace OrvantisTest {

// The tool next to the tests in the build tree (absent when tools are off).
inline std::string toolPath() {
    return std::string(ORVANTIS_TEST_BINARY_DIR) + "/../tools/orvantis/orvantis";
}

struct ToolRun {
    int status;
    std::string out, err;
};

// Runs the tool with `args` in `directory`; output goes through two files
// there, which are removed again.
inline ToolRun runTool(const std::filesystem::path& directory, const std::vector<std::string>& args) {
    std::string command = "cd '" + directory.string() + "' && '" + toolPath() + "'";
    for (const std::string& a : args) {
        command += " '" + a + "'";
    }
    const std::filesystem::path out = directory / ".out";
    const std::filesystem::path err = directory / ".err";
    command += " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    ToolRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(out), readFile(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

}  // namespace OrvantisTest
