#!/bin/sh
# A long fuzzing session: every fuzz target (or the ones named) for MINUTES
# each (default 10), with two fuzzing processes per target sharing one corpus.
# The corpora are kept in the build folder (build-fuzz/long) and grow from one
# session to the next; findings are reported as by scripts/fuzz.sh.
#   bench/run_fuzz.sh [MINUTES] [TARGET...]
# JOBS sets the processes per target (default 2, for two cores).
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
MINUTES=${1:-10}
[ $# -gt 0 ] && shift
case "$MINUTES" in
'' | *[!0-9]*)
    echo "run_fuzz.sh: MINUTES must be a whole number, not '$MINUTES'" >&2
    exit 2
    ;;
esac
BUILD=${VIDRA_FUZZ_BUILD:-"$SRC/build-fuzz"}
VIDRA_FUZZ_BUILD=$BUILD VIDRA_FUZZ_WORK=${VIDRA_FUZZ_WORK:-"$BUILD/long"} \
    VIDRA_FUZZ_JOBS=${JOBS:-2} exec "$SRC/scripts/fuzz.sh" $((MINUTES * 60)) "$@"
