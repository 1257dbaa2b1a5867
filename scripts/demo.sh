#!/usr/bin/env bash
# Installs the dependencies, builds OrvantisCore and runs `orvantis demo`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTIS_BUILD_TESTS=OFF
cmake --build build/release -j"$(nproc)" --target orvantis
./build/release/tools/orvantis/orvantis demo
