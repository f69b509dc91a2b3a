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
#
# Settings, from the environment:
#   DINFO_FUZZ_FRESH=1          start from the seeds alone, in an empty
#                               corpus (build/fuzz/fresh/HARNESS), whose
#                               finds are then added to the kept corpus
#   DINFO_FUZZ_VALUE_PROFILE=1  run with -use_value_profile=1
#   DINFO_FUZZ_JOBS=N           run N harnesses at a time (1)
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

fresh=${DINFO_FUZZ_FRESH:-0}
jobs=${DINFO_FUZZ_JOBS:-1}
extra=()
[ "${DINFO_FUZZ_VALUE_PROFILE:-0}" = 1 ] && extra+=(-use_value_profile=1)

# Runs one harness and prints its line; its exit code says whether it passed.
run_harness() {
  local harness=$1
  local program=$bin/dinfo_fuzz_$harness
  if [ ! -x "$program" ]; then
    echo "fuzz: $harness FAILED: no such harness"
    return 1
  fi
  local corpus=$out/corpus/$harness
  local log=$out/logs/$harness.log
  mkdir -p "$corpus"
  local inputs=("$corpus")
  if [ "$fresh" = 1 ]; then
    inputs=("$out/fresh/$harness")
    rm -rf "${inputs[0]}" && mkdir -p "${inputs[0]}"
  fi
  echo "fuzz: running $harness for ${duration} s"
  inputs+=("$seeds/$harness")
  [ -d "fuzz/regressions/$harness" ] && inputs+=("fuzz/regressions/$harness")
  "$program" -max_total_time="$duration" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -dict=fuzz/dinfo.dict "${extra[@]}" \
    -artifact_prefix="$out/artifacts/$harness-" "${inputs[@]}" >"$log" 2>&1
  local result=$?
  [ "$fresh" = 1 ] && cp -n "$out/fresh/$harness"/* "$corpus"/ 2>/dev/null
  local executions rate
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  if [ "$result" -eq 0 ] && [ -n "$executions" ]; then
    echo "fuzz: $harness ok ${executions} executions, ${rate} exec/s"
    return 0
  fi
  echo "fuzz: $harness FAILED (exit $result), see $log"
  grep -E 'ERROR|SUMMARY|invariant|Test unit written' "$log" | head -20
  return 1
}

failures=0
running=0
for harness in "${harnesses[@]}"; do
  if [ "$jobs" -le 1 ]; then
    run_harness "$harness" || failures=$((failures + 1))
    continue
  fi
  run_harness "$harness" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failures=$((failures + 1))
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failures=$((failures + 1))
  running=$((running - 1))
done
[ "$failures" -eq 0 ]
