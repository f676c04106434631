#!/usr/bin/env bash
# Installs what is missing, builds the test build (ASan + UBSan) and runs every test through CTest,
# then fuzzes every harness for CAIRN_FUZZ_SECONDS seconds each (default 30; 0 skips fuzzing).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build/test" -DCMAKE_BUILD_TYPE=Debug -DCAIRN_BUILD_TESTS=ON -DCAIRN_SANITIZE=ON
cmake --build "$root/build/test" -j "$(nproc)"
(cd "$root/build/test" && ctest --output-on-failure -j "$(nproc)")

seconds="${CAIRN_FUZZ_SECONDS:-30}"
if [ "$seconds" -gt 0 ]; then
  mkdir -p "$root/build/fuzz"
  for name in $("$root/scripts/fuzz.sh" --list); do
    log="$root/build/fuzz/$name.log"
    if "$root/scripts/fuzz.sh" "$name" "$seconds" >"$log" 2>&1; then
      echo "fuzz $name: ${seconds} s, $(grep -m1 -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') inputs, no finding"
    else
      tail -n 60 "$log"
      echo "fuzz $name: FINDING (reproducer in build/fuzz/findings/$name, log in $log)" >&2
      exit 1
    fi
  done
fi
