#include <new>

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

// The nested tables of one parent that came back in blocks of their own,
// by increasing descriptor index. The room is taken when the first comes:
// one place for each nested-table descriptor from there on.
struct KeptTables {
  Block room;
  NestedReplacement *items;
  std::int32_t count;
};

std::int64_t NestedTablesFrom(ConstBlock object, const TableLayout &layout, std::int32_t first) {
  std::int64_t count = 0;
  for (std::int32_t i = first; i < layout.descriptorCount; ++i) {
    if (ReadEntry(object, layout, i).kind == EntryKind::NestedTable) ++count;
  }
  return count;
}

bool Keep(KeptTables *kept, ConstBlock current, const TableLayout &layout, std::int32_t index,
          Block table) {
  if (kept->room.empty()) {
    const std::int64_t places = NestedTablesFrom(current, layout, index);
    kept->room = AllocateBlock(places * std::int64_t{sizeof(NestedReplacement)});
    if (kept->room.empty()) return false;
    kept->items = reinterpret_cast<NestedReplacement *>(kept->room.data());
  }
  new (&kept->items[kept->count++]) NestedReplacement{index, table};
  return true;
}

// The kept tables are blocks this walk made.
void ReleaseKept(KeptTables *kept) {
  for (std::int32_t k = 0; k < kept->count; ++k) {
    Block table(const_cast<std::uint8_t *>(kept->items[k].table.data()), kept->items[k].table.size());
    ReleaseBlock(table);
  }
  ReleaseBlock(kept->room);
  kept->count = 0;
}

// Walks the descriptors, preparing each nested table where it lies and
// keeping those that come back in blocks of their own. False on failure.
bool PrepareEachNested(Block current, const TableLayout &layout, std::int32_t depth,
                       PrepareBudget *budget, KeptTables *kept) {
  for (std::int32_t i = 0; i < layout.descriptorCount; ++i) {
    const TableEntry entry = ReadEntry(current, layout, i);
    if (--budget->descriptorVisitsLeft < 0 || !EntryFits(layout, entry)) return false;
    if (entry.kind != EntryKind::NestedTable) continue;
    Block prepared = PrepareNested(current, layout, entry, depth, budget);
    if (prepared.empty()) return false;
    if (prepared.data() != current.data() + entry.location && !Keep(kept, current, layout, i, prepared)) {
      ReleaseBlock(prepared);
      return false;
    }
  }
  return true;
}

}  // namespace

bool TakeMadeBytes(PrepareBudget *budget, std::int64_t bytes) {
  budget->bytesMadeLeft -= bytes;
  return budget->bytesMadeLeft >= 0;
}

// A nested table prepared in place needs nothing more. Those that come
// back in blocks of their own are spliced into one new parent at the end,
// which replaces the current one (released unless it is the block
// preparation was given); each byte is copied once.
Block PrepareNestedTables(Block current, bool owned, std::int32_t depth, PrepareBudget *budget) {
  TableLayout layout{};
  KeptTables kept{};
  Block result{};
  if (ReadTableLayout(current, &layout) && PrepareEachNested(current, layout, depth, budget, &kept)) {
    result = kept.count == 0 ? current : SpliceNestedTables(current, kept.items, kept.count);
    if (!result.empty() && result.data() != current.data() && !TakeMadeBytes(budget, std::int64_t(result.size()))) {
      ReleaseBlock(result);
    }
  }
  ReleaseKept(&kept);
  if (owned && result.data() != current.data()) ReleaseBlock(current);
  return result;
}

}  // namespace dinfo
