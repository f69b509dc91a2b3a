// Expansion of a compressed table object into a new block: the LZW
// expansion of its body, whose room in front takes the header. The header
// stays as stored (byte order, magic, descriptorCount, other flags) except
// for totalSize, which becomes 16 + the expanded length, and FlagCompressed.
#include <utility>

#include "lzw/lzw.h"
#include "tableobj/table_object.h"

namespace dinfo {
namespace {

static_assert(OutputHeaderRoom == TableHeaderSize);

// The expanded body must be whole descriptors' worth of 8-byte units and
// must hold the descriptor table the header announces, or later steps
// would read past the block.
bool ExpansionFits(std::int64_t expandedLength, const TableHeader &header) {
  return expandedLength >= 0 && expandedLength % DescriptorSize == 0 &&
         std::int64_t{DescriptorSize} * header.descriptorCount <= expandedLength;
}

}  // namespace

TableInBlock DecompressTableObject(Block object) {
  TableHeader header{};
  if (!ReadTableHeader(object, &header)) return {Fault::BadData, {}, {}};
  const std::int32_t totalSize = header.totalSize;
  if (totalSize == -1 || totalSize % 8 != 0 || totalSize < TableHeaderSize) return {Fault::BadData, {}, {}};
  if ((header.flags & FlagCompressed) == 0) return {Fault::None, object, {}};
  // The stored body must lie inside the block it came in.
  StoredTable stored;
  if (!CheckStoredTable(object, header, &stored)) return {Fault::BadData, {}, {}};
  return ExpandStoredTable(stored);
}

TableInBlock ExpandStoredTable(const StoredTable &stored) {
  const TableHeader &header = stored.header();
  if (header.totalSize % 8 != 0 || (header.flags & FlagCompressed) == 0) return {Fault::BadData, {}, {}};
  LzwExpansion expansion =
      ExpandLzw(stored.object().data() + TableHeaderSize, header.totalSize - TableHeaderSize);
  if (expansion.fault != Fault::None) return {expansion.fault, {}, {}};
  const Block expanded = expansion.output.get();
  const auto objectSize = static_cast<std::int64_t>(expanded.size());
  if (!ExpansionFits(objectSize - TableHeaderSize, header)) return {Fault::BadData, {}, {}};
  std::uint8_t *const at = expanded.data();
  WriteTableWord(at, TableObjectMagic, header.order);
  WriteTableWord(at + 4, static_cast<std::uint32_t>(objectSize), header.order);
  WriteTableWord(at + 8, static_cast<std::uint32_t>(header.descriptorCount), header.order);
  WriteTableWord(at + 12, header.flags & ~FlagCompressed, header.order);
  return {Fault::None, expanded, std::move(expansion.output)};
}

}  // namespace dinfo
