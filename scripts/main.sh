#!/usr/bin/env bash
# The main job: build, write a sample information file, query it with
# every export.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/tools/example/dinfo_example build/release/sample.dat
