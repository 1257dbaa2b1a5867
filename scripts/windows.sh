#!/usr/bin/env bash
# Cross-compiles every unit of OrvantisCore for 64-bit Windows with MinGW-w64
# and, when Wine is installed, runs the Windows test program under it.
#   bash scripts/windows.sh            # install, build, test under Wine
#   ORVANTIS_NO_WINE=1 bash scripts/windows.sh   # compile only
set -euo pipefail
cd "$(dirname "$0")/.."
ORVANTIS_WINDOWS=1 bash scripts/deps.sh

cmake -S windows -B build/windows -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build/windows -j"$(nproc)"

if [ -z "${ORVANTIS_NO_WINE:-}" ] && command -v wine >/dev/null; then
  echo "== Windows tests under Wine =="
  (cd build/windows && WINEDEBUG=-all timeout 600 wine orvantis_windows_tests.exe)
fi
