// Rebuilding parents around nested tables that moved. Every entry is
// copied once, in descriptor order, into a fresh data area in the aligned
// layout: each entry starts at a multiple of 8; a typed array takes its
// length rounded up to 8, a raw run the next multiple of 8 above its
// length (so it is always followed by a zero), a nested table its own
// totalSize, an inline entry nothing. The new size (parent - each old
// nested table + its replacement) assumes the parent was laid out so. A
// parent packed more tightly is rebuilt all the same as long as every
// entry's bytes fit: only the padding after the last ones, or the place
// of an empty entry, may lie past the new size. A rebuilt parent always
// holds its header and its descriptors.
//
// A moved table inside a moved table is written straight into its place
// in the rebuilt parent, so that however deep the tables that moved lie,
// each byte is copied once.
#include <utility>

#include "tableobj/preparation.h"

namespace dinfo {
namespace {

std::int32_t NestedTablesFrom(const TableLayout &layout, std::int32_t first) {
  std::int32_t count = 0;
  for (std::int32_t i = first; i < layout.descriptorCount(); ++i) {
    if (ReadEntry(layout, i).kind == EntryKind::NestedTable) ++count;
  }
  return count;
}

// Room for one replacement of every nested descriptor from `first` on,
// taken at the first replacement.
bool MakeReplacementRoom(Preparation *preparation, MovedTable *table, std::int32_t first) {
  const std::int32_t room = NestedTablesFrom(table->layout, first);
  const std::int64_t at = preparation->replacements.Append(room);
  if (at < 0) return false;
  table->firstReplacement = at;
  table->replacementRoom = room;
  return true;
}

bool PutWord(Block out, std::int64_t at, std::uint32_t value, ByteOrder order) {
  if (!RangeFits(std::int64_t(out.size()), at, 4)) return false;
  WriteTableWord(out.data() + at, value, order);
  return true;
}

bool PutBytes(Block out, std::int64_t at, const std::uint8_t *from, std::int64_t length) {
  if (length <= 0) return true;
  if (!RangeFits(std::int64_t(out.size()), at, length)) return false;
  CopyBytes(from, out.data() + at, static_cast<std::int32_t>(length));
  return true;
}

// Zeroes the padding from `from` up to `to`, as much of it as lies in
// `out`: the block written into is not zero-filled.
void ZeroUpTo(Block out, std::int64_t from, std::int64_t to) {
  const auto size = std::int64_t(out.size());
  if (to > size) to = size;
  if (from < to) FillBytes(out.data() + from, 0, static_cast<std::int32_t>(to - from));
}

bool PutDescriptor(Block out, const TableLayout &layout, std::int32_t index, std::uint32_t tag,
                   std::int64_t location) {
  const std::int64_t at = TableHeaderSize + std::int64_t{DescriptorSize} * index;
  return PutWord(out, at, tag, layout.order()) && PutWord(out, at + 4, static_cast<std::uint32_t>(location), layout.order());
}

// Whether the header and descriptors written at the start of `out` are
// the ones that were measured and checked when the expansion began, in
// `head`: the stored stream may have been changed since.
bool SameHead(ConstBlock head, ConstBlock out) {
  if (out.size() < head.size()) return false;
  for (std::size_t k = 0; k < head.size(); ++k) {
    if (head[k] != out[k]) return false;
  }
  return true;
}

// Expands a table straight into its place and restores its deltas there;
// its expanded size stops being counted once it is written. Nothing is
// restored unless the expansion still holds the descriptors its head held.
bool WriteExpansion(Preparation *preparation, MovedTable *table, Block out, bool consume) {
  if (!FinishExpansion(table->source, table->ownBlock.get(), out)) return false;
  TableLayout layout{};
  if (!SameHead(table->ownBlock.get(), out) || !ReadTableLayout(out, &layout)) return false;
  if ((layout.flags() & FlagDeltaCoded) != 0 && RestoreLayoutDeltas(out, layout) != Fault::None) return false;
  if (consume) {
    preparation->budget.bytesHeld -= table->size;
    table->ownBlock = {};
  }
  return true;
}

// Starts writing moved table `index` into `out`: copied whole when nothing
// in it is replaced, otherwise its header now and its entries step by step.
bool BeginWrite(Preparation *preparation, std::int32_t index, Block out, bool consume) {
  MovedTable &table = preparation->moved[index];
  if (std::int64_t(out.size()) != table.size) return false;
  if (table.expandedAsWritten) return WriteExpansion(preparation, &table, out, consume);
  if (table.replacementCount == 0) {
    if (!PutBytes(out, 0, table.source.data(), std::int64_t(table.source.size()))) return false;
    if (consume) GiveBack(&preparation->budget, &table.ownBlock);
    return true;
  }
  // The words that tell how the rest is laid out come from the checked
  // layout; only the flags, which preparation clears after it, are read now.
  const TableLayout &layout = table.layout;
  if (table.source.size() < std::size_t(TableHeaderSize) || !PutWord(out, 0, TableObjectMagic, layout.order()) ||
      !PutWord(out, 4, static_cast<std::uint32_t>(table.size), layout.order()) ||
      !PutWord(out, 8, static_cast<std::uint32_t>(layout.descriptorCount()), layout.order()) ||
      !PutWord(out, 12, ReadTableWord(table.source.data() + 12, layout.order()), layout.order())) {
    return false;
  }
  return preparation->writes.Push({out, layout.dataStart(), index, 0, 0});
}

// The bytes of a checked entry of `source` that a rebuild copies, and how
// far the write position moves past them. False for an entry that cannot
// be copied.
bool PlanEntry(ConstBlock source, const CheckedEntry &checked, ConstBlock *bytes, std::int64_t *advance) {
  const TableEntry &entry = checked.entry();
  std::int64_t length = 0;
  switch (entry.kind) {
    case EntryKind::TypedArray:
    case EntryKind::RawRun:
      length = entry.length;
      *advance = AlignedAdvance(entry.kind, entry.length);
      break;
    case EntryKind::NestedTable:
      length = *advance = NestedTableSize(source, entry.location);
      if (length < 0) return false;
      break;
    default: return false;
  }
  const ConstBlock area = checked.In(source);
  if (std::int64_t(area.size()) < length) return false;
  *bytes = area.first(std::size_t(length));
  return true;
}

// Writes descriptor `i` of `table` as the moved table `child`, laid out at
// the top step's write position, and starts writing the child there.
bool WriteReplacement(Preparation *preparation, const MovedTable &table, std::int32_t i, std::int32_t child,
                      bool consume) {
  WriteStep &step = preparation->writes.Back();
  ++step.nextReplacement;
  const std::int64_t at = step.position;
  const std::int64_t length = preparation->moved[child].size;
  const Block out = step.out;
  if (at > INT32_MAX || !RangeFits(std::int64_t(out.size()), at, length) ||
      !PutDescriptor(out, table.layout, i, NestedTableTag, at)) {
    return false;
  }
  step.position = at + length;
  if (length == 0) return true;
  return BeginWrite(preparation, child, out.subspan(std::size_t(at), std::size_t(length)), consume);
}

// Writes the next entry of the top step; a replaced nested table starts a
// step of its own. Every other entry is checked against the table's bytes
// as it is copied, not trusted from an earlier look: a later sibling's
// preparation may have written over the descriptors since.
bool WriteNextEntry(Preparation *preparation, bool consume) {
  WriteStep step = preparation->writes.Back();
  const MovedTable &table = preparation->moved[step.table];
  const std::int32_t i = step.next++;
  const Replacement *replacement = nullptr;
  if (step.nextReplacement < table.replacementCount) {
    replacement = &preparation->replacements[table.firstReplacement + step.nextReplacement];
    if (replacement->entryIndex != i) replacement = nullptr;
  }
  preparation->writes.Back() = step;
  if (replacement != nullptr) return WriteReplacement(preparation, table, i, replacement->table, consume);
  CheckedEntry checked;
  if (!CheckEntry(table.layout, i, &checked)) return false;
  const TableEntry &entry = checked.entry();
  if (entry.kind == EntryKind::Inline) return PutDescriptor(step.out, table.layout, i, entry.tag, entry.location);
  ConstBlock bytes;
  std::int64_t advance = 0;
  if (!PlanEntry(table.layout.bytes(), checked, &bytes, &advance)) return false;
  const std::int64_t at = step.position;
  if (at > INT32_MAX || !PutDescriptor(step.out, table.layout, i, entry.tag, at)) return false;
  preparation->writes.Back().position = at + advance;
  const auto length = std::int64_t(bytes.size());
  if (!PutBytes(step.out, at, bytes.data(), length)) return false;
  ZeroUpTo(step.out, at + length, at + advance);
  return true;
}

}  // namespace

std::int32_t NewMovedTable(Preparation *preparation, ConstBlock source, const TableLayout &layout,
                           OwnedBlock ownBlock) {
  MovedTable table{source, layout, std::move(ownBlock), 0, 0, 0, std::int64_t(source.size()), false};
  if (preparation->moved.Size() >= INT32_MAX || !preparation->moved.Push(std::move(table))) {
    GiveBack(&preparation->budget, &table.ownBlock);
    return -1;
  }
  return static_cast<std::int32_t>(preparation->moved.Size() - 1);
}

std::int32_t NewExpandedAsWritten(Preparation *preparation, ConstBlock stored, const TableLayout &layout,
                                  OwnedBlock head) {
  MovedTable table{stored, layout, std::move(head), 0, 0, 0, layout.totalSize(), true};
  if (preparation->moved.Size() >= INT32_MAX || !preparation->moved.Push(std::move(table))) return -1;
  return static_cast<std::int32_t>(preparation->moved.Size() - 1);
}

Fault AddReplacement(Preparation *preparation, std::int32_t parent, std::int32_t entryIndex,
                     std::int32_t child) {
  MovedTable &table = preparation->moved[parent];
  if (entryIndex < 0 || entryIndex >= table.layout.descriptorCount()) return Fault::BadData;
  const TableEntry old = ReadEntry(table.layout, entryIndex);
  if (old.kind != EntryKind::NestedTable || old.location < table.layout.dataStart()) return Fault::BadData;
  const std::int64_t oldSize = NestedTableSize(table.source, old.location);
  if (oldSize < 0) return Fault::BadData;
  if (table.replacementCount == 0 && !MakeReplacementRoom(preparation, &table, entryIndex)) return Fault::NoMemory;
  if (table.replacementCount == table.replacementRoom) return Fault::BadData;
  const std::int64_t at = table.firstReplacement + table.replacementCount;
  if (table.replacementCount > 0 && preparation->replacements[at - 1].entryIndex >= entryIndex) return Fault::BadData;
  preparation->replacements[at] = {entryIndex, child};
  ++table.replacementCount;
  table.size += preparation->moved[child].size - oldSize;
  return Fault::None;
}

bool MovedTableSizeFits(const MovedTable &table) {
  if (table.size > INT32_MAX || table.size % 8 != 0) return false;
  if (table.replacementCount == 0) return table.size >= 0;
  return table.layout.totalSize() % 8 == 0 && table.size >= table.layout.dataStart();
}

bool WriteMovedTable(Preparation *preparation, std::int32_t table, Block out, bool consume) {
  GrowingArray<WriteStep> &steps = preparation->writes;
  steps.Clear();
  if (!BeginWrite(preparation, table, out, consume)) return false;
  while (steps.Size() > 0) {
    const WriteStep &step = steps.Back();
    if (step.next < preparation->moved[step.table].layout.descriptorCount()) {
      if (!WriteNextEntry(preparation, consume)) return false;
      continue;
    }
    ZeroUpTo(step.out, step.position, std::int64_t(step.out.size()));
    if (consume) GiveBack(&preparation->budget, &preparation->moved[step.table].ownBlock);
    steps.Pop();
  }
  return true;
}

// A parent whose body is still scrambled cannot be laid out again.
OwnedBlock SpliceNestedTable(ConstBlock outer, std::int32_t entryIndex, ConstBlock replacement) {
  TableLayout layout{};
  if (outer.empty() || replacement.empty()) return {};
  if (!ReadTableLayout(outer, &layout) || (layout.flags() & FlagScrambled) != 0 || !EntriesFit(layout)) {
    return {};
  }
  const std::int64_t replacementSize = NestedTableSize(replacement, 0);
  if (entryIndex < 0 || entryIndex >= layout.descriptorCount() || replacementSize < 0) return {};
  Preparation preparation(0);
  const std::int32_t parent = NewMovedTable(&preparation, outer.first(std::size_t(layout.totalSize())), layout, {});
  const std::int32_t child = NewMovedTable(&preparation, replacement.first(std::size_t(replacementSize)), {}, {});
  if (parent < 0 || child < 0 || AddReplacement(&preparation, parent, entryIndex, child) != Fault::None ||
      !MovedTableSizeFits(preparation.moved[parent])) {
    return {};
  }
  OwnedBlock rebuilt = AllocateBlock(preparation.moved[parent].size);
  if (rebuilt.empty() || !WriteMovedTable(&preparation, parent, rebuilt.get(), false)) return {};
  return rebuilt;
}

}  // namespace dinfo
