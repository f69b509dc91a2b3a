#include "writer/writer.h"

namespace dinfo::writer {
namespace {

std::size_t ValueSize(std::int16_t valueType) {
  switch (valueType) {
    case 1: return 1;
    case 2: return 2;
    case 4: return 4;
    case 256: return 256;
    default: return 0;
  }
}

std::size_t PayloadStride(const KeyedBlock &block) {
  if (block.valueType == 264) return 264;
  const std::size_t valueBytes = std::size_t(block.valuesPerRow < 0 ? 0 : block.valuesPerRow) *
                                 ValueSize(block.valueType);
  return (valueBytes + 3) / 4 * 4;
}

void AppendHeader(Bytes &out, const KeyedBlock &block) {
  AppendI16(out, block.kind);
  AppendI16(out, block.disabledFlag);
  AppendI16(out, block.keyCount.value_or(static_cast<std::int16_t>(block.keyIndex.size())));
  AppendI16(out, block.valuesPerRow);
  AppendI16(out, block.valueType);
  const auto rows = block.kind == 1 ? block.singleRowCount : static_cast<std::int16_t>(block.rows.size());
  AppendI16(out, block.rowCount.value_or(rows));
  AppendI16(out, block.reserved);
  AppendI16(out, 0);
  if (block.kind == 1) {
    AppendI32(out, block.byteCount.value_or(static_cast<std::int32_t>(block.singlePayload.size())));
    out.resize(80, 0);
    return;
  }
  for (std::size_t j = 0; j < 16; ++j) AppendI32(out, j < block.keyIndex.size() ? block.keyIndex[j] : 0);
}

}  // namespace

Bytes EncodeKeyedBlock(const KeyedBlock &block) {
  Bytes out;
  AppendHeader(out, block);
  if (block.kind == 1) {
    out.insert(out.end(), block.singlePayload.begin(), block.singlePayload.end());
  } else {
    const std::size_t stride = PayloadStride(block);
    for (const KeyedRow &row : block.rows) {
      for (std::int32_t key : row.keys) AppendI32(out, key);
      Bytes payload = row.values;
      payload.resize(std::max(stride, payload.size()), 0);
      out.insert(out.end(), payload.begin(), payload.end());
    }
  }
  out.resize((out.size() + 3) / 4 * 4, 0);
  out.resize(out.size() + 4, 0);
  return out;
}

Bytes KeyedRecord(const KeyedBlock &block, std::uint32_t key) {
  Bytes out = EncodeKeyedBlock(block);
  ScrambleBlock(out, key);
  return out;
}

KeyedBlock SingleValues(std::int16_t valueType, std::int16_t valuesPerRow, std::int16_t rowCount,
                        const Bytes &payload) {
  KeyedBlock block;
  block.kind = 1;
  block.valueType = valueType;
  block.valuesPerRow = valuesPerRow;
  block.singleRowCount = rowCount;
  block.singlePayload = payload;
  return block;
}

KeyedBlock TripletRows(std::int16_t valueType, const std::vector<std::vector<std::int32_t>> &rows,
                       const std::vector<std::int32_t> &keyIndex,
                       const std::vector<std::int32_t> &keys) {
  KeyedBlock block;
  block.valueType = valueType;
  block.keyIndex = keyIndex;
  for (const auto &values : rows) block.rows.push_back({keys, PackValues(values, valueType)});
  return block;
}

KeyedBlock NamedEntryRows(const std::vector<std::pair<std::int32_t, std::string>> &entries) {
  KeyedBlock block;
  block.valueType = 264;
  block.valuesPerRow = 1;
  for (const auto &[value, name] : entries) {
    block.rows.push_back({{}, PackNamedEntry(value, name, value + 1)});
  }
  return block;
}

KeyedBlock ChainTo(const std::vector<std::int32_t> &keyIndex,
                   const std::vector<std::pair<std::vector<std::int32_t>, std::int32_t>> &links) {
  KeyedBlock block;
  block.kind = 0;
  block.valueType = 4;
  block.valuesPerRow = 1;
  block.keyIndex = keyIndex;
  for (const auto &[keys, next] : links) block.rows.push_back({keys, PackValues({next}, 4)});
  return block;
}

}  // namespace dinfo::writer
