#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang++ in their own build folder
# and runs each one for a bounded time: first its regression inputs under
# fuzz/regressions/<target>/ as plain inputs, so that old crashes stay fixed,
# then fuzzing on a working copy of fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh [SECONDS-PER-TARGET] [TARGET...]
#
# SECONDS defaults to $VIDRA_FUZZ_SECONDS or 30; no targets means all of them.
# Environment:
#   VIDRA_FUZZ_JOBS   fuzzing processes per target (default 1)
#   VIDRA_FUZZ_BUILD  build folder (default build-fuzz)
#   VIDRA_FUZZ_WORK   working corpora, logs and findings (default <build>/work)
# The targets' scratch files go to /dev/shm when it is writable.
#
# Exits non-zero on any crash, hang, leak or sanitizer report; the input that
# caused it is kept in <work>/findings/<target>/. Once the fault is mended, copy
# that input into fuzz/regressions/<target>/. Without clang++ (or its libFuzzer
# runtime) fuzzing is skipped and the script succeeds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds="${1:-${VIDRA_FUZZ_SECONDS:-30}}"
[ $# -gt 0 ] && shift
jobs="${VIDRA_FUZZ_JOBS:-1}"
build="${VIDRA_FUZZ_BUILD:-$root/build-fuzz}"
work="${VIDRA_FUZZ_WORK:-$build/work}"
cxx="${VIDRA_FUZZ_CXX:-clang++}"

case "$seconds" in
'' | *[!0-9]*)
    echo "fuzz.sh: SECONDS must be a whole number, not '$seconds'" >&2
    exit 2
    ;;
esac

if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "fuzz.sh: $cxx not found: fuzzing skipped"
    exit 0
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
    >"$probe/probe.cpp"
if ! "$cxx" -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" \
    >"$probe/log" 2>&1; then
    echo "fuzz.sh: $cxx cannot build libFuzzer targets (libclang-rt missing?): fuzzing skipped"
    sed 's/^/  /' "$probe/log" | head -5
    exit 0
fi

# Debug keeps Qt's own assertions (index bounds in QString and its kin) in the
# code under test; -O1 keeps the runs fast enough.
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DVIDRA_FUZZ=ON -DVIDRA_TESTS=OFF -DVIDRA_BENCH=OFF \
    >"$probe/configure.log" 2>&1 || {
    cat "$probe/configure.log" >&2
    exit 1
}
cmake --build "$build" -j"$(nproc)" --target fuzz_all

if [ $# -gt 0 ]; then
    targets=("$@")
else
    mapfile -t targets < <(grep -v '^$' "$build/fuzz/targets.txt")
fi

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# The targets write their input to a file on every run, and the settings file
# and the database sync each write to disk: a memory-backed folder keeps that fast.
mkdir -p "$work"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    scratch=$(mktemp -d /dev/shm/vidra-fuzz.XXXXXX)
else
    scratch=$(mktemp -d "$work/tmp.XXXXXX")
fi
trap 'rm -rf "$probe" "$scratch"' EXIT

sanitizer_report='ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:|ERROR: libFuzzer|==[0-9]+== *ERROR'
# A report in the logs, leaving out libFuzzer's own progress and dictionary
# lines: a target that looks for these words in a child's output teaches
# them to libFuzzer, which then prints them there.
has_report() {
    grep -vhE '^(#[0-9]+[[:space:]]|")' "$@" | grep -qE "$sanitizer_report"
}
failed=()
summary=()
for t in "${targets[@]}"; do
    bin="$build/fuzz/$t"
    if [ ! -x "$bin" ]; then
        echo "fuzz.sh: no fuzz target '$t' in $build/fuzz" >&2
        exit 2
    fi
    corpus="$work/corpus/$t"
    findings="$work/findings/$t"
    logs="$work/logs/$t"
    export TMPDIR="$scratch/$t"
    rm -rf "$findings" "$logs" "$TMPDIR"
    mkdir -p "$corpus" "$findings" "$logs" "$TMPDIR"
    common=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$findings/")

    # Old crashes first, each run once as it is.
    regressions=()
    if [ -d "$root/fuzz/regressions/$t" ]; then
        mapfile -t regressions < <(find "$root/fuzz/regressions/$t" -type f ! -name '*.md' | sort)
    fi
    if [ ${#regressions[@]} -gt 0 ]; then
        if ! "$bin" "${common[@]}" "${regressions[@]}" >"$logs/regressions.log" 2>&1 ||
            has_report "$logs/regressions.log"; then
            echo "== $t: a regression input fails again"
            grep -E '^Running:|ERROR|runtime error|SUMMARY' "$logs/regressions.log" | tail -20
            failed+=("$t (regressions)")
            summary+=("$t: regression inputs FAIL")
            continue
        fi
        cp -n "${regressions[@]}" "$corpus/" || true
    fi

    [ -d "$root/fuzz/corpus/$t" ] && cp -rn "$root/fuzz/corpus/$t/." "$corpus/"
    # The Access reader starts from the real files kept with the tests, and
    # from those that may not be copied into the project where this machine
    # has them beside it.
    if [ "$t" = fuzz_legacy_jet ]; then
        cp -n "$root"/tests/fixtures/mdb/*.mdb "$corpus/" || true
        local_fixtures=${VIDRA_ACCESS_FIXTURES-"$root/../shared/fixtures/mdb"}
        if [ -n "$local_fixtures" ] && [ -f "$local_fixtures/nwind.mdb" ]; then
            cp -n "$local_fixtures"/*.mdb "$corpus/" || true
        fi
    fi
    options=("${common[@]}" -max_total_time="$seconds" -print_final_stats=1)
    [ -f "$root/fuzz/dict/$t.dict" ] && options+=(-dict="$root/fuzz/dict/$t.dict")
    [ "$jobs" -gt 1 ] && options+=(-jobs="$jobs" -workers="$jobs")

    echo "== $t: fuzzing for ${seconds} s (${#regressions[@]} regression inputs passed)"
    rc=0
    # The outer limit only guards against libFuzzer itself getting stuck.
    (cd "$logs" && timeout --kill-after=30 $((seconds + 300)) \
        "$bin" "${options[@]}" "$corpus" >"$logs/fuzz.log" 2>&1) || rc=$?

    # With -jobs the driver's log repeats each job's: count the jobs' own.
    counted=("$logs"/fuzz.log)
    compgen -G "$logs/fuzz-*.log" >/dev/null && counted=("$logs"/fuzz-*.log)
    executions=$(cat "${counted[@]}" | sed -n 's/^stat::number_of_executed_units: *//p' |
        awk '{ n += $1 } END { print n + 0 }')
    units=$(find "$corpus" -type f | wc -l)
    found=$(find "$findings" -type f | wc -l)
    if [ "$rc" -ne 0 ] || [ "$found" -gt 0 ] || has_report "$logs"/*.log; then
        echo "== $t: FAILED (exit $rc) after $executions executions"
        cat "$logs"/*.log | grep -E -A25 "$sanitizer_report|ALARM|deadly signal|out-of-memory" |
            head -60 || true
        find "$findings" -type f -exec echo "   input kept: {}" \;
        failed+=("$t")
        summary+=("$t: $executions executions, FAILED")
    else
        summary+=("$t: $executions executions, $units corpus inputs")
    fi
done

echo "== fuzzing summary (${seconds} s per target, $jobs job(s) each)"
printf '   %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz.sh: failed: ${failed[*]} (logs and inputs under $work)" >&2
    exit 1
fi
