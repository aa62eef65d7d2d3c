#!/usr/bin/env bash
# Installs what is missing, checks that every include points down the layers,
# builds with warnings as errors and the address and undefined-behaviour
# sanitizers, runs every test headless, builds and tries the Debian package
# (scripts/package-test.sh), runs clang-tidy, builds the core
# without widgets, and fuzzes each target briefly.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/check-layers.sh"
build="${VIDRA_TEST_BUILD:-$root/build-test}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIDRA_WERROR=ON \
  -DVIDRA_SANITIZE=ON -DVIDRA_BENCH=OFF
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
# The server store's tests run against a throw-away PostgreSQL cluster that
# lives for this one command; the password is in the environment, never in a URI.
pg_virtualenv sh -c 'export VIDRA_TEST_PG_URI="postgresql://$PGUSER@$PGHOST:$PGPORT/$PGDATABASE"
  export VIDRA_TEST_PG_CLUSTER="$PGVERSION regress"
  exec ctest --output-on-failure -j"$(nproc)" --timeout 300'
# The Debian package, built in a folder of its own (Release, nothing shared
# with the build above), checked, installed, run as an ordinary user, purged.
"$root/scripts/package-test.sh"
"$root/scripts/tidy.sh" "$build"
# The core library and vidra-db build with QtCore alone: no widget creeps in.
cmake -S "$root" -B "$build-core" -DCMAKE_BUILD_TYPE=Debug -DVIDRA_WERROR=ON -DVIDRA_GUI=OFF \
  -DVIDRA_TESTS=OFF -DVIDRA_BENCH=OFF
cmake --build "$build-core" -j"$(nproc)" --target vidra_core vidra-db
# A short bounded fuzzing run of every fuzz target, when clang++ is there.
if command -v clang++ >/dev/null 2>&1; then
  "$root/scripts/fuzz.sh" 30
else
  echo "clang++ not found: fuzzing skipped"
fi
