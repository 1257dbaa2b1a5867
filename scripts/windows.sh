#!/usr/bin/env bash
# Cross-compiles OrvantisCore.dll and every test program for 64-bit Windows
# with MinGW-w64, links the tests against the DLL, and runs them under Wine
# with ctest (it ends with "N passed, M failed" and the skipped cases).
#   bash scripts/windows.sh                      # install, build, test under Wine
#   ORVANTIS_NO_WINE=1 bash scripts/windows.sh   # compile only
set -euo pipefail
cd "$(dirname "$0")/.."
ORVANTIS_WINDOWS=1 bash scripts/deps.sh
cache=${XDG_CACHE_HOME:-$HOME/.cache}/orvantis

echo "-- Boost.Filesystem and Boost.Locale for MinGW (built once, then cached)"
boost_dir=$(bash scripts/windows-boost.sh | tail -n 1)
echo "   $boost_dir"

cmake -S . -B build/windows -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DORVANTIS_BOOST_MINGW_DIR="$boost_dir" >/dev/null
# Keep going past a program that does not build: ctest reports it as failed.
build_status=0
cmake --build build/windows -j2 -- -k || build_status=$?

if [ -n "${ORVANTIS_NO_WINE:-}" ] || ! command -v wine >/dev/null; then
  exit "$build_status"
fi

echo "== Windows tests under Wine =="
# A Wine prefix of our own, created on the first run and kept with the cache.
# No Mono or Gecko: the tests need neither, and installing them asks questions.
export WINEPREFIX=$cache/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
# One wineserver for the whole run, with the prefix's services started here:
# started by the first test instead, they would inherit ctest's output pipe
# and keep that test from ending.
wineserver -k 2>/dev/null || true  # one left by an earlier run
wineserver -w 2>/dev/null || true
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wine cmd /c exit >/dev/null 2>&1 </dev/null
test_status=0
# A program that fails is run once more before it counts as failed, as a
# guard against the emulator's own hiccups on a loaded machine.
ctest --test-dir build/windows --output-on-failure -j2 --repeat until-pass:2 | tee build/windows/ctest.out ||
  test_status=$?

# The cases that skipped themselves on Windows, with their reasons.
awk '/: Skipped$/ { reason = ""; collecting = 1; next }
     collecting && /^\[  SKIPPED \] / { print "skipped " $4 ": " reason; collecting = 0; next }
     collecting { reason = reason (reason == "" ? "" : " ") $0 }' \
  build/windows/Testing/Temporary/LastTest.log
summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' build/windows/ctest.out || true)
if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
  failed=${BASH_REMATCH[1]}
  echo "Windows tests under Wine: $((BASH_REMATCH[2] - failed)) passed, $failed failed"
fi
[ "$build_status" -eq 0 ] && [ "$test_status" -eq 0 ]
