// `orvantis ls DIR [--recursive] [--ext EXT]`: lists the entries of DIR, one
// absolute path a line, in the order the system gives them, through
// Directory::scan (or scanRecursive, in pre-order). --ext keeps only entries
// whose last extension is EXT ("txt" or ".txt"); the walk still descends into
// directories that it leaves out. The library's reports go to standard error;
// the exit status is then 1.
#include "Command.h"
#include "ToolLog.h"

#include <OrvantisCore.h>

#include <iostream>

namespace OrvantisTool {
namespace {

using namespace Orvantis;

int runList(const Arguments& args) {
    std::string directory;
    std::string extension;
    bool recursive = false;
    bool filterByExtension = false;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        if (options && args[i] == "--") {
            options = false;
        } else if (options && (args[i] == "--recursive" || args[i] == "-r")) {
            recursive = true;
        } else if (options && args[i] == "--ext") {
            if (++i == args.size()) {
                throw UsageError("--ext needs an extension");
            }
            filterByExtension = true;
            extension = args[i].compare(0, 1, ".") == 0 ? args[i].substr(1) : args[i];
        } else if (options && args[i].compare(0, 1, "-") == 0 && args[i].size() > 1) {
            throw UsageError("unknown option " + args[i]);
        } else if (directory.empty()) {
            directory = args[i];
        } else {
            throw UsageError("takes one directory");
        }
    }
    if (directory.empty()) {
        throw UsageError("needs a directory");
    }

    ToolLog log("ls");
    const Filesystem::Directory root(directory);
    if (!root.exists()) {
        std::cerr << "orvantis ls: " << directory << ": no such directory\n";
        return 1;
    }
    Filesystem::Directory::Filter filter;
    if (filterByExtension) {
        filter = [&extension](const Filesystem::Path& p) { return p.extension() == extension; };
    }
    for (const Filesystem::Path& entry : recursive ? root.scanRecursive(filter) : root.scan(filter)) {
        std::cout << entry.string() << "\n";
    }
    std::cout.flush();
    return log.errors() == 0 ? 0 : 1;
}

const Command::Registration registration{
    {"ls", "DIR [--recursive] [--ext EXT]", "list a directory's entries, one path a line", &runList}};

}  // namespace
}  // namespace OrvantisTool
