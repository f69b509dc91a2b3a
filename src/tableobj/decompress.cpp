// Expansion of a compressed table object into a new block: the LZW
// expansion of its body, whose room in front takes the header. The header
// stays as stored (byte order, magic, descriptorCount, other flags) except
// for totalSize, which becomes 16 + the expanded length, and FlagCompressed.
#include <utility>

#include "lzw/lzw.h"
#include "tableobj/table_entry.h"

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

const std::uint8_t *BodyOf(const StoredTable &stored) { return stored.object().data() + TableHeaderSize; }

// The header of an expanded object: as stored but for its size and
// FlagCompressed.
void WriteExpandedHeader(std::uint8_t *at, std::int64_t objectSize, const TableHeader &header) {
  WriteTableWord(at, TableObjectMagic, header.order);
  WriteTableWord(at + 4, static_cast<std::uint32_t>(objectSize), header.order);
  WriteTableWord(at + 8, static_cast<std::uint32_t>(header.descriptorCount), header.order);
  WriteTableWord(at + 12, header.flags & ~FlagCompressed, header.order);
}

// The start of an expansion first goes into HeadRoom bytes (or room for
// all the descriptors, up to MaxHeadRoom); an expansion whose start shrank
// at least WrittenLaterFromRatio times is measured and written later.
constexpr std::int64_t HeadRoom = 4 * 1024;
constexpr std::int64_t MaxHeadRoom = 1024 * 1024;
constexpr std::int64_t WrittenLaterFromRatio = 8;

// Whether the descriptors at the start of an expansion name nested
// tables, whose preparation could change the expanded table's size.
bool HoldsNestedTables(Block head, const TableHeader &header) {
  WriteExpandedHeader(head.data(), std::int64_t(head.size()), header);
  TableLayout layout{};
  if (!ReadHeadLayout(head, &layout)) return true;
  for (std::int32_t i = 0; i < layout.descriptorCount(); ++i) {
    if (ReadEntry(layout, i).kind == EntryKind::NestedTable) return true;
  }
  return false;
}

// An expansion that fitted its head room comes back in a block of about
// its own size, as ExpandLzw's does.
ExpansionStart WholeExpansion(OwnedBlock head, std::int64_t length, const TableHeader &header) {
  if (!ExpansionFits(length, header)) return {Fault::BadData, {}, {}, 0};
  const std::int64_t size = TableHeaderSize + length;
  if (std::int64_t(head.get().size()) - size > size / 8) {
    OwnedBlock exact = AllocateBlockToOverwrite(size);
    if (exact.empty()) return {Fault::NoMemory, {}, {}, 0};
    CopyBytes(head.get().data(), exact.get().data(), static_cast<std::int32_t>(size));
    head = std::move(exact);
  }
  head.KeepFirst(std::size_t(size));
  WriteExpandedHeader(head.get().data(), size, header);
  return {Fault::None, std::move(head), {}, size};
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
  LzwExpansion expansion = ExpandLzw(BodyOf(stored), header.totalSize - TableHeaderSize);
  if (expansion.fault != Fault::None) return {expansion.fault, {}, {}};
  const Block expanded = expansion.output.get();
  const auto objectSize = static_cast<std::int64_t>(expanded.size());
  if (!ExpansionFits(objectSize - TableHeaderSize, header)) return {Fault::BadData, {}, {}};
  WriteExpandedHeader(expanded.data(), objectSize, header);
  return {Fault::None, expanded, std::move(expansion.output)};
}

ExpansionStart StartExpansion(const StoredTable &stored) {
  const TableHeader &header = stored.header();
  if (header.totalSize % 8 != 0 || (header.flags & FlagCompressed) == 0) return {Fault::BadData, {}, {}, 0};
  const std::int64_t descriptors = std::int64_t{DescriptorSize} * header.descriptorCount;
  if (descriptors > MaxHeadRoom) return {};
  const std::int64_t room = descriptors > HeadRoom ? descriptors : HeadRoom;
  OwnedBlock head = AllocateBlockToOverwrite(TableHeaderSize + room);
  if (head.empty()) return {Fault::NoMemory, {}, {}, 0};
  const std::int32_t bodyLength = header.totalSize - TableHeaderSize;
  const LzwIntoOutput start = ExpandLzwInto(BodyOf(stored), bodyLength, head.get().subspan(TableHeaderSize));
  if (start.fault == Fault::None) return WholeExpansion(std::move(head), start.written, header);
  if (start.fault != Fault::OutputTooLarge || start.written != room) return {start.fault, {}, {}, 0};
  // The rest is measured only where its start shrank well: elsewhere
  // measuring costs about as much as decoding.
  if (room < WrittenLaterFromRatio * start.consumed || HoldsNestedTables(head.get(), header)) return {};
  const std::int64_t length = MeasureLzwExpansion(BodyOf(stored), bodyLength);
  if (length < 0) return {};
  if (!ExpansionFits(length, header)) return {Fault::BadData, {}, {}, 0};
  head.KeepFirst(std::size_t(TableHeaderSize + descriptors));
  WriteExpandedHeader(head.get().data(), TableHeaderSize + length, header);
  return {Fault::None, {}, std::move(head), TableHeaderSize + length};
}

bool FinishExpansion(ConstBlock stored, ConstBlock head, Block out) {
  if (stored.size() < std::size_t(TableHeaderSize) || head.size() < std::size_t(TableHeaderSize) ||
      out.size() < std::size_t(TableHeaderSize)) {
    return false;
  }
  const auto bodyLength = static_cast<std::int32_t>(stored.size() - TableHeaderSize);
  const LzwIntoOutput body = ExpandLzwInto(stored.data() + TableHeaderSize, bodyLength, out.subspan(TableHeaderSize));
  if (body.fault != Fault::None || body.written != std::int64_t(out.size()) - TableHeaderSize) return false;
  CopyBytes(head.data(), out.data(), TableHeaderSize);
  return true;
}

}  // namespace dinfo
