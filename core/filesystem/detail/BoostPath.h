// BoostPath.h — moving path text between Path's UTF-8 strings and
// boost::filesystem::path. Internal to the library.
//
// The narrow side is UTF-8 everywhere: on Windows boost converts it with the
// conversion facet that Path.cpp installs at load, elsewhere paths are bytes
// and pass unchanged.
#pragma once

#include <boost/filesystem/path.hpp>

#include <string>

namespace Orvantis::Filesystem::detail {

inline boost::filesystem::path toBoost(const std::string& utf8) {
    return boost::filesystem::path(utf8);
}

inline std::string fromBoost(const boost::filesystem::path& path) {
    return path.string();
}

}  // namespace Orvantis::Filesystem::detail
