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

// Unscrambles the body in place and expands it into `expanded` when it is
// compressed. Only the body is scrambled, in whole 8-byte words.
Fault UndoBodyCodings(const StoredTable &stored, PrepareBudget *budget, OwnedBlock *expanded) {
  const std::uint32_t flags = stored.header.flags;
  if ((flags & FlagScrambled) != 0) {
    if (stored.header.totalSize % 8 != 0) return Fault::BadArgument;
    const Fault fault = UnscrambleStored(stored);
    if (fault != Fault::None) return fault;
  }
  if ((flags & FlagCompressed) == 0) return Fault::None;
  *expanded = OwnedBlock(DecompressTableObject(stored.object));
  if (expanded->empty()) return Fault::BadData;
  const auto size = std::int64_t(expanded->get().size());
  if (!TakeMadeBytes(budget, size)) return Fault::TooMuchWork;
  budget->descriptorVisitsLeft += size;
  return Fault::None;
}

}  // namespace

bool EntriesFit(ConstBlock object, const TableLayout &layout) {
  for (std::int32_t i = 0; i < layout.descriptorCount; ++i) {
    if (!EntryFits(layout, ReadEntry(object, layout, i))) return false;
  }
  return true;
}

bool CheckStoredTable(Block given, const TableHeader &header, StoredTable *stored) {
  if (header.totalSize < TableHeaderSize || std::uint64_t(header.totalSize) > given.size()) return false;
  *stored = {given.first(std::size_t(header.totalSize)), header};
  return true;
}

// The codings are undone in the reverse of the order they were applied:
// scrambling, then compression, then delta coding. The flags tested are
// those of the header as stored; each step clears its own.
Fault PrepareAtDepth(Block given, std::int32_t depth, PrepareBudget *budget, OwnedBlock *moved) {
  TableHeader header{};
  if (given.empty()) return Fault::BadArgument;
  if (!ReadTableHeader(given, &header)) return Fault::BadData;
  if (header.totalSize == InvalidObjectSize) return Fault::BadArgument;
  if (HeaderOnly(header)) return PrepareHeaderOnly(given, header);
  StoredTable stored{};
  if (!CheckStoredTable(given, header, &stored)) return Fault::BadArgument;
  OwnedBlock expanded;
  Fault fault = UndoBodyCodings(stored, budget, &expanded);
  if (fault != Fault::None) return fault;

  const Block current = expanded.empty() ? stored.object : expanded.get();
  TableLayout layout{};
  if (!ReadTableLayout(current, &layout) || !EntriesFit(current, layout)) return Fault::BadData;
  if ((header.flags & FlagDeltaCoded) != 0) {
    if (layout.flags != FlagDeltaCoded) return Fault::BadArgument;
    fault = RestoreLayoutDeltas(current, layout);
    if (fault != Fault::None) return fault;
  }
  OwnedBlock rebuilt;
  fault = PrepareNestedTables(current, layout, depth, budget, &rebuilt);
  if (fault != Fault::None) return fault;
  *moved = rebuilt.empty() ? std::move(expanded) : std::move(rebuilt);
  return Fault::None;
}

Fault PrepareTableObject(Block object, OwnedBlock *moved) {
  const auto size = std::int64_t(object.size());
  PrepareBudget budget{MinDescriptorVisits + size, MaxBytesMade};
  return PrepareAtDepth(object, 0, &budget, moved);
}

}  // namespace dinfo
