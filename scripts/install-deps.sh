#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only if some are missing.
set -euo pipefail
packages=(cmake make g++ qt6-base-dev qt6-svg-dev libsqlite3-dev sqlite3 libgtest-dev
          fonts-liberation pkg-config libglib2.0-dev mdbtools-dev clang libclang-rt-14-dev clang-tidy
          postgresql libpq-dev
          dpkg-dev lintian desktop-file-utils appstream gzip)
packages+=("$@")
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
