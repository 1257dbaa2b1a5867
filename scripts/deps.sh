#!/usr/bin/env bash
# Installs what building, testing and fuzzing OrvantisCore needs on Debian 12.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev python3
  zlib1g-dev libdeflate-dev
  libboost-filesystem1.81-dev libboost-system1.81-dev
  libboost-locale1.81-dev libboost-stacktrace1.81-dev
  libgtest-dev libgmock-dev
  rsyslog
)

# The Windows cross build and its test run under Wine.
if [ -n "${ORVANTIS_WINDOWS:-}" ]; then
  packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 patch xz-utils)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
