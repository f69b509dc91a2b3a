# Sourced by scripts/test.sh: the debug build's test suite and the replay
# of every fuzz corpus under valgrind's memcheck. Any invalid read or write,
# use of uninitialised memory or leak (definite, indirect or possible)
# fails the run. Tests too heavy for valgrind skip themselves there.
valgrind_run() {
  local name=$1
  shift
  if valgrind -q --error-exitcode=99 --leak-check=full \
      --errors-for-leak-kinds=definite,indirect,possible "$@" >"$valgrind_log" 2>&1; then
    echo "valgrind: $name ok"
    passed=$((passed + 1))
  else
    echo "valgrind: $name FAILED"
    tail -40 "$valgrind_log"
    failed=$((failed + 1))
    status=1
  fi
}

valgrind_log=$(mktemp)
echo "valgrind: bringing the debug build up to date, quietly"
if cmake --preset debug >/dev/null && cmake --build --preset debug >/dev/null; then
  echo "valgrind: the test suite under memcheck (several minutes), then each fuzz corpus"
  valgrind_run dinfo_tests build/debug/tests/dinfo_tests
  build/debug/fuzz/dinfo_fuzz_seeds build/debug/fuzz/seeds
  for valgrind_replay in build/debug/fuzz/dinfo_replay_*; do
    valgrind_harness=${valgrind_replay##*/dinfo_replay_}
    valgrind_run "replay $valgrind_harness" "$valgrind_replay" \
      "build/debug/fuzz/seeds/$valgrind_harness" "fuzz/regressions/$valgrind_harness"
  done
else
  echo "valgrind: the debug build failed"
  failed=$((failed + 1))
  status=1
fi
rm -f "$valgrind_log"
