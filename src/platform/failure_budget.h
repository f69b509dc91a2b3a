// Failure injection for the test seam: a budget of operations that may
// still succeed before the next one fails, and with it every later one or
// that one alone (-1: injection off). Shared by the Linux layer and the
// Windows test program's hooks on the DLL.
#ifndef DINFO_PLATFORM_FAILURE_BUDGET_H
#define DINFO_PLATFORM_FAILURE_BUDGET_H

#include <atomic>
#include <cstdint>

namespace dinfo::seam {

// Counts one use of the budget; true when this use must fail, which is
// also noted in `fired`. A budget that fails once switches itself off
// (-1) with that failure; any other stays at 0 and fails every later use.
inline bool TakeFromBudget(std::atomic<std::int64_t> &budget, std::atomic<bool> &fired,
                           bool failOnce = false) {
  std::int64_t left = budget.load();
  while (left >= 0) {
    const std::int64_t next = left > 0 ? left - 1 : (failOnce ? -1 : 0);
    if (budget.compare_exchange_weak(left, next)) {
      if (left > 0) return false;
      fired = true;
      return true;
    }
  }
  return false;
}

}  // namespace dinfo::seam

#endif  // DINFO_PLATFORM_FAILURE_BUDGET_H
