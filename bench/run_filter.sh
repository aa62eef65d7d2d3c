#!/bin/sh
# Builds the search-filter benchmark (Release) and runs it at 10 k, 100 k and
# 1 M subscribers. Sample files are kept in the build folder and reused.
#   bench/run_filter.sh [extra bench_filter options, e.g. --reps 31]
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-"$SRC/build-bench"}
JOBS=${JOBS:-2}
cmake -S "$SRC" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DVIDRA_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target vidra-db bench_filter
exec "$BUILD/bench/bench_filter" --tool "$BUILD/vidra-db" --dir "$BUILD/bench-data" "$@"
