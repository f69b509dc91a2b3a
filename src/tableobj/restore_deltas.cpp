#include "tableobj/preparation.h"

namespace dinfo {
namespace {

// Element k becomes element k plus element k - 1, wrapping at the width.
// The running sum stays in a register; elements are read and written in
// the order the table names, chosen once per array.
template <typename Unit, Unit (*Read)(const std::uint8_t *), void (*Write)(std::uint8_t *, Unit)>
void RunningSumOf(std::uint8_t *data, std::int64_t count) {
  Unit sum = Read(data);
  for (std::int64_t k = 1; k < count; ++k) {
    std::uint8_t *element = data + k * std::int64_t{sizeof(Unit)};
    sum = static_cast<Unit>(sum + Read(element));
    Write(element, sum);
  }
}

std::uint8_t ReadByte(const std::uint8_t *at) { return *at; }
void WriteByte(std::uint8_t *at, std::uint8_t value) { *at = value; }

void RunningSum(std::uint8_t *data, std::int64_t count, std::int32_t width, ByteOrder order) {
  if (count < 2) return;
  const bool native = order == ByteOrder::Native;
  if (width == 1) {
    RunningSumOf<std::uint8_t, ReadByte, WriteByte>(data, count);
  } else if (width == 2 && native) {
    RunningSumOf<std::uint16_t, ReadU16LittleEndian, WriteU16LittleEndian>(data, count);
  } else if (width == 2) {
    RunningSumOf<std::uint16_t, ReadU16BigEndian, WriteU16BigEndian>(data, count);
  } else if (native) {
    RunningSumOf<std::uint32_t, ReadU32LittleEndian, WriteU32LittleEndian>(data, count);
  } else {
    RunningSumOf<std::uint32_t, ReadU32BigEndian, WriteU32BigEndian>(data, count);
  }
}

// On its own, restoration reads only arrays and runs; nested tables are
// left to their own preparation, which checks them.
bool ArraysFit(ConstBlock object, const TableLayout &layout) {
  for (std::int32_t i = 0; i < layout.descriptorCount; ++i) {
    const TableEntry entry = ReadEntry(object, layout, i);
    const bool skipped = entry.kind == EntryKind::NestedTable || entry.kind == EntryKind::Inline;
    if (!skipped && !EntryFits(layout, entry)) return false;
  }
  return true;
}

}  // namespace

// Only typed arrays of 1, 2 or 4 bytes and raw runs are delta-coded; any
// other element size cannot be, so an object that claims it is refused.
Fault RestoreLayoutDeltas(Block object, const TableLayout &layout) {
  for (std::int32_t i = 0; i < layout.descriptorCount; ++i) {
    const TableEntry entry = ReadEntry(object, layout, i);
    if (entry.kind == EntryKind::NestedTable || entry.kind == EntryKind::Inline) continue;
    if (entry.elementSize != 1 && entry.elementSize != 2 && entry.elementSize != 4) return Fault::BadData;
    // Fewer than two elements stay as they are; an empty one may point anywhere.
    if (entry.length < 2 * entry.elementSize) continue;
    RunningSum(object.data() + entry.location, entry.length / entry.elementSize, entry.elementSize,
               layout.order);
  }
  WriteTableWord(object.data() + 12, 0, layout.order);
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
  if (!ReadTableLayout(object, &layout) || !ArraysFit(object, layout)) return Fault::BadData;
  return RestoreLayoutDeltas(object, layout);
}

}  // namespace dinfo
