#!/usr/bin/env bash
# Builds and runs the libFuzzer harnesses (clang 14, ASan + UBSan) in build/fuzz.
#
#   scripts/fuzz.sh --list           names the harnesses
#   scripts/fuzz.sh NAME SECONDS     builds harness NAME and fuzzes it for SECONDS
#   scripts/fuzz.sh --build          builds every harness (then CAIRN_FUZZ_BUILT=1 skips the build
#                                    step of a run, so that several runs may share build/fuzz)
#
# The corpus of NAME grows in build/fuzz/corpus/NAME, seeded by the harness itself (the files of a
# sound table) and from fuzz/seeds/NAME. A crash, a sanitizer report, an input that runs longer than
# 10 s or an allocation above 256 MB ends the run with a non-zero status and leaves the reproducer
# in build/fuzz/findings/NAME.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
harnesses=(dat idx blb lock)
[ -f "$root/fuzz/CsvFuzzer.cc" ] && harnesses+=(csv)

if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${harnesses[@]}"
  exit 0
fi
build="$root/build/fuzz"
configure() {
  local launcher=() generator=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    command -v ninja >/dev/null && generator=(-G Ninja)
    cmake -S "$root" -B "$build" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_COMPILER=clang++-14 -DCAIRN_FUZZ=ON >/dev/null
  fi
}
if [ "${1:-}" = "--build" ]; then
  configure
  cmake --build "$build" --target "${harnesses[@]/#/fuzz_}" -j "$(nproc)"
  exit 0
fi
if [ $# -ne 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]] || ! printf '%s\n' "${harnesses[@]}" | grep -qx "$1"; then
  echo "usage: $0 --list | NAME SECONDS   (NAME one of: ${harnesses[*]})" >&2
  exit 2
fi
name="$1"
seconds="$2"

if [ "${CAIRN_FUZZ_BUILT:-0}" != 1 ]; then
  configure
  cmake --build "$build" --target "fuzz_$name" -j "$(nproc)"
fi

corpus="$build/corpus/$name"
findings="$build/findings/$name"
mkdir -p "$corpus" "$findings"
seeds=()
[ -d "$root/fuzz/seeds/$name" ] && seeds=("$root/fuzz/seeds/$name")

export CAIRN_FUZZ_SEEDS="$corpus"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
command -v llvm-symbolizer-14 >/dev/null && export ASAN_SYMBOLIZER_PATH="$(command -v llvm-symbolizer-14)"

# The harness writes its seed into the corpus while it starts, before the corpus is read.
exec "$build/fuzz/fuzz_$name" "$corpus" "${seeds[@]}" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 \
  -artifact_prefix="$findings/" -print_final_stats=1
