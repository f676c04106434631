#!/usr/bin/env bash
# The full figures of the tests that CTest runs small, from the test build (ASan + UBSan):
#   4 writer processes x 2000 rows into one shared table with 2 readers walking every index, and
#   200 SIGKILLs of a process appending to a shared table, each followed by check and repair.
# Sizes can be changed through CAIRN_CONCURRENCY_WRITERS, CAIRN_CONCURRENCY_ROWS, CAIRN_KILLS and
# CAIRN_KILL_SEED. Builds access_tests first when needed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/test"
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCAIRN_BUILD_TESTS=ON -DCAIRN_SANITIZE=ON
fi
cmake --build "$build" --target access_tests -j "$(nproc)"
export CAIRN_CONCURRENCY_WRITERS="${CAIRN_CONCURRENCY_WRITERS:-4}"
export CAIRN_CONCURRENCY_ROWS="${CAIRN_CONCURRENCY_ROWS:-2000}"
export CAIRN_KILLS="${CAIRN_KILLS:-200}"
"$build/tests/access_tests" --gtest_filter='ConcurrentAppendTest.*:CrashSafetyTest.*'
