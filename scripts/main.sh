#!/usr/bin/env bash
# The main job: build the library and the dinfo tool (nothing else), write
# the sample information file from its JSON description with the tool, then
# query it with every export, show its structure, check it, explain a
# query that fails, and compare it with a later revision of it.
set -euo pipefail
cd "$(dirname "$0")/.."

# Only what this job needs: a compiler, CMake, Ninja and the tool's two
# header-only libraries. Does nothing when they are all there.
echo "checking for a compiler, CMake, Ninja, CLI11 and nlohmann-json (apt-get installs the missing ones, as root)"
scripts/install-deps.sh cmake ninja-build g++ libcli11-dev nlohmann-json3-dev

# The `tool` preset: Release, without tests, fuzzers and benchmarks; its
# build preset builds the shared library and the tool only.
echo "building the library and the dinfo tool (the tool preset; a few minutes on a fresh machine)"
cmake --preset tool >/dev/null
cmake --build --preset tool

dinfo=./build/tool/tools/cli/dinfo
if [ ! -x "$dinfo" ]; then
  echo "the dinfo tool was not built (it needs libcli11-dev and nlohmann-json3-dev)" >&2
  exit 1
fi
echo "the dinfo tool is $(realpath "$dinfo")"
sample=build/tool/sample.dat
run() {
  echo
  echo "\$ dinfo $*"
  "$dinfo" "$@"
}
# What the next step shows, or that it fails on purpose.
say() {
  echo
  echo "# $*"
}

run build examples/sample.json -o "$sample"
run format "$sample"
run main "$sample"
run category v "$sample" --selector 1 --cond 7=0 --cond 8=2
run category s "$sample" --selector 1
run table "$sample" --selector 1 --cond 9=0 --plot build/tool/sample-table.svg
echo "(the table's arrays are drawn in build/tool/sample-table.svg)"
run inspect "$sample"
# Is the file fit to ship? Every query, swept over the conditions it keys on.
say "check sweeps every query over the conditions the file keys on. \"no problems found\":" \
  "every query answers for some of them. The combinations that fail are listed after it; in" \
  "the sample they fail by design (a condition left unset, a selector the locator lacks)."
run check "$sample"
run conditions "$sample"
# Why a query fails: no row of record 1010 names condition 7 = 5.
say "The next query fails on purpose (no row names condition 7 = 5): explain shows where it" \
  "stops, and exits with 1."
run explain "$sample" category v --selector 1 --cond 7=5 || [ $? -eq 1 ]

# A later revision of the sample: one record inserted before the others (so
# that every offset moves), a text and a table value changed. diff names
# exactly those and the answers they change; like diff(1) it exits with 1
# when the files differ.
revised=build/tool/sample-revised.dat
say "The revised sample adds a record that nothing leads to: build warns about it on purpose" \
  "(unreachable-record) and writes the file."
run build examples/sample-revised.json -o "$revised"
say "diff names each query by its options; \"--selector -1\" there means no selector (position 1" \
  "of the conditions left at -1, as the exports start it). It exits with 1: the files differ."
run diff "$sample" "$revised" || [ $? -eq 1 ]
echo
echo "the dinfo tool is $(realpath "$dinfo")"
