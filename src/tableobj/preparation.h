// The steps of PrepareTableObject and the records they share. An
// object's header is checked once against its block (StoredTable); once
// its body is plain, its layout is read once (TableLayout) and every later
// step (delta restoration, the nested walk, the rebuild) works on that.
//
// The walk over nested tables keeps its own stack (WalkFrame) in a block,
// so nesting is bounded by the record alone, each level taking at least
// a header and a descriptor. A table that cannot stay in its parent's
// block (it was expanded, or a nested table of it moved) is described by
// a MovedTable: where its bytes are now and which of its nested tables
// are replaced by which moved tables. The rebuilt parents are written
// once, into the block handed back, when the walk is done.
#ifndef DINFO_TABLEOBJ_PREPARATION_H
#define DINFO_TABLEOBJ_PREPARATION_H

#include <cstdint>

#include "tableobj/entry_shape.h"
#include "tableobj/prepare_budget.h"
#include "tableobj/table_entry.h"
#include "tableobj/walked_tables.h"

namespace dinfo {

// Whether every descriptor of an object whose layout has been read is
// valid and its entry fits the data area (EntryFits). Checked once, before
// any step reads an entry. `deltaBytes`, when given, receives the bytes of
// the arrays and runs that delta restoration would walk.
bool EntriesFit(const TableLayout &layout, std::int64_t *deltaBytes = nullptr);

// Unscrambles the body of a checked object whose totalSize is a multiple
// of 8 and clears FlagScrambled; ScrambleRefused leaves the flag set.
Fault UnscrambleStored(StoredTable *stored);

// Whether every typed array and raw run has elements of 1, 2 or 4 bytes,
// as delta coding needs.
bool DeltaCodedEntriesValid(const TableLayout &layout);

// Restores the deltas of the object in `object`, whose flags are
// FlagDeltaCoded alone, as `layout` (read from it) describes, then clears
// the flags. Every entry is checked again as it is restored: BadData for
// one that does not fit or is not DeltaCodedEntriesValid.
Fault RestoreLayoutDeltas(Block object, const TableLayout &layout);

// A table that no longer lies where its parent holds it. `source` holds
// its bytes (its expansion, a block it was rebuilt into, or its place in
// its parent). With no replacements it is copied as it stands; otherwise
// it is laid out again with each replaced nested table's moved table in
// its place. `ownBlock`, when not empty, is the block the preparation made
// for it.
//
// A compressed table without nested tables may instead be expanded only
// as it is written, straight into its place (`expandedAsWritten`): then
// `source` is its stored object, `ownBlock` its header and descriptors
// (the layout's head) and `size` its expanded size, counted as held until
// it is written.
struct MovedTable {
  ConstBlock source;
  TableLayout layout;
  OwnedBlock ownBlock;
  std::int64_t firstReplacement;  // in Preparation::replacements
  std::int32_t replacementCount;
  std::int32_t replacementRoom;
  std::int64_t size;  // once laid out again
  bool expandedAsWritten;
};

struct Replacement {
  std::int32_t entryIndex;
  std::int32_t table;  // in Preparation::moved
};

// One table being walked. `block` numbers the block it lies in and
// `offset` is its place there. `moved` is its MovedTable once it has one
// (-1 before). `entryIndex` is its descriptor in the frame below.
// `changesAtOpen` is Preparation::changes before it was opened.
struct WalkFrame {
  Block object;  // its first totalSize bytes
  TableLayout layout;
  std::int64_t block;
  std::int64_t offset;
  std::int64_t changesAtOpen;
  std::int32_t moved;
  std::int32_t next;  // the next descriptor to walk
  std::int32_t entryIndex;
  std::uint8_t shape;  // EntryShape bits, and FinishedClean below
};

// The walk so far has left the table finished (see WalkedTables).
constexpr std::uint8_t FinishedClean = 8;
// Entries other than the table itself read its bytes: it lies under a
// table whose entries overlap or share nested tables.
constexpr std::uint8_t WatchedRange = 16;

// One table being written by WriteMovedTable.
struct WriteStep {
  Block out;
  std::int64_t position;
  std::int32_t table;
  std::int32_t next;
  std::int32_t nextReplacement;
};

// Everything one preparation holds; released with it.
struct Preparation {
  explicit Preparation(std::int64_t recordSize);
  Preparation(const Preparation &) = delete;
  Preparation &operator=(const Preparation &) = delete;

