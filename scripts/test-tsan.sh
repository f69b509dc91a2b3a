# Sourced by scripts/test.sh: builds the test suite with ThreadSanitizer
# (the tsan preset) and runs the concurrency tests, where many threads call
# every export on the same files at once. Where the machine allows it the
# run goes without address space randomisation (ctest is reached through
# a setarch wrapper), because some kernels randomise more bits than
# ThreadSanitizer's memory layout accepts.
echo "tsan: building the tsan preset, quietly (several minutes on a fresh 2-core machine)"
if cmake --preset tsan >/dev/null && cmake --build --preset tsan >/dev/null; then
  tsan_path=$PATH
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    tsan_wrapper=$(mktemp -d)
    printf '#!/bin/sh\nexec setarch "%s" -R "%s" "$@"\n' "$(uname -m)" "$(command -v ctest)" \
      >"$tsan_wrapper/ctest"
    chmod +x "$tsan_wrapper/ctest"
    tsan_path=$tsan_wrapper:$PATH
  fi
  echo "tsan: running the concurrency tests under ThreadSanitizer"
  PATH=$tsan_path run_ctest --preset tsan
  [ -z "${tsan_wrapper:-}" ] || rm -rf "$tsan_wrapper"
else
  echo "build failed: tsan"
  failed=$((failed + 1))
  status=1
fi
