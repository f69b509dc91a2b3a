#include <new>
#include <utility>

#include "tableobj/preparation.h"

namespace dinfo {
namespace {

// A nested table lies in its parent's data area, so it is prepared in the
// rest of that area: its own totalSize is checked against it.
Fault PrepareNested(Block current, const TableLayout &layout, const TableEntry &entry,
                    std::int32_t depth, PrepareBudget *budget, OwnedBlock *moved) {
  if (depth >= MaxNestingDepth) return Fault::TooMuchWork;
  return PrepareAtDepth(current.subspan(std::size_t(entry.location),
                                        std::size_t(layout.totalSize - entry.location)),
                        depth + 1, budget, moved);
}

// The nested tables of one parent that came back in blocks of their own,
// by increasing descriptor index; they are released with the list. The
// room is taken when the first comes: one place for each nested-table
// descriptor from there on.
struct KeptTables {
  OwnedBlock room;
  NestedReplacement *items = nullptr;
  std::int32_t count = 0;

  KeptTables() = default;
  KeptTables(const KeptTables &) = delete;
  KeptTables &operator=(const KeptTables &) = delete;
  ~KeptTables() {
    for (std::int32_t k = 0; k < count; ++k) {
      Block table(const_cast<std::uint8_t *>(items[k].table.data()), items[k].table.size());
      ReleaseBlock(table);
    }
  }
};

std::int64_t NestedTablesFrom(ConstBlock object, const TableLayout &layout, std::int32_t first) {
  std::int64_t count = 0;
  for (std::int32_t i = first; i < layout.descriptorCount; ++i) {
    if (ReadEntry(object, layout, i).kind == EntryKind::NestedTable) ++count;
  }
  return count;
}

bool Keep(KeptTables *kept, ConstBlock current, const TableLayout &layout, std::int32_t index,
          OwnedBlock table) {
  if (kept->room.empty()) {
    const std::int64_t places = NestedTablesFrom(current, layout, index);
    kept->room = OwnedBlock(AllocateBlock(places * std::int64_t{sizeof(NestedReplacement)}));
    if (kept->room.empty()) return false;
    kept->items = reinterpret_cast<NestedReplacement *>(kept->room.get().data());
  }
  new (&kept->items[kept->count++]) NestedReplacement{index, table.Release()};
  return true;
}

// Walks the descriptors, preparing each nested table where it lies and
// keeping those that come back in blocks of their own.
Fault PrepareEachNested(Block current, const TableLayout &layout, std::int32_t depth,
                        PrepareBudget *budget, KeptTables *kept) {
  for (std::int32_t i = 0; i < layout.descriptorCount; ++i) {
    const TableEntry entry = ReadEntry(current, layout, i);
    if (--budget->descriptorVisitsLeft < 0) return Fault::TooMuchWork;
    if (entry.kind != EntryKind::NestedTable) continue;
    OwnedBlock moved;
    const Fault fault = PrepareNested(current, layout, entry, depth, budget, &moved);
    if (fault != Fault::None) return fault;
    if (!moved.empty() && !Keep(kept, current, layout, i, std::move(moved))) return Fault::NoMemory;
  }
  return Fault::None;
}

}  // namespace

bool TakeMadeBytes(PrepareBudget *budget, std::int64_t bytes) {
  budget->bytesMadeLeft -= bytes;
  return budget->bytesMadeLeft >= 0;
}

// A nested table prepared in place needs nothing more. Those that come
// back in blocks of their own are spliced into one new parent at the end,
// which replaces the current one; each byte is copied once.
Fault PrepareNestedTables(Block current, const TableLayout &layout, std::int32_t depth,
                          PrepareBudget *budget, OwnedBlock *rebuilt) {
  KeptTables kept;
  const Fault fault = PrepareEachNested(current, layout, depth, budget, &kept);
  if (fault != Fault::None || kept.count == 0) return fault;
  OwnedBlock parent = RebuildParent(current, layout, kept.items, kept.count);
  if (parent.empty()) return Fault::BadData;
  if (!TakeMadeBytes(budget, std::int64_t(parent.get().size()))) return Fault::TooMuchWork;
  *rebuilt = std::move(parent);
  return Fault::None;
}

}  // namespace dinfo
