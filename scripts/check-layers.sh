#!/usr/bin/env bash
# Every #include of the program points down its layers: a folder includes
# only its own headers and those of lower layers, so there is no circle.
# Tests, benchmarks and fuzz targets may include anything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Layers, bottom up; folders on the same layer may not include each other.
rank() {
  case "$1" in
    platform) echo 0 ;;
    platform/ini | platform/legacy | platform/ui | platform/telephony | platform/shell) echo 1 ;;
    platform/db) echo 2 ;;
    platform/dbaware) echo 3 ;;
    data) echo 4 ;;
    tools | ui) echo 5 ;;
    ui/dialogs) echo 6 ;;
    ui/main) echo 7 ;;
    app) echo 8 ;;
    *) echo unknown ;;
  esac
}

status=0
while IFS= read -r file; do
  from=$(dirname "$file")
  from_rank=$(rank "$from")
  if [ "$from_rank" = unknown ]; then
    echo "$file: its folder has no layer; add it to scripts/check-layers.sh" >&2
    status=1
    continue
  fi
  while IFS= read -r header; do
    [ -f "$header" ] || continue # a system or Qt header
    to=$(dirname "$header")
    [ "$to" = "$from" ] && continue
    to_rank=$(rank "$to")
    if [ "$to_rank" = unknown ] || [ "$to_rank" -ge "$from_rank" ]; then
      echo "$file includes $header: $to is not below $from" >&2
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files 'platform/*' 'data/*' 'ui/*' 'app/*' 'tools/*' | grep -E '\.(cpp|h)$')
[ $status -eq 0 ] && echo "includes: every one points down its layers"
exit $status
