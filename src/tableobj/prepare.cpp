#include "tableobj/preparation.h"

namespace dinfo {
namespace {

// An object without descriptors reads nothing past its header, so a
// totalSize below 16 (but for -1) is taken as it stands when no step
// needs the size: the block comes back, delta coding merely clears flags.
bool HeaderOnly(const TableHeader &header) {
  return header.totalSize < TableHeaderSize && header.descriptorCount == 0 &&
         (header.flags & (FlagScrambled | FlagCompressed)) == 0;
}

Block PrepareHeaderOnly(Block given, const TableHeader &header) {
  if ((header.flags & FlagDeltaCoded) == 0) return given;
  if (header.flags != FlagDeltaCoded) return {};
  WriteTableWord(given.data() + 12, 0, header.order);
  return given;
}

}  // namespace

// The codings are undone in the reverse of the order they were applied:
// scrambling, then compression, then delta coding. The flags tested are
// those of the header as stored; each step clears its own.
Block PrepareAtDepth(Block given, std::int32_t depth, PrepareBudget *budget) {
  TableHeader header{};
  if (given.empty() || !ReadTableHeader(given, &header) || header.totalSize == -1) return {};
  if (HeaderOnly(header)) return PrepareHeaderOnly(given, header);
  if (header.totalSize < TableHeaderSize || std::uint64_t(header.totalSize) > given.size()) return {};
  Block object = given.first(std::size_t(header.totalSize));
  if ((header.flags & FlagScrambled) != 0 && UnscrambleTableObject(object) != 0) return {};

  Block current = object;
  if ((header.flags & FlagCompressed) != 0) {
    current = DecompressTableObject(object);
    if (current.empty()) return {};
    if (!TakeMadeBytes(budget, std::int64_t(current.size()))) {
      ReleaseBlock(current);
      return {};
    }
    budget->descriptorVisitsLeft += std::int64_t(current.size());
  }
  const bool owned = current.data() != object.data();
  if (((header.flags & FlagDeltaCoded) != 0 && RestoreDeltas(current) != 0) ||
      header.descriptorCount < 0) {
    if (owned) ReleaseBlock(current);
    return {};
  }
  const Block prepared = PrepareNestedTables(current, owned, depth, budget);
  return prepared.data() == object.data() ? given : prepared;
}

Block PrepareTableObject(Block object) {
  const auto size = std::int64_t(object.size());
  PrepareBudget budget{MinDescriptorVisits + size, MaxBytesMade};
  return PrepareAtDepth(object, 0, &budget);
}

}  // namespace dinfo
