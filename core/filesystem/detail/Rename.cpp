#include "core/filesystem/detail/Rename.h"

#include "core/filesystem/detail/BoostPath.h"
#include "core/log/Log.h"

#include <boost/filesystem/operations.hpp>

namespace Orvantis::Filesystem::detail {

bool renameEntry(Path& path, const std::string& newName, const RenameReports& reports) {
    Path target(newName);
    if (target.isRelative()) {
        target = path.parentPath() / target;
    }
    if (target.exists()) {
        ORVANTIS_LOG(Log::Error, reports.category, reports.nameInUse);
        return false;
    }
    if (!path.exists()) {
        ORVANTIS_LOG(Log::Error, reports.category, reports.missing);
        return false;
    }
    boost::system::error_code ec;
    boost::filesystem::rename(toBoost(path.string()), toBoost(target.string()), ec);
    if (ec) {
        ORVANTIS_LOG(Log::Error, reports.category, reports.failed << ec.message());
        return false;
    }
    path = target;
    return true;
}

}  // namespace Orvantis::Filesystem::detail
