# Sourced by scripts/test.sh: runs every fuzzer for DINFO_FUZZ_SECONDS
# seconds each (60 by default) and counts each harness as one test.
fuzz_log=$(mktemp)
bash scripts/fuzz.sh "${DINFO_FUZZ_SECONDS:-60}" | tee "$fuzz_log"
fuzz_result=${PIPESTATUS[0]}
fuzz_ok=$(grep -c '^fuzz: [a-z_]* ok ' "$fuzz_log")
fuzz_bad=$(grep -c '^fuzz: .*FAILED' "$fuzz_log")
passed=$((passed + fuzz_ok))
failed=$((failed + fuzz_bad))
if [ "$fuzz_result" -ne 0 ]; then
  [ "$fuzz_bad" -gt 0 ] || failed=$((failed + 1))
  status=1
fi
rm -f "$fuzz_log"
