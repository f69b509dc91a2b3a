// The nested tables of a preparation that were prepared in place and are
// known to be finished: their walk wrote nothing outside them and left
// nothing to undo inside them, so a second descriptor naming the same
// place of the same block needs no second walk. Kept by (block, offset);
// each block a preparation walks gets a number of its own.
//
// A table whose entries overlap may change another entry's bytes when it
// prepares one of its nested tables; before each such step every table
// known so far is forgotten at once, unless nothing was written since
// they last were. A walk that wrote nothing leaves its table finished
// whatever its entries, so a table shared at every level is walked at
// most twice there, not once for each path down to it.
#ifndef DINFO_TABLEOBJ_WALKED_TABLES_H
#define DINFO_TABLEOBJ_WALKED_TABLES_H

#include <cstdint>

#include "tableobj/prepare_budget.h"

namespace dinfo {

class WalkedTables {
 public:
  explicit WalkedTables(PrepareBudget *budget) : budget_(budget) {}
  WalkedTables(const WalkedTables &) = delete;
  WalkedTables &operator=(const WalkedTables &) = delete;
  ~WalkedTables() { GiveBack(budget_, &block_); }

  bool Has(std::int64_t block, std::int64_t offset) const;
  // False when no memory could be had for it.
  bool Add(std::int64_t block, std::int64_t offset);
  void Forget() { ++generation_; }

 private:
  struct Place {
    std::int64_t block;
    std::int64_t offset;
    std::int64_t generation;  // 0: a free place
  };
  Place *Places() const { return reinterpret_cast<Place *>(block_.get().data()); }
  std::int64_t Find(std::int64_t block, std::int64_t offset) const;
  bool Rebuild();

  PrepareBudget *budget_;
  OwnedBlock block_;
  std::int64_t capacity_ = 0;  // a power of 2
  std::int64_t used_ = 0;
  std::int64_t generation_ = 1;
};

}  // namespace dinfo

#endif  // DINFO_TABLEOBJ_WALKED_TABLES_H
