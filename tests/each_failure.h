// The loop every failure-injection test runs: the Nth operation of a call
// made to fail, for each N in turn, until the call runs without a failure.
#ifndef DINFO_TESTS_EACH_FAILURE_H
#define DINFO_TESTS_EACH_FAILURE_H

#include <cstdint>

#include "platform/test_seam.h"

namespace dinfo::test {

// Runs `call` with a failure injected after n = 0, 1, 2, ... operations
// (`inject` is seam::FailAllocationsAfter, FailOneAllocationAfter or
// ShortenReadsAfter) until a run in which none fired. After each run,
// with injection off again, `check(n, fired, outcome)` looks at what the
// call gave. Returns the n of the last run: the operations the call took.
template <typename Call, typename Check>
std::int64_t InjectEachFailureInTurn(void (*inject)(std::int64_t), Call call, Check check) {
  for (std::int64_t n = 0;; ++n) {
    inject(n);
    auto outcome = call();
    const bool fired = seam::InjectedFailureFired();
    inject(-1);
    check(n, fired, outcome);
    if (!fired) return n;
  }
}

}  // namespace dinfo::test

#endif  // DINFO_TESTS_EACH_FAILURE_H
