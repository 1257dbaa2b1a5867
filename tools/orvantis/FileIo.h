// FileIo.h — file helpers shared by the orvantis commands.
//
// Failures are thrown as std::runtime_error with a one-line reason, which the
// tool prints after the command's name before it exits with status 1.
#pragma once

#include <OrvantisCore.h>

#include <functional>
#include <sstream>
#include <string>

namespace OrvantisTool {

// The whole content of `name` ("-" reads standard input).
// Throws std::runtime_error("cannot read NAME: reason").
Orvantis::ByteBuffer readWholeFile(const std::string& name);

// Produces `out` through a temporary file in the same directory: `write` is
// called with the temporary file's name and must fill it (throwing on
// failure); the file is then renamed into place, so `out` is never seen half
// written. Without `overwrite`, an existing `out` is left alone and reported.
// The temporary file is removed on failure and on SIGINT, SIGTERM or SIGHUP.
void writeFileAtomically(const std::string& out, bool overwrite,
                         const std::function<void(const std::string& tempName)>& write);

// Collects what the library writes to std::cout while it lives (the
// container functions report there), so that a command can turn it into a
// reason of its own.
class CapturedStdout {
public:
    CapturedStdout();
    ~CapturedStdout();
    CapturedStdout(const CapturedStdout&) = delete;
    CapturedStdout& operator=(const CapturedStdout&) = delete;

    // The collected text on one line: line breaks become "; ", the ends are
    // trimmed.
    std::string oneLine() const;

private:
    std::ostringstream buffer;
    std::streambuf* previous;
};

}  // namespace OrvantisTool
