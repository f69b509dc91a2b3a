#include "tableobj/preparation.h"
#include "tableobj/table_entry.h"

namespace dinfo {
namespace {

// A nested table lies in its parent's data area, so it is prepared in the
// rest of that area: its own totalSize is checked against it.
Block PrepareNested(Block current, const TableLayout &layout, const TableEntry &entry,
                    std::int32_t depth, PrepareBudget *budget) {
  if (depth >= MaxNestingDepth) return {};
  return PrepareAtDepth(current.subspan(std::size_t(entry.location),
                                        std::size_t(layout.totalSize - entry.location)),
                        depth + 1, budget);
}

}  // namespace

// A nested table prepared in place needs nothing more. One that comes back
// in a block of its own is spliced into a new parent, which replaces the
// current one (released unless it is the block preparation was given);
// the splice keeps the descriptors, so the walk goes on at the next one.
Block PrepareNestedTables(Block current, bool owned, std::int32_t depth, PrepareBudget *budget) {
  TableLayout layout{};
  bool sound = ReadTableLayout(current, &layout);
  for (std::int32_t i = 0; sound && i < layout.descriptorCount; ++i) {
    const TableEntry entry = ReadEntry(current, layout, i);
    sound = --budget->descriptorVisitsLeft >= 0 && EntryFits(layout, entry);
    if (!sound || entry.kind != EntryKind::NestedTable) continue;
    Block prepared = PrepareNested(current, layout, entry, depth, budget);
    if (prepared.empty()) {
      sound = false;
    } else if (prepared.data() != current.data() + entry.location) {
      budget->spliceBytesLeft -= std::int64_t(current.size()) + std::int64_t(prepared.size());
      Block spliced = budget->spliceBytesLeft < 0 ? Block{} : SpliceNestedTable(current, i, prepared);
      ReleaseBlock(prepared);
      if (owned) ReleaseBlock(current);
      if (spliced.empty()) return {};
      current = spliced;
      owned = true;
      sound = ReadTableLayout(current, &layout);
    }
  }
  if (!sound) {
    if (owned) ReleaseBlock(current);
    return {};
  }
  return current;
}

}  // namespace dinfo
