// Rename.h — the rename step shared by File and Directory. Internal to the
// library.
#pragma once

#include "core/filesystem/Path.h"

#include <string>

namespace Orvantis::Filesystem::detail {

// The texts one kind of entry reports when a rename is refused or fails.
struct RenameReports {
    const char* category;
    const char* nameInUse;  // the target exists
    const char* missing;  // the entry itself does not exist
    const char* failed;  // prefix of the system's error text
};

// Renames the entry at `path` to `newName`, a relative name being taken
// within the entry's parent directory, and on success stores the new path
// in `path`. A refusal or failure is reported and answers false.
bool renameEntry(Path& path, const std::string& newName, const RenameReports& reports);

}  // namespace Orvantis::Filesystem::detail