  PrepareBudget budget;
  // Tables nested a few levels deep are walked without taking a block, as
  // all in-place work is done. The room is left as it is: a frame is
  // written whole when it is pushed, and only pushed frames are read.
  alignas(WalkFrame) unsigned char firstFrameRoom[8 * sizeof(WalkFrame)];
  GrowingArray<WalkFrame> frames{&budget, reinterpret_cast<WalkFrame *>(firstFrameRoom), 8};
  GrowingArray<MovedTable> moved{&budget};
  GrowingArray<Replacement> replacements{&budget};
  GrowingArray<WriteStep> writes{&budget};
  GrowingArray<EntryRange> ranges{&budget};
  WalkedTables walked{&budget};
  std::int64_t blocksNumbered = 1;  // the record is block 0
  // Tables opened with a coding to undo, that is, in-place writes so far;
  // the walked tables are forgotten only when it moved since last time.
  std::int64_t changes = 0;
  std::int64_t changesWhenForgotten = -1;
};

// A new MovedTable for the table whose bytes are `source`, owning
// `ownBlock` when that is not empty; its index, or -1 when no memory could
// be had (then `ownBlock` has been given back).
std::int32_t NewMovedTable(Preparation *preparation, ConstBlock source, const TableLayout &layout,
                           OwnedBlock ownBlock);

// A new MovedTable for a compressed table to be expanded as it is written
// (see MovedTable), whose stored object is `stored` and whose header and
// descriptors `head` holds; -1 without memory.
std::int32_t NewExpandedAsWritten(Preparation *preparation, ConstBlock stored, const TableLayout &layout,
                                  OwnedBlock head);

// Replaces the nested table of descriptor `entryIndex` of moved table
// `parent` by moved table `child`; descriptors are replaced in increasing
// order. Refused when the descriptor names no nested table of a size the
// rebuild can take.
Fault AddReplacement(Preparation *preparation, std::int32_t parent, std::int32_t entryIndex,
                     std::int32_t child);

// Whether a moved table can be laid out again: its size holds its header
// and descriptors and is a multiple of 8.
bool MovedTableSizeFits(const MovedTable &table);

// Writes moved table `table` into `out`, which must be its size exactly,
// every byte of it (the padding zeroed), so `out` need not be zero-filled.
// Every write is checked against the part of `out` it goes into; false
// when an entry does not fit the rebuilt layout. With `consume`, the
// blocks made for the tables written are released as each is done.
bool WriteMovedTable(Preparation *preparation, std::int32_t table, Block out, bool consume);

// Opens the stored object at the start of `area` for the walk: checks its
// header, unscrambles it, expands it, restores its deltas and reads the
// shape of its entries. `block` and `offset` say where `area` lies, and
// `watched` whether other entries read it (WatchedRange, which an
// expanded object leaves behind). An object that needs no walk (a header
// without descriptors) leaves `*walk` false.
Fault OpenTable(Preparation *preparation, Block area, std::int64_t block, std::int64_t offset, bool watched,
                WalkFrame *frame, bool *walk);

// Walks the nested tables under `root` (already open). On success the
// prepared object is in place, or `*rootMoved` names its MovedTable.
Fault WalkNestedTables(Preparation *preparation, const WalkFrame &root, std::int32_t *rootMoved);

}  // namespace dinfo

#endif  // DINFO_TABLEOBJ_PREPARATION_H
