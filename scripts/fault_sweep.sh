#!/usr/bin/env bash
# The full fault sweep over a generator run: every write, flush, open, create, lock and truncate
# call of a clean run fails once, in turn, with each error (CTest runs every 7th call only).
#
#   scripts/fault_sweep.sh [OPS]   # OPS: a comma-separated selection, e.g. "open,create"
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCAIRN_BUILD_TESTS=ON -DCAIRN_SANITIZE=ON >/dev/null
cmake --build "$build" -j 2 --target generator_FaultSweepTest
KALVORA_FAULT_STRIDE=1 KALVORA_FAULT_OPS="${1:-}" "$build/tests/generator_FaultSweepTest"
