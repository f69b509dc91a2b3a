#!/usr/bin/env bash
# Runs the fuzzers: scripts/fuzz.sh DURATION_SECONDS [HARNESS...]
#
# Builds the `fuzz` preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), writes the starting corpora with the writer,
# and runs each harness (all of them when none is named) for the given
# number of seconds, one after the other. What a harness finds goes into
# build/fuzz/corpus/HARNESS and is kept for the next run. A crash, a leak,
# an input slower than 10 seconds, more than 2 GB of memory or any
# sanitizer report fails the harness; its input lands in
# build/fuzz/artifacts/. Prints one line per harness:
#   fuzz: HARNESS ok|FAILED EXECUTIONS executions, RATE exec/s
# and exits non-zero when any harness failed.
set -uo pipefail
cd "$(dirname "$0")/.."

duration=${1:-}
if ! [[ "$duration" =~ ^[0-9]+$ ]] || [ "$duration" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh DURATION_SECONDS [HARNESS...]" >&2
  exit 2
fi
shift
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  harnesses=(format_type main_info category_v category_s get_table prepare_table table_structure lzw)
fi

echo "fuzz: building the fuzz preset"
if ! { cmake --preset fuzz >/dev/null && cmake --build --preset fuzz; }; then
  echo "fuzz: build failed"
  exit 1
fi

out=build/fuzz
bin=$out/fuzz
seeds=$out/fuzz/seeds
mkdir -p "$out/corpus" "$out/artifacts" "$out/logs"
if ! "$bin/dinfo_fuzz_seeds" "$seeds"; then
  echo "fuzz: the starting corpora could not be written"
  exit 1
fi

failures=0
for harness in "${harnesses[@]}"; do
  program=$bin/dinfo_fuzz_$harness
  if [ ! -x "$program" ]; then
    echo "fuzz: $harness FAILED: no such harness"
    failures=$((failures + 1))
    continue
  fi
  corpus=$out/corpus/$harness
  log=$out/logs/$harness.log
  mkdir -p "$corpus"
  echo "fuzz: running $harness for ${duration} s"
  inputs=("$corpus" "$seeds/$harness")
  [ -d "fuzz/regressions/$harness" ] && inputs+=("fuzz/regressions/$harness")
  "$program" -max_total_time="$duration" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -dict=fuzz/dinfo.dict \
    -artifact_prefix="$out/artifacts/$harness-" "${inputs[@]}" >"$log" 2>&1
  result=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  if [ "$result" -eq 0 ] && [ -n "$executions" ]; then
    echo "fuzz: $harness ok ${executions} executions, ${rate} exec/s"
  else
    echo "fuzz: $harness FAILED (exit $result), see $log"
    grep -E 'ERROR|SUMMARY|invariant|Test unit written' "$log" | head -20
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ]
