#!/usr/bin/env bash
# Import speed: vidra-db import of a 1 000 000-row CSV file against the
# sqlite3 shell's .import of the same file into the same table, and of the
# largest Access fixture against mdb-export, in one run. Prints a Markdown
# table of medians; reports, never fails on a target.
#   bench/run_import.sh [REPS]        (default 3)
# BUILD_DIR picks the build folder (default: build-bench next to the sources);
# FIXTURES the Access fixtures (default: ../shared/fixtures/mdb).
set -euo pipefail
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-"$SRC/build-bench"}
FIXTURES=${FIXTURES:-"$SRC/../shared/fixtures/mdb"}
REPS=${1:-3}
ROWS=1000000
"$SRC/scripts/install-deps.sh" mdbtools >/dev/null
cmake -S "$SRC" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DVIDRA_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "${JOBS:-2}" --target vidra-db vidra-legacy-reader >/dev/null
TOOL="$BUILD/vidra-db"
DATA="$BUILD/bench-data"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$DATA"

CSV="$DATA/import-$ROWS.csv"
if [ ! -s "$CSV" ]; then
  "$TOOL" sample "$DATA/import-$ROWS.mdb" --rows "$ROWS" --force >/dev/null
  sqlite3 -csv -header "$DATA/import-$ROWS.mdb" "SELECT * FROM Vlasnici" > "$CSV"
fi

# Median wall-clock seconds of REPS runs of a command; SETUP runs untimed before each.
median() {
  local setup=$1; shift
  local times=()
  for _ in $(seq "$REPS"); do
    eval "$setup"
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    t1=$(date +%s.%N)
    times+=("$(echo "$t1 - $t0" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'
}
rate() { echo "$1 / $2" | bc -l | xargs printf '%.0f'; }

# The shell gets the directory's own table and index, and no journal or syncing, as
# the import makes them.
SCHEMA="PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; $("$TOOL" create "$WORK/schema.mdb" >/dev/null && sqlite3 "$WORK/schema.mdb" .schema)"
shell_import() {
  sqlite3 "$WORK/shell.db" "$SCHEMA" ".import --csv --skip 1 $CSV Vlasnici"
}
ours_csv=$(median 'rm -f "$WORK/ours.mdb"' "$TOOL" import "$CSV" "$WORK/ours.mdb")
shell_csv=$(median 'rm -f "$WORK/shell.db"' shell_import)
imported=$(sqlite3 "$WORK/ours.mdb" "SELECT count(*) FROM Vlasnici")
shelled=$(sqlite3 "$WORK/shell.db" "SELECT count(*) FROM Vlasnici")

NWIND="$FIXTURES/nwind.mdb"
MAP="Telefon=Phone,Vlasnik=ContactName,Adresa=Address,Mesto=City"
ours_mdb=$(median 'rm -f "$WORK/nw.mdb"' "$TOOL" import "$NWIND" "$WORK/nw.mdb" --table Customers --map "$MAP")
export_mdb=$(median ':' mdb-export "$NWIND" Customers)
ours_big=$(median ':' "$BUILD/vidra-legacy-reader" "$NWIND" "Order Details")
export_big=$(median ':' mdb-export "$NWIND" "Order Details")

echo
echo "Import, median of $REPS runs, wall clock including process start"
echo
echo "| Input | Rows | Ours (s) | Ours rows/s | Other | Other (s) | Other rows/s | Ours/other |"
echo "|---|---:|---:|---:|---|---:|---:|---:|"
printf '| CSV, %s | %s | %.3f | %s | sqlite3 .import | %.3f | %s | %.2f |\n' \
  "$(du -h "$CSV" | cut -f1)" "$imported" "$ours_csv" "$(rate "$imported" "$ours_csv")" \
  "$shell_csv" "$(rate "$shelled" "$shell_csv")" "$(echo "$ours_csv / $shell_csv" | bc -l)"
printf '| nwind.mdb Customers (import) | 91 | %.3f | %s | mdb-export | %.3f | %s | %.2f |\n' \
  "$ours_mdb" "$(rate 91 "$ours_mdb")" "$export_mdb" "$(rate 91 "$export_mdb")" \
  "$(echo "$ours_mdb / $export_mdb" | bc -l)"
printf '| nwind.mdb Order Details (read) | 2155 | %.3f | %s | mdb-export | %.3f | %s | %.2f |\n' \
  "$ours_big" "$(rate 2155 "$ours_big")" "$export_big" "$(rate 2155 "$export_big")" \
  "$(echo "$ours_big / $export_big" | bc -l)"
