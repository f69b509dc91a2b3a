#include <utility>

#include "tableobj/preparation.h"

namespace dinfo {
namespace {

// The size that marks an invalid object: refused whatever the flags, even
// by an object that, had it any other size, would be taken header-only.
constexpr std::int32_t InvalidObjectSize = -1;

// An object without descriptors reads nothing past its header, so a
// totalSize below 16 (but for -1) is taken as it stands when no step
// needs the size: the block comes back, delta coding merely clears flags.
bool HeaderOnly(const TableHeader &header) {
  return header.totalSize < TableHeaderSize && header.descriptorCount == 0 &&
         (header.flags & (FlagScrambled | FlagCompressed)) == 0;
}

Fault PrepareHeaderOnly(Block given, const TableHeader &header) {
  if ((header.flags & FlagDeltaCoded) == 0) return Fault::None;
  if (header.flags != FlagDeltaCoded) return Fault::BadArgument;
  WriteTableWord(given.data() + 12, 0, header.order);
  return Fault::None;
}

// What expanding a compressed body made: the expansion in a block of its
// own, or, for a nested table that may be expanded as it is written, its
// header and descriptors and its size (see MovedTable).
struct Expansion {
  OwnedBlock whole;
  OwnedBlock head;
  std::int64_t size = 0;
};

// Expands a compressed body, counted as held: the root into a block of its
// own, which it is handed back in; a nested table as StartExpansion can.
Fault Expand(PrepareBudget *budget, const StoredTable &stored, bool nested, Expansion *expansion) {
  if (!TakeWork(budget, stored.header().totalSize)) return Fault::TooMuchWork;
  if (budget->bytesHeld >= MaxBytesHeld) return Fault::TooMuchWork;
  ExpansionStart start;
  if (nested) start = StartExpansion(stored);
  if (start.fault != Fault::None) return Fault::BadData;
  if (!start.head.empty()) {
    expansion->head = std::move(start.head);
    expansion->size = start.size;
  } else if (!start.whole.empty()) {
    expansion->whole = std::move(start.whole);
  } else {
    TableInBlock plain = ExpandStoredTable(stored);
    if (plain.fault != Fault::None) return Fault::BadData;
    expansion->whole = std::move(plain.made);
  }
  if (!expansion->whole.empty()) expansion->size = std::int64_t(expansion->whole.get().size());
  if (!HoldBytes(budget, expansion->size) || !TakeWork(budget, expansion->size)) return Fault::TooMuchWork;
  return Fault::None;
}

// Unscrambles the body in place and expands it when it is compressed.
// Only the body is scrambled, in whole 8-byte words.
Fault UndoBodyCodings(PrepareBudget *budget, StoredTable *stored, bool nested, Expansion *expansion) {
  const std::uint32_t flags = stored->header().flags;
  if ((flags & FlagScrambled) != 0) {
    if (stored->header().totalSize % 8 != 0) return Fault::BadArgument;
    if (!TakeWork(budget, stored->header().totalSize)) return Fault::TooMuchWork;
    const Fault fault = UnscrambleStored(stored);
    if (fault != Fault::None) return fault;
  }
  if ((flags & FlagCompressed) == 0) return Fault::None;
  return Expand(budget, *stored, nested, expansion);
}

// Restores the deltas of the plain object, whose layout the frame holds
// when `laidOut`, and reads the shape of its entries into the frame. A
// table expanded as it is written is only checked now: its deltas are
// restored once it is in place.
Fault PrepareEntries(Preparation *preparation, const TableHeader &stored, bool laidOut, bool writtenLater,
                     WalkFrame *frame) {
  std::int64_t deltaBytes = 0;
  if (!laidOut || !EntriesFit(frame->layout, &deltaBytes)) return Fault::BadData;
  if ((stored.flags & FlagDeltaCoded) != 0) {
    if (frame->layout.flags() != FlagDeltaCoded) return Fault::BadArgument;
    if (!TakeWork(&preparation->budget, deltaBytes)) return Fault::TooMuchWork;
    const Fault fault = writtenLater ? (DeltaCodedEntriesValid(frame->layout) ? Fault::None : Fault::BadData)
                                     : RestoreLayoutDeltas(frame->object, frame->layout);
    if (fault != Fault::None) return fault;
  }
  std::uint8_t shape = 0;
  const Fault fault = ShapeOfEntries(frame->layout, &preparation->ranges, &preparation->budget, &shape);
  frame->shape = (shape & OverlappingEntries) != 0 ? shape : std::uint8_t(shape | FinishedClean);
  return fault;
}

// A table that moved comes back in its own block when that block holds it
// as it stands; otherwise it is written once into a block of its size.
Fault HandBack(Preparation *preparation, std::int32_t root, OwnedBlock *result) {
  MovedTable &table = preparation->moved[root];
  if (table.replacementCount == 0 && !table.ownBlock.empty()) {
    *result = std::move(table.ownBlock);
    return Fault::None;
  }
  OwnedBlock written = TakeBlockToOverwrite(&preparation->budget, table.size);
  if (written.empty()) return Fault::NoMemory;
  if (!WriteMovedTable(preparation, root, written.get(), true)) return Fault::BadData;
  *result = std::move(written);
  return Fault::None;
}

}  // namespace

bool EntriesFit(const TableLayout &layout, std::int64_t *deltaBytes) {
  std::int64_t arrays = 0;
  for (std::int32_t i = 0; i < layout.descriptorCount(); ++i) {
    const TableEntry entry = ReadEntry(layout, i);
    if (!EntryFits(layout, entry)) return false;
    arrays += entry.length;
  }
  if (deltaBytes != nullptr) *deltaBytes = arrays;
  return true;
}

// The codings are undone in the reverse of the order they were applied:
// scrambling, then compression, then delta coding. The flags tested are
// those of the header as stored; each step clears its own. An expanded
// object lies in a block of its own, with a header of its own, and is a
// moved table from the start; so is a nested one expanded only as its
// parent is written, whose descriptors are checked from its head.
Fault OpenTable(Preparation *preparation, Block area, std::int64_t block, std::int64_t offset, bool watched,
                WalkFrame *frame, bool *walk) {
  TableHeader header{};
  *walk = false;
  if (area.empty()) return Fault::BadArgument;
  if (!ReadTableHeader(area, &header)) return Fault::BadData;
  if (header.totalSize == InvalidObjectSize) return Fault::BadArgument;
  const std::int64_t changesAtOpen = preparation->changes;
  if ((header.flags & (FlagScrambled | FlagCompressed | FlagDeltaCoded)) != 0) ++preparation->changes;
  if (HeaderOnly(header)) return PrepareHeaderOnly(area, header);
  StoredTable stored{};
  if (!CheckStoredTable(area, header, &stored)) return Fault::BadArgument;
  Expansion expansion;
  const Fault fault = UndoBodyCodings(&preparation->budget, &stored, frame->entryIndex >= 0, &expansion);
  if (fault != Fault::None) return fault;

  const bool writtenLater = !expansion.head.empty();
  const bool expanded = writtenLater || !expansion.whole.empty();
  bool laidOut = false;
  if (writtenLater) {
    const Block head = expansion.head.get();
    *frame = WalkFrame{head, {}, preparation->blocksNumbered++, 0, changesAtOpen, -1, 0, frame->entryIndex, 0};
    laidOut = ReadHeadLayout(head, &frame->layout);
    frame->moved = NewExpandedAsWritten(preparation, stored.object(), frame->layout, std::move(expansion.head));
    if (frame->moved < 0) return Fault::NoMemory;
  } else if (expanded) {
    const Block object = expansion.whole.get();
    *frame = WalkFrame{object, {}, preparation->blocksNumbered++, 0, changesAtOpen, -1, 0, frame->entryIndex, 0};
    laidOut = ReadTableLayout(object, &frame->layout);
    frame->moved = NewMovedTable(preparation, object, frame->layout, std::move(expansion.whole));
    if (frame->moved < 0) return Fault::NoMemory;
  } else {
    *frame = WalkFrame{stored.object(), {}, block, offset, changesAtOpen, -1, 0, frame->entryIndex, 0};
    laidOut = ReadTableLayout(stored.object(), stored.header(), &frame->layout);
  }
  *walk = true;
  const Fault entries = PrepareEntries(preparation, header, laidOut, writtenLater, frame);
  if (watched && !expanded) frame->shape |= WatchedRange;
  return entries;
}

Preparation::Preparation(std::int64_t recordSize) {
  budget.workLeft = WorkAllowance + WorkPerRecordByte * recordSize;
}

TableInBlock PrepareTableObject(Block object) {
  Preparation preparation(std::int64_t(object.size()));
  WalkFrame root{};
  root.entryIndex = -1;
  bool walk = false;
  Fault fault = OpenTable(&preparation, object, 0, 0, false, &root, &walk);
  std::int32_t rootMoved = -1;
  if (fault == Fault::None && walk) fault = WalkNestedTables(&preparation, root, &rootMoved);
  if (fault != Fault::None) return {fault, {}, {}};
  if (rootMoved < 0) return {Fault::None, object, {}};
  OwnedBlock moved;
  fault = HandBack(&preparation, rootMoved, &moved);
  if (fault != Fault::None) return {fault, {}, {}};
  const Block prepared = moved.get();
  return {Fault::None, prepared, std::move(moved)};
}

}  // namespace dinfo
