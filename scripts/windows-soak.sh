#!/usr/bin/env bash
# Runs the Windows suite N times in a row (default 20), each from a fresh
# Wine prefix, and prints one line a run and the count of failed runs.
# Needs a built mingw tree (cmake --preset mingw && cmake --build --preset mingw).
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
build=build/mingw
wineserver=$(grep -E '^DINFO_WINESERVER:' "$build/CMakeCache.txt" | cut -d= -f2)
failed_runs=0
for run in $(seq 1 "$runs"); do
  WINEPREFIX=$PWD/$build/wineprefix "$wineserver" -k 2>/dev/null
  WINEPREFIX=$PWD/$build/wineprefix "$wineserver" -w 2>/dev/null
  rm -rf "$build/wineprefix"
  log=$build/soak-$run.log
  if ! cmake --build --preset mingw --target dinfo_wine_prefix >"$log" 2>&1; then
    echo "run $run: the Wine prefix was not made (see $log)"
    failed_runs=$((failed_runs + 1))
    continue
  fi
  ctest --preset mingw >>"$log" 2>&1
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$log" | tail -1)
  echo "run $run: ${summary:-no summary (see $log)}"
  if ! grep -q '^100% tests passed' "$log"; then failed_runs=$((failed_runs + 1)); fi
done
echo "$failed_runs of $runs runs failed"
[ "$failed_runs" -eq 0 ]
