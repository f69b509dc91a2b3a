// Failure injection for the test seam: a budget of operations that may
// still succeed before every later one fails (-1: injection off). Shared by
// the Linux layer and the Windows test program's hooks on the DLL.
#ifndef DINFO_PLATFORM_FAILURE_BUDGET_H
#define DINFO_PLATFORM_FAILURE_BUDGET_H

#include <atomic>
#include <cstdint>

namespace dinfo::seam {

// Counts one use of the budget; true when this use must fail, which is
// also noted in `fired`.
inline bool TakeFromBudget(std::atomic<std::int64_t> &budget, std::atomic<bool> &fired) {
  std::int64_t left = budget.load();
  while (left >= 0) {
    if (left == 0) {
      fired = true;
      return true;
    }
    if (budget.compare_exchange_weak(left, left - 1)) return false;
  }
  return false;
}

}  // namespace dinfo::seam

#endif  // DINFO_PLATFORM_FAILURE_BUDGET_H
