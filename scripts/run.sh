#!/usr/bin/env bash
# Installs what is missing, builds the release build, runs the generator beside its Data folder and
# lists the tables it made with `cairn tables`.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release
cmake --build "$root/build/release" --target kalvora-dbgen cairn -j "$(nproc)"
app="$root/build/app"
mkdir -p "$app/Data"
cp "$root/build/release/generator/kalvora-dbgen" "$app/"
cd "$app"
./kalvora-dbgen
echo "kalvora-dbgen finished; tables in $app/Data:"
"$root/build/release/tools/cairn/cairn" tables "$app/Data"
