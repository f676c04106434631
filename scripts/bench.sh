#!/usr/bin/env bash
# Installs what is missing, builds the release build and runs cairn-bench: Cairn against SQLite on
# the same rows. --quick runs a tenth of the rows. Further arguments go to cairn-bench.
# The tables are written under build/rel/bench-data and left there for inspection.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build/rel" -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(cairn-bench)
# The load workload runs the cairn tool when the tree has it.
if [ -d "$root/tools" ]; then targets+=(cairn); fi
cmake --build "$root/build/rel" --target "${targets[@]}" -j "$(nproc)"
args=(--dir "$root/build/rel/bench-data")
if [ -x "$root/build/rel/tools/cairn/cairn" ]; then args+=(--cairn "$root/build/rel/tools/cairn/cairn"); fi
exec "$root/build/rel/bench/cairn-bench" "${args[@]}" "$@"
