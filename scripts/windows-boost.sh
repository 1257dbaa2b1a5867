#!/usr/bin/env bash
# Builds Boost.Filesystem and Boost.Locale for 64-bit Windows (MinGW-w64) from
# Debian's own boost1.81 source package, once, into a cache folder that later
# runs and fresh clones reuse. Prints that folder (the CMake prefix) last.
#
#   bash scripts/windows-boost.sh
#
# The cache key is the installed Boost version (the headers the Windows build
# compiles against) and the toolchain: compiler, toolchain file and the recipe
# in windows/boost. Cache: ${XDG_CACHE_HOME:-$HOME/.cache}/orvantis.
# A cold run downloads about 75 MB and takes a few minutes; see README.md.
# The headers are those of Debian's libboost1.81-dev, the same version.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
toolchain=$root/cmake/toolchains/mingw-w64-x86_64.cmake
compiler=x86_64-w64-mingw32-g++-posix
cache=${XDG_CACHE_HOME:-$HOME/.cache}/orvantis

boost_version=$(dpkg-query -W -f='${Version}' libboost1.81-dev)
toolchain_id=$( { "$compiler" --version | head -n 1; cat "$toolchain" windows/boost/CMakeLists.txt; } \
  | sha256sum | cut -c1-12)
prefix=$cache/boost-${boost_version}-mingw-w64-${toolchain_id}

mkdir -p "$cache"
# One builder at a time; a second run waits and then finds the result.
exec 9>"$cache/boost.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work=$(mktemp -d "$cache/boost-work.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$work/build.log
{
  # A private apt configuration with a deb-src entry for the mirror that
  # provides the installed Boost: nothing under /etc/apt or /var/lib/apt changes.
  read -r uri suite_component < <(apt-cache policy libboost1.81-dev \
    | awk '/^ +[0-9]+ (https?|file):/ && /Packages$/ { print $2, $3; exit }')
  suite=${suite_component%%/*}
  component=${suite_component#*/}
  apt_dir=$work/apt
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"
  echo "deb-src $uri $suite $component" >"$apt_dir/sources.list"
  apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
               -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
               -o "Dir::State::Lists=$apt_dir/lists"
               -o "Dir::Cache=$apt_dir/cache"
               -o "APT::Sandbox::User=$(id -un)")
  apt-get "${apt_options[@]}" update
  (cd "$work" && apt-get "${apt_options[@]}" source --download-only "boost1.81=$boost_version")

  # Only the folders of the libraries built here (and the configuration
  # checks they run), with those of Debian's patches that touch them; the
  # headers are Debian's installed ones, built from this same source.
  source_dir=$work/boost
  mkdir -p "$source_dir"
  libraries='atomic|filesystem|locale|config'
  tar -xJf "$work"/boost1.81_*.orig.tar.xz -C "$source_dir" --strip-components=1 --wildcards \
    'boost/libs/atomic/*' 'boost/libs/filesystem/*' 'boost/libs/locale/*' 'boost/libs/config/checks/*'
  tar -xJf "$work"/boost1.81_*.debian.tar.xz -C "$source_dir" debian/patches
  grep -v '^\s*\(#\|$\)' "$source_dir/debian/patches/series" | while read -r patch _; do
    if grep -qE "^\+\+\+ [^/]+/libs/($libraries)/" "$source_dir/debian/patches/$patch"; then
      echo "applying $patch"
      patch -d "$source_dir" -p1 <"$source_dir/debian/patches/$patch"
    fi
  done
  ln -s /usr/include/boost "$source_dir/boost"

  cmake -S windows/boost -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DBOOST_SOURCE_DIR="$source_dir" \
    -DCMAKE_INSTALL_PREFIX="$work/prefix"
  cmake --build "$work/build" -j2
  cmake --install "$work/build"
  touch "$work/prefix/.complete"
} >"$log" 2>&1 || { cat "$log" >&2; echo "Building Boost for MinGW failed" >&2; exit 1; }

rm -rf "$prefix"
mv "$work/prefix" "$prefix"
# Builds for an older Boost or toolchain are not used again.
find "$cache" -mindepth 1 -maxdepth 1 -type d -name 'boost-*-mingw-w64-*' ! -path "$prefix" -exec rm -rf {} +
echo "$prefix"
