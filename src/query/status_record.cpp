#include "common/bytes.h"
#include "infofile/information_file.h"
#include "query/query.h"

namespace dinfo {

StatusValues ReadStatusRecord(KeyedFile &file) {
  std::uint8_t buffer[StatusBufferSize] = {};
  StatusValues values{};
  values.lookup = LookupKeyedRecord(nullptr, file, MainSection, StatusRecordId, &values.count,
                                    &values.disabledFlag, Block(buffer, sizeof buffer));
  values.fileStatus = ReadI32LittleEndian(buffer);
  values.formatType = ReadI32LittleEndian(buffer + 4);
  return values;
}

bool BuildConditionVector(std::int32_t selector, const ConditionPair *pairs,
                          std::int16_t pairCount, ConditionVector *vector) {
  for (std::int32_t &entry : vector->entries) entry = NoCondition;
  vector->entries[SelectorIndex] = selector;
  if (pairCount > 0 && pairs == nullptr) return false;
  for (std::int16_t i = 0; i < pairCount; ++i) {
    if (pairs[i].index < 0 || pairs[i].index >= ConditionVectorSize) return false;
    vector->entries[pairs[i].index] = pairs[i].value;
  }
  return true;
}

}  // namespace dinfo
