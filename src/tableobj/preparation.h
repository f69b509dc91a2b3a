// The steps of PrepareTableObject and the checked views they share. An
// object's header is checked once against its block (StoredTable); once
// its body is plain, its layout is read once (TableLayout) and every later
// step (delta restoration, the nested walk, the rebuild) works on that.
#ifndef DINFO_TABLEOBJ_PREPARATION_H
#define DINFO_TABLEOBJ_PREPARATION_H

#include <cstdint>

#include "tableobj/table_entry.h"

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

// A stored object whose header has been checked against the block it came
// in: its magic reads one way and 16 <= totalSize <= the block. `object`
// is its first totalSize bytes. The body may still be scrambled or
// compressed, so its descriptors are not looked at yet.
struct StoredTable {
  Block object;
  TableHeader header;
};

// False when the object at the start of `given` (with `header` read from
// it) does not pass the checks above.
bool CheckStoredTable(Block given, const TableHeader &header, StoredTable *stored);

// Whether every descriptor of an object whose layout has been read is
// valid and its entry fits the data area (EntryFits). Checked once, before
// any step reads an entry.
bool EntriesFit(ConstBlock object, const TableLayout &layout);

// Unscrambles the body of a checked object whose totalSize is a multiple
// of 8 and clears FlagScrambled; ScrambleRefused leaves the flag set.
Fault UnscrambleStored(const StoredTable &stored);

// Restores the deltas of an object whose layout and entries have been
// checked and whose flags are FlagDeltaCoded alone, then clears the flags.
Fault RestoreLayoutDeltas(Block object, const TableLayout &layout);

// The parent `parent` (with its checked layout and entries) rebuilt around `count`
// replacements by strictly increasing entryIndex, each naming a nested
// table of the parent. Empty on failure.
OwnedBlock RebuildParent(ConstBlock parent, const TableLayout &layout,
                         const NestedReplacement *replacements, std::int32_t count);

// Prepares the object at the start of `given` (a block that may be longer
// than the object) at nesting depth `depth`. On success the prepared
// object is `given` when all was done in place, or lies in the new block
// left in `moved`.
Fault PrepareAtDepth(Block given, std::int32_t depth, PrepareBudget *budget, OwnedBlock *moved);

// Prepares every nested table of `current`, an object whose codings are
// undone and whose layout and entries have been checked. When some came back in blocks of
// their own, the parent rebuilt around them is left in `rebuilt`.
Fault PrepareNestedTables(Block current, const TableLayout &layout, std::int32_t depth,
                          PrepareBudget *budget, OwnedBlock *rebuilt);

}  // namespace dinfo

#endif  // DINFO_TABLEOBJ_PREPARATION_H
