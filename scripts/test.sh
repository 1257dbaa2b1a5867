#!/usr/bin/env bash
# Installs the dependencies, then builds and runs every test of OrvantisCore:
#   1. the unit tests and the packaging test in a normal build;
#   2. the same under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the threaded subsystems under ThreadSanitizer;
#   4. each libFuzzer target for a short time over its seed corpus;
#   5. the Windows cross build of every unit, and its test program under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
fuzz_seconds=${ORVANTIS_FUZZ_SECONDS:-20}

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

echo "== normal build =="
build build/test-release -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build/test-release --output-on-failure -j"$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
build build/test-asan -DCMAKE_BUILD_TYPE=Debug -DORVANTIS_SANITIZE=address,undefined -DORVANTIS_BUILD_TOOLS=OFF
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build/test-asan --output-on-failure -j"$jobs"

echo "== ThreadSanitizer (threaded subsystems) =="
build build/test-tsan -DCMAKE_BUILD_TYPE=Debug -DORVANTIS_SANITIZE=thread -DORVANTIS_BUILD_TOOLS=OFF
# The crash reporter formats its report inside the signal handler on purpose
# (the process ends right after); everything else stays checked.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:report_signal_unsafe=0 \
  ctest --test-dir build/test-tsan --output-on-failure -j"$jobs" -L 'log|threading'

if compgen -G "fuzz/*_fuzz.cpp" >/dev/null; then
  echo "== fuzzing (${fuzz_seconds}s per target) =="
  build build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DORVANTIS_BUILD_FUZZ=ON -DORVANTIS_BUILD_TESTS=OFF -DORVANTIS_BUILD_TOOLS=OFF
  for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" .cpp)
    corpus=$(mktemp -d)
    cp -r "fuzz/corpus/$name/." "$corpus/" 2>/dev/null || true
    echo "-- $name"
    ASAN_OPTIONS=halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      "build/fuzz/fuzz/$name" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
    rm -rf "$corpus"
  done
fi
echo "== Windows cross build and tests under Wine =="
bash scripts/windows.sh

echo "All test stages passed."
