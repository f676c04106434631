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
[ "$seconds" -gt 0 ] || exit 0
# One build of every harness, then the harnesses fuzz side by side, one per core.
"$root/scripts/fuzz.sh" --build
fuzz_one() {
  local name="$1" log="$root/build/fuzz/$1.log"
  if CAIRN_FUZZ_BUILT=1 "$root/scripts/fuzz.sh" "$name" "$seconds" >"$log" 2>&1; then
    echo "fuzz $name: ${seconds} s, $(grep -m1 -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') inputs, no finding"
  else
    tail -n 60 "$log"
    echo "fuzz $name: FINDING (reproducer in build/fuzz/findings/$name, log in $log)" >&2
    return 1
  fi
}
names=($("$root/scripts/fuzz.sh" --list))
jobs="$(nproc)"
failed=0
for ((i = 0; i < ${#names[@]}; i += jobs)); do
  pids=()
  for name in "${names[@]:i:jobs}"; do
    fuzz_one "$name" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
done
exit "$failed"
