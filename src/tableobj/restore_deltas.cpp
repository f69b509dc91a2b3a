#include "tableobj/table_entry.h"

namespace dinfo {
namespace {

std::uint16_t ReadTableHalf(const std::uint8_t *at, ByteOrder order) {
  return order == ByteOrder::Native ? ReadU16LittleEndian(at) : ReadU16BigEndian(at);
}
void WriteTableHalf(std::uint8_t *at, std::uint16_t value, ByteOrder order) {
  if (order == ByteOrder::Native) {
    WriteU16LittleEndian(at, value);
  } else {
    WriteU16BigEndian(at, value);
  }
}

// Element k becomes element k plus element k - 1, wrapping at the width;
// the values are read and written in the object's byte order.
void RunningSum(std::uint8_t *data, std::int64_t count, std::int32_t width, ByteOrder order) {
  for (std::int64_t k = 1; k < count; ++k) {
    std::uint8_t *element = data + k * width;
    if (width == 1) {
      element[0] = static_cast<std::uint8_t>(element[0] + element[-1]);
    } else if (width == 2) {
      WriteTableHalf(element, static_cast<std::uint16_t>(ReadTableHalf(element, order) +
                                                         ReadTableHalf(element - 2, order)),
                     order);
    } else {
      WriteTableWord(element, ReadTableWord(element, order) + ReadTableWord(element - 4, order),
                     order);
    }
  }
}

}  // namespace

// Only typed arrays of 1, 2 or 4 bytes and raw runs are delta-coded; any
// other element size cannot be, so an object that claims it is refused.
std::int32_t RestoreDeltas(Block object) {
  if (object.empty()) return StatusBadArgument;
  TableHeader header{};
  if (!ReadTableHeader(object, &header)) return StatusBadData;
  if (header.totalSize == -1 || header.flags != FlagDeltaCoded || header.descriptorCount < 0) {
    return StatusBadArgument;
  }
  TableLayout layout{};
  if (!ReadTableLayout(object, &layout)) return StatusBadData;
  for (std::int32_t i = 0; i < layout.descriptorCount; ++i) {
    const TableEntry entry = ReadEntry(object, layout, i);
    if (entry.kind == EntryKind::NestedTable || entry.kind == EntryKind::Inline) continue;
    if (entry.kind == EntryKind::Invalid) return StatusBadData;
    if (entry.elementSize != 1 && entry.elementSize != 2 && entry.elementSize != 4) return StatusBadData;
    if (!EntryFits(layout, entry)) return StatusBadData;
    RunningSum(object.data() + entry.location, entry.length / entry.elementSize, entry.elementSize,
               layout.order);
  }
  WriteTableWord(object.data() + 12, 0, layout.order);
  return 0;
}

}  // namespace dinfo
