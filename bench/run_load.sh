#!/bin/sh
# Builds the snapshot-load benchmark (Release) and runs it at 10 k, 100 k and
# 1 M subscribers. Sample files are kept in the build folder and reused.
#   bench/run_load.sh [extra bench_load options, e.g. --reps 9]
# BUILD_DIR picks the build folder (default: build-bench next to the sources).
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-"$SRC/build-bench"}
JOBS=${JOBS:-2}

cmake -S "$SRC" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target vidra-db bench_load

exec "$BUILD/bench/bench_load" --tool "$BUILD/vidra-db" --dir "$BUILD/bench-data" "$@"
