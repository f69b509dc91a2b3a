#include "tableobj/preparation.h"
#include "tableobj/running_sum.h"

namespace dinfo {
namespace {

// On its own, restoration reads only arrays and runs; nested tables are
// left to their own preparation, which checks them.
bool ArraysFit(const TableLayout &layout) {
  for (std::int32_t i = 0; i < layout.descriptorCount(); ++i) {
    const TableEntry entry = ReadEntry(layout, i);
    const bool skipped = entry.kind == EntryKind::NestedTable || entry.kind == EntryKind::Inline;
    if (!skipped && !EntryFits(layout, entry)) return false;
  }
  return true;
}

}  // namespace

// Only typed arrays of 1, 2 or 4 bytes and raw runs are delta-coded; any
// other element size cannot be, so an object that claims it is refused.
bool DeltaCodedEntriesValid(const TableLayout &layout) {
  for (std::int32_t i = 0; i < layout.descriptorCount(); ++i) {
    const TableEntry entry = ReadEntry(layout, i);
    if (entry.kind == EntryKind::NestedTable || entry.kind == EntryKind::Inline) continue;
    if (entry.elementSize != 1 && entry.elementSize != 2 && entry.elementSize != 4) return false;
  }
  return true;
}

// Each entry is checked as it is read, so the sums run only over bytes
// that lie in `object`'s data area now. The entries before a refused one
// are left restored.
Fault RestoreLayoutDeltas(Block object, const TableLayout &layout) {
  if (object.size() < std::size_t(layout.totalSize()) || object.size() < std::size_t(TableHeaderSize)) {
    return Fault::BadArgument;
  }
  for (std::int32_t i = 0; i < layout.descriptorCount(); ++i) {
    CheckedEntry checked;
    if (!CheckEntry(layout, i, &checked)) {
      // A nested table is left to its own preparation, which checks it.
      if (ReadEntry(layout, i).kind == EntryKind::NestedTable) continue;
      return Fault::BadData;
    }
    const TableEntry &entry = checked.entry();
    if (entry.kind == EntryKind::NestedTable || entry.kind == EntryKind::Inline) continue;
    if (entry.elementSize != 1 && entry.elementSize != 2 && entry.elementSize != 4) return Fault::BadData;
    // Fewer than two elements stay as they are; an empty one may point anywhere.
    if (entry.length < 2 * entry.elementSize) continue;
    const Block data = checked.In(object);
    if (std::int64_t(data.size()) != entry.length) return Fault::BadData;
    RunningSum(data.data(), entry.length / entry.elementSize, entry.elementSize, layout.order());
  }
  WriteTableWord(object.data() + 12, 0, layout.order());
  return Fault::None;
}

// Header values the restoration does not accept are told apart from a
// layout that does not fit: -1, the size of an invalid object, is one.
Fault RestoreDeltas(Block object) {
  if (object.empty()) return Fault::BadArgument;
  TableHeader header{};
  if (!ReadTableHeader(object, &header)) return Fault::BadData;
  if (header.totalSize == -1 || header.flags != FlagDeltaCoded || header.descriptorCount < 0) {
    return Fault::BadArgument;
  }
  TableLayout layout{};
  if (!ReadTableLayout(object, header, &layout) || !ArraysFit(layout)) return Fault::BadData;
  return RestoreLayoutDeltas(object, layout);
}

}  // namespace dinfo
