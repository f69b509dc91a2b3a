#!/usr/bin/env bash
# The main job: build, write the sample information file from its JSON
# description with the dinfo tool, then query it with every export and
# show its structure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

dinfo=./build/release/tools/cli/dinfo
sample=build/release/sample.dat
run() {
  echo
  echo "\$ dinfo $*"
  "$dinfo" "$@"
}

run build examples/sample.json -o "$sample"
run format "$sample"
run main "$sample"
run category v "$sample" --selector 1 --cond 7=0 --cond 8=2
run category s "$sample" --selector 1
run table "$sample" --selector 1 --cond 9=0 --plot build/release/sample-table.svg
echo "(the table's arrays are drawn in build/release/sample-table.svg)"
run inspect "$sample"
