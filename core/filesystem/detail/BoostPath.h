// BoostPath.h — moving path text between Path's UTF-8 strings and
// boost::filesystem::path, and running Boost calls the way every File and
// Directory operation reports them. Internal to the library.
//
// The narrow side is UTF-8 everywhere: on Windows boost converts it with the
// conversion facet that Path.cpp installs at load, elsewhere paths are bytes
// and pass unchanged.
#pragma once

#include "core/log/Log.h"

#include <boost/filesystem/path.hpp>
#include <boost/system/error_code.hpp>

#include <string>

namespace Orvantis::Filesystem::detail {

inline boost::filesystem::path toBoost(const std::string& utf8) {
    return boost::filesystem::path(utf8);
}

inline std::string fromBoost(const boost::filesystem::path& path) {
    return path.string();
}

// Runs call(errorCode). When the call fails, logs `prefix` followed by the
// error's message at Error under `category` and returns false.
template <class Call>
bool reportedCall(const char* category, const char* prefix, Call call) {
    boost::system::error_code ec;
    call(ec);
    if (ec) {
        ORVANTIS_LOG(Log::Error, category, prefix << ec.message());
        return false;
    }
    return true;
}

}  // namespace Orvantis::Filesystem::detail
