// The two halves of PrepareTableObject, which call each other once per
// level of nesting: undoing one object's codings, and walking its nested
// tables (splicing in those that came back in a block of their own).
#ifndef DINFO_TABLEOBJ_PREPARATION_H
#define DINFO_TABLEOBJ_PREPARATION_H

#include <cstdint>

#include "tableobj/table_object.h"

namespace dinfo {

// Descriptors of distinct tables occupy distinct bytes, so a sound object
// visits fewer descriptors than the bytes it holds (and those expansion
// adds). Tables shared between several descriptors are walked once per
// descriptor; the budget keeps such sharing from making the walk
// exponential in the depth.
// The blocks one preparation makes (expansions and rebuilt parents) are
// bounded together to four times the largest expansion, so that many
// large nested expansions cannot take memory without end.
struct PrepareBudget {
  std::int64_t descriptorVisitsLeft;
  std::int64_t bytesMadeLeft;
};
constexpr std::int64_t MinDescriptorVisits = 4096;
constexpr std::int64_t MaxBytesMade = std::int64_t{4} << 30;

// Counts a block preparation made; false once the blocks made pass the
// bound.
bool TakeMadeBytes(PrepareBudget *budget, std::int64_t bytes);

// Prepares the object at the start of `given` (a block that may be longer
// than the object) at nesting depth `depth`. Empty on failure, `given`
// when all was done in place, else a new block owned by the caller.
Block PrepareAtDepth(Block given, std::int32_t depth, PrepareBudget *budget);

// Prepares every nested table of `current`, an object whose codings are
// undone. Returns `current` or the rebuilt parent; on failure it releases
// `current` if `owned` and every block it made, and returns an empty
// block.
Block PrepareNestedTables(Block current, bool owned, std::int32_t depth, PrepareBudget *budget);

}  // namespace dinfo

#endif  // DINFO_TABLEOBJ_PREPARATION_H
