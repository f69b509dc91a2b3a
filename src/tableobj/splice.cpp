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

// Expands a table straight into its place and restores its deltas there;
// its expanded size stops being counted once it is written.
bool WriteExpansion(Preparation *preparation, MovedTable *table, Block out, bool consume) {
  if (!FinishExpansion(table->source, table->ownBlock.get(), out)) return false;
  TableLayout layout{};
  if (!ReadTableLayout(out, &layout)) return false;
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
  if (!PutBytes(out, 0, table.source.data(), TableHeaderSize) ||
      !PutWord(out, 4, static_cast<std::uint32_t>(table.size), table.layout.order())) {
    return false;
  }
  return preparation->writes.Push({out, table.layout.dataStart(), index, 0, 0});
}

// Where an entry's bytes come from, how many there are, and how far the
// write position moves. False for an entry that cannot be copied.
bool PlanEntry(ConstBlock source, const TableEntry &entry, std::int64_t *length, std::int64_t *advance) {
  switch (entry.kind) {
    case EntryKind::TypedArray:
    case EntryKind::RawRun:
      *length = entry.length;
      *advance = AlignedAdvance(entry.kind, entry.length);
      return true;
    case EntryKind::NestedTable:
      *length = *advance = NestedTableSize(source, entry.location);
      return *length >= 0;
    default: return false;
  }
}

// Writes the next entry of the top step; a replaced nested table starts a
// step of its own.
bool WriteNextEntry(Preparation *preparation, bool consume) {
  WriteStep step = preparation->writes.Back();
  const MovedTable &table = preparation->moved[step.table];
  const std::int32_t i = step.next++;
  const TableEntry entry = ReadEntry(table.layout, i);
  const Replacement *replacement = nullptr;
  if (step.nextReplacement < table.replacementCount) {
    replacement = &preparation->replacements[table.firstReplacement + step.nextReplacement];
    if (replacement->entryIndex != i) replacement = nullptr;
  }
  std::int64_t length = 0;
  std::int64_t advance = 0;
  if (entry.kind == EntryKind::Inline) {
    preparation->writes.Back() = step;
    return PutDescriptor(step.out, table.layout, i, entry.tag, entry.location);
  }
  if (replacement != nullptr) {
    ++step.nextReplacement;
    length = advance = preparation->moved[replacement->table].size;
  } else if (!PlanEntry(table.source, entry, &length, &advance)) {
    return false;
  }
  const std::int64_t at = step.position;
  if (at > INT32_MAX || (length > 0 && !RangeFits(std::int64_t(step.out.size()), at, length)) ||
      !PutDescriptor(step.out, table.layout, i, replacement != nullptr ? NestedTableTag : entry.tag, at)) {
    return false;
  }
  step.position += advance;
  preparation->writes.Back() = step;
  if (replacement == nullptr) {
    ZeroUpTo(step.out, at + length, step.position);
    return PutBytes(step.out, at, table.source.data() + entry.location, length);
  }
  if (length == 0) return true;
  return BeginWrite(preparation, replacement->table, step.out.subspan(std::size_t(at), std::size_t(length)), consume);
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
