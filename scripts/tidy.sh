#!/usr/bin/env bash
# clang-tidy over the program's own sources with the checks of .clang-tidy,
# warnings as errors. Needs a build folder configured by CMake (for its
# compile_commands.json); skipped where clang-tidy is not installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${1:-$root/build-test}"
if ! command -v clang-tidy >/dev/null 2>&1; then
  echo "clang-tidy not found: static checks skipped"
  exit 0
fi
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json" >&2; exit 1; }
cd "$root"
log="$build/clang-tidy.log"
count=$(git ls-files 'platform/*.cpp' 'data/*.cpp' 'ui/*.cpp' 'app/*.cpp' 'tools/*.cpp' | wc -l)
if ! git ls-files -z 'platform/*.cpp' 'data/*.cpp' 'ui/*.cpp' 'app/*.cpp' 'tools/*.cpp' |
  xargs -0 -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet >"$log" 2>&1; then
  grep -E '(warning|error):' "$log" | sort -u >&2 || cat "$log" >&2
  echo "clang-tidy found problems (whole output: $log)" >&2
  exit 1
fi
echo "clang-tidy: $count files clean"
