#!/usr/bin/env bash
# Installs what is missing, builds the test build (ASan + UBSan) and runs every test through CTest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build/test" -DCMAKE_BUILD_TYPE=Debug -DCAIRN_BUILD_TESTS=ON -DCAIRN_SANITIZE=ON
cmake --build "$root/build/test" -j "$(nproc)"
cd "$root/build/test"
ctest --output-on-failure -j "$(nproc)"
