#!/usr/bin/env bash
# Installs what is missing, builds, makes a sample directory file if there is
# none, and starts the program on it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVIDRA_TESTS=OFF -DVIDRA_BENCH=OFF
cmake --build "$build" -j"$(nproc)" --target Vidra vidra-db
mkdir -p "$root/sample"
if [ ! -e "$root/sample/data.mdb" ]; then
  "$build/vidra-db" sample "$root/sample/data.mdb" --rows 5000
fi
# The program opens "data.mdb" from its working folder unless its settings say otherwise.
cd "$root/sample"
exec "$build/Vidra"
