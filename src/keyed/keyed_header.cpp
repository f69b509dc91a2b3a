#include "common/bytes.h"
#include "keyed/keyed_block.h"

namespace dinfo {
namespace {

// The width of a value that valuesPerRow multiplies; a named entry's row
// has a layout of its own, so it has none.
std::int32_t ValueSize(std::int16_t valueType) {
  return valueType == ValueTypeNamedEntry ? 0 : ValueWidth(valueType);
}

bool KeyIndexesInRange(const KeyedFields &header) {
  for (std::int32_t j = 0; j < header.keyCount && j < MaxKeyCount; ++j) {
    if (header.keyIndex[j] < 0 || header.keyIndex[j] >= ConditionVectorSize) return false;
  }
  return true;
}

}  // namespace

KeyedFields ParseKeyedFields(ConstBlock block) {
  KeyedFields fields{};
  KeyedFields *const header = &fields;
  const std::uint8_t *bytes = block.data();
  header->kind = ReadI16LittleEndian(bytes + 0);
  header->disabledFlag = ReadI16LittleEndian(bytes + 2);
  header->keyCount = ReadI16LittleEndian(bytes + 4);
  header->valuesPerRow = ReadI16LittleEndian(bytes + 6);
  header->valueType = ReadI16LittleEndian(bytes + 8);
  header->rowCount = ReadI16LittleEndian(bytes + 10);
  header->reserved = ReadI16LittleEndian(bytes + 12);
  header->byteCount = 0;
  for (std::int32_t j = 0; j < MaxKeyCount; ++j) {
    header->keyIndex[j] = header->kind == SingleBlock ? 0 : ReadI32LittleEndian(bytes + 16 + 4 * j);
  }
  if (header->kind == SingleBlock) header->byteCount = ReadI32LittleEndian(bytes + 16);
  // Rows lie between the header and the trailer; a block of 80 bytes has none.
  const std::size_t rowsEnd = block.size() - KeyedTrailerSize;
  header->rows = block.subspan(KeyedHeaderSize, rowsEnd > KeyedHeaderSize ? rowsEnd - KeyedHeaderSize : 0);
  return fields;
}

// Widths stay in int32: valuesPerRow is at most 32767 and a value at most
// 256 bytes, so valueBytes stays below 2^23 and a row below 2^24.
RowLayout LayoutOf(const KeyedFields &header) {
  RowLayout layout{};
  if (header.valueType == ValueTypeNamedEntry) {
    layout.valueBytes = NamedEntrySize;
    layout.payloadStride = NamedEntrySize;
  } else {
    const std::int32_t perRow = header.valuesPerRow < 0 ? 0 : header.valuesPerRow;
    layout.valueBytes = perRow * ValueSize(header.valueType);
    layout.payloadStride = (layout.valueBytes + 3) / 4 * 4;
  }
  const std::int32_t keys = header.keyCount < 0 ? 0 : header.keyCount;
  layout.rowStride = keys * 4 + layout.payloadStride;
  return layout;
}

std::uint32_t FindKeyedHeaderFlaws(const KeyedFields &header) {
  const std::int64_t room = static_cast<std::int64_t>(header.rows.size());
  if (header.kind == SingleBlock) return header.byteCount > room ? PayloadPastBlock : 0u;
  std::uint32_t flaws = 0;
  if (header.keyCount < 0 || header.keyCount > MaxKeyCount) flaws |= KeyCountOutOfRange;
  // The width of a row hangs on valuesPerRow only for the sized value types.
  if (ValueSize(header.valueType) > 0 && header.valuesPerRow < 0) flaws |= ValuesPerRowNegative;
  if (!KeyIndexesInRange(header)) flaws |= KeyIndexOutOfRange;
  if (flaws == 0) {
    const RowLayout layout = LayoutOf(header);
    if (header.rowCount > 0 && std::int64_t{header.rowCount} * layout.rowStride > room) {
      flaws |= RowsPastBlock;
    }
  }
  if (header.kind == ChainBlock && (header.valueType != ValueTypeInt32 || header.valuesPerRow < 1)) {
    flaws |= ChainWithoutIds;
  }
  return flaws;
}

bool CheckKeyedBlock(ConstBlock block, bool withConditions, KeyedHeader *header) {
  const KeyedFields fields = ParseKeyedFields(block);
  const std::uint32_t ignored = withConditions ? 0u : std::uint32_t{ChainWithoutIds};
  if ((FindKeyedHeaderFlaws(fields) & ~ignored) != 0) return false;
  *header = KeyedHeader(fields, LayoutOf(fields));
  return true;
}

}  // namespace dinfo
