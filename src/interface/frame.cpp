#include "interface/frame.h"

#include "common/bytes.h"
#include "infofile/information_file.h"
#include "interface/status_codes.h"

namespace dinfo {
namespace {

struct StatusValues {
  std::int16_t lookup;
  std::int16_t count;
  std::int16_t disabledFlag;
  std::int32_t fileStatus;
  std::int32_t formatType;
};

// The status record is looked up without conditions into a zeroed buffer,
// so a record that yields no row reads as status 0.
StatusValues ReadStatusRecord(HANDLE file) {
  std::uint8_t buffer[StatusBufferSize] = {};
  StatusValues values{};
  values.lookup = LookupKeyedRecord(nullptr, file, StatusRecordId, MainSection, &values.count,
                                    &values.disabledFlag, Block(buffer, sizeof buffer));
  values.fileStatus = ReadI32LittleEndian(buffer);
  values.formatType = ReadI32LittleEndian(buffer + 4);
  return values;
}

}  // namespace

std::int16_t CheckFileStatus(HANDLE file) {
  const StatusValues values = ReadStatusRecord(file);
  if (values.lookup != StatusOk) return ErrStatusLookup;
  return values.fileStatus > 0 ? std::int16_t{ErrFileUnusable} : StatusOk;
}

std::int32_t GetFormatType(HANDLE file) {
  const StatusValues values = ReadStatusRecord(file);
  if (values.lookup != StatusOk) return ErrFormatType;
  if (values.disabledFlag != 0) return ErrRecordDisabled;
  if (values.count < 2) return ErrFormatType;
  return values.formatType;
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
