#!/usr/bin/env bash
# Installs the Debian packages the project needs that are not yet installed.
set -euo pipefail
packages=(cmake g++ make pkg-config python3 zlib1g-dev nettle-dev libicu-dev uuid-dev libgtest-dev libgmock-dev
          libcli11-dev nlohmann-json3-dev libsqlite3-dev libbenchmark-dev sqlite3
          clang-14 libclang-rt-14-dev llvm-14)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
