#!/bin/sh
# Builds the server benchmark (Release) and runs it against a throw-away
# PostgreSQL cluster (Debian's pg_virtualenv), or against the server of
#   bench/run_server.sh --uri postgresql://user@host/db [other bench_server options]
# Sample files are kept in the build folder and reused.
# BUILD_DIR picks the build folder (default: build-bench next to the sources).
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-"$SRC/build-bench"}
JOBS=${JOBS:-2}

cmake -S "$SRC" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DVIDRA_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target vidra-db bench_server

case " $* " in
*" --uri "*) exec "$BUILD/bench/bench_server" --tool "$BUILD/vidra-db" --dir "$BUILD/bench-data" "$@" ;;
esac
export BENCH="$BUILD/bench/bench_server" TOOL="$BUILD/vidra-db" DATA="$BUILD/bench-data"
exec pg_virtualenv sh -c '"$BENCH" --uri "postgresql://$PGUSER@$PGHOST:$PGPORT/$PGDATABASE" \
  --tool "$TOOL" --dir "$DATA" "$@"' sh "$@"
