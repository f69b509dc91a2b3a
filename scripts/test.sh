#!/usr/bin/env bash
# Builds dinfo in every test configuration and runs every test: the debug
# and release builds, AddressSanitizer with UndefinedBehaviorSanitizer, and
# clang; then each scripts/test-*.sh in turn (the packages and the Windows
# kit, fuzzing, ThreadSanitizer, valgrind, the Windows build under Wine).
# Ends with one line that sums up all runs, which CI reads:
#   total: N passed, N failed, N skipped
set -uo pipefail
cd "$(dirname "$0")/.."
echo "checking the Debian packages the tests need (apt-get installs the missing ones, as root)"
scripts/install-deps.sh || exit 1

passed=0
failed=0
skipped=0
status=0

# Runs one ctest invocation and adds its counts to the totals. ctest counts
# a skipped test (***Skipped) among the passed ones: here it is counted
# apart. A test that could not run (***Not Run) is among ctest's failed.
run_ctest() {
  local log
  log=$(mktemp)
  ctest "$@" 2>&1 | tee "$log"
  local summary
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$summary" ]; then
    echo "no test summary from: ctest $*"
    failed=$((failed + 1))
    status=1
  else
    local bad total
    bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    total=$(echo "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    local skips
    skips=$(grep -cE '^ *[0-9]+/[0-9]+ +Test +#[0-9]+: .*\*\*\*Skipped' "$log")
    passed=$((passed + total - bad - skips))
    failed=$((failed + bad))
    skipped=$((skipped + skips))
    [ "$bad" -eq 0 ] || status=1
  fi
  rm -f "$log"
}

build_preset() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}

for preset in debug release asan clang; do
  echo "=== $preset"
  if build_preset "$preset"; then
    run_ctest --preset "$preset"
  else
    echo "build failed: $preset"
    failed=$((failed + 1))
    status=1
  fi
done

for extra in scripts/test-*.sh; do
  [ -e "$extra" ] || continue
  echo "=== $extra"
  # shellcheck disable=SC1090
  source "$extra"
done

echo
echo "total: $passed passed, $failed failed, $skipped skipped"
exit $status
