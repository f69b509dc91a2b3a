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

const std::uint8_t *FirstMatchingPayload(const ConditionVector *conditions,
                                         const KeyedHeader &header) {
  const RowLayout layout = LayoutOf(header);
  for (std::int32_t r = 0; r < header.rowCount; ++r) {
    const std::uint8_t *row = header.rows.data() + std::size_t(r) * std::size_t(layout.rowStride);
    if (RowMatches(conditions, header, row)) return row + 4 * header.keyCount;
  }
  return nullptr;
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
