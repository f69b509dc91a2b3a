#include "common/bytes.h"
#include "keyed/keyed_block.h"

namespace dinfo {
namespace {

// Without a condition vector only wildcard keys match.
bool RowMatches(const ConditionVector *conditions, const KeyedHeader &header,
                const std::uint8_t *row) {
  for (std::int32_t j = 0; j < header.keyCount; ++j) {
    const std::int32_t key = ReadI32LittleEndian(row + 4 * j);
    if (key == KeyWildcard) continue;
    if (conditions == nullptr || key != conditions->entries[header.keyIndex[j]]) return false;
  }
  return true;
}

}  // namespace

std::int32_t FirstMatchingRow(const ConditionVector *conditions, const KeyedHeader &header) {
  const RowLayout layout = LayoutOf(header);
  for (std::int32_t r = 0; r < header.rowCount; ++r) {
    const std::uint8_t *row = header.rows.data() + std::size_t(r) * std::size_t(layout.rowStride);
    if (RowMatches(conditions, header, row)) return r;
  }
  return -1;
}

const std::uint8_t *PayloadOfRow(const KeyedHeader &header, std::int32_t row) {
  const RowLayout layout = LayoutOf(header);
  return header.rows.data() + std::size_t(row) * std::size_t(layout.rowStride) + 4 * header.keyCount;
}

ConditionMiss FindConditionMiss(const ConditionVector *conditions, const KeyedHeader &header) {
  const RowLayout layout = LayoutOf(header);
  for (std::int32_t j = 0; j < header.keyCount; ++j) {
    const std::int32_t index = header.keyIndex[j];
    const std::int32_t value = conditions != nullptr ? conditions->entries[index] : NoCondition;
    bool accepted = false;
    for (std::int32_t r = 0; r < header.rowCount && !accepted; ++r) {
      const std::uint8_t *row = header.rows.data() + std::size_t(r) * std::size_t(layout.rowStride);
      const std::int32_t key = ReadI32LittleEndian(row + 4 * j);
      accepted = key == KeyWildcard || (conditions != nullptr && key == value);
    }
    if (!accepted) return {index, value};
  }
  return {-1, 0};
}

void StoreRowValues(const std::uint8_t *payload, std::uint8_t *destination, std::int32_t length) {
  if (length <= 0) return;
  CopyBytes(payload, destination, length);
}

// The header has been checked against its block (KeyedBlockIsSound), so
// every row lies inside it; only the output's room is tested here.
Fault SelectRows(const ConditionVector *conditions, const KeyedHeader &header,
                 std::int16_t *count, Block output, std::size_t *written) {
  const RowLayout layout = LayoutOf(header);
  std::int16_t taken = 0;
  std::size_t stored = 0;
  for (std::int32_t r = 0; r < header.rowCount; ++r) {
    const std::uint8_t *row = header.rows.data() + std::size_t(r) * std::size_t(layout.rowStride);
    if (!RowMatches(conditions, header, row)) continue;
    if (std::size_t(layout.valueBytes) > output.size() - stored) return Fault::RecordDamaged;
    StoreRowValues(row + 4 * header.keyCount, output.data() + stored, layout.valueBytes);
    stored += std::size_t(layout.valueBytes);
    ++taken;
    if (header.kind == ChainBlock || header.kind == FirstMatchBlock) break;
  }
  *count = taken;
  if (written != nullptr) *written = stored;
  return Fault::None;
}

}  // namespace dinfo
