#include "common/bytes.h"
#include "keyed/keyed_block.h"

namespace dinfo {
namespace {

// Without a condition vector only wildcard keys match.
bool RowMatches(const ConditionVector *conditions, const KeyedFields &fields,
                const std::uint8_t *row) {
  for (std::int32_t j = 0; j < fields.keyCount; ++j) {
    const std::int32_t key = ReadI32LittleEndian(row + 4 * j);
    if (key == KeyWildcard) continue;
    if (conditions == nullptr || key != conditions->entries[fields.keyIndex[j]]) return false;
  }
  return true;
}

}  // namespace

std::int32_t FirstMatchingRow(const ConditionVector *conditions, const KeyedHeader &header) {
  for (std::int32_t r = 0; r < header.fields().rowCount; ++r) {
    if (RowMatches(conditions, header.fields(), header.Row(r))) return r;
  }
  return -1;
}

ConditionMiss FindConditionMiss(const ConditionVector *conditions, const KeyedHeader &header) {
  const KeyedFields &fields = header.fields();
  for (std::int32_t j = 0; j < fields.keyCount; ++j) {
    const std::int32_t index = fields.keyIndex[j];
    const std::int32_t value = conditions != nullptr ? conditions->entries[index] : NoCondition;
    bool accepted = false;
    for (std::int32_t r = 0; r < fields.rowCount && !accepted; ++r) {
      const std::int32_t key = ReadI32LittleEndian(header.Row(r) + 4 * j);
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

// The header has been checked against its block, so every row lies inside
// it; only the output's room is tested here.
Fault SelectRows(const ConditionVector *conditions, const KeyedHeader &header,
                 std::int16_t *count, Block output, std::size_t *written) {
  const KeyedFields &fields = header.fields();
  const std::int32_t valueBytes = header.layout().valueBytes;
  std::int16_t taken = 0;
  std::size_t stored = 0;
  for (std::int32_t r = 0; r < fields.rowCount; ++r) {
    if (!RowMatches(conditions, fields, header.Row(r))) continue;
    if (std::size_t(valueBytes) > output.size() - stored) return Fault::RecordDamaged;
    StoreRowValues(header.PayloadOfRow(r), output.data() + stored, valueBytes);
    stored += std::size_t(valueBytes);
    ++taken;
    if (fields.kind == ChainBlock || fields.kind == FirstMatchBlock) break;
  }
  *count = taken;
  if (written != nullptr) *written = stored;
  return Fault::None;
}

}  // namespace dinfo
