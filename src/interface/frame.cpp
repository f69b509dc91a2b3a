#include "interface/frame.h"

#include "common/bytes.h"

namespace dinfo {
namespace {

// The status record is looked up without conditions into a zeroed buffer,
// so a record that yields no row reads as status 0. The file cannot change
// during the call, so the first lookup answers for both checks.
const StatusValues &StatusOf(ExportFile &file) {
  if (file.statusRead) return file.status;
  std::uint8_t buffer[StatusBufferSize] = {};
  StatusValues &values = file.status;
  values = {};
  values.lookup = LookupKeyedRecord(nullptr, file.view, MainSection, StatusRecordId, &values.count,
                                    &values.disabledFlag, Block(buffer, sizeof buffer));
  values.fileStatus = ReadI32LittleEndian(buffer);
  values.formatType = ReadI32LittleEndian(buffer + 4);
  file.statusRead = true;
  return values;
}

}  // namespace

std::int16_t CheckFileStatus(ExportFile &file) {
  const StatusValues &values = StatusOf(file);
  if (values.lookup != Fault::None) return ErrStatusLookup;
  return values.fileStatus > 0 ? std::int16_t{ErrFileUnusable} : StatusOk;
}

std::int32_t GetFormatType(ExportFile &file) {
  const StatusValues &values = StatusOf(file);
  if (values.lookup != Fault::None) return ErrFormatType;
  if (values.disabledFlag != 0) return ErrRecordDisabled;
  if (values.count < 2) return ErrFormatType;
  return values.formatType;
}

// A negative format type ends the call whatever its value.
std::int32_t RunFrameChecks(ExportFile &file, FrameChecks checks) {
  if (checks.fileStatus) {
    const std::int16_t status = CheckFileStatus(file);
    if (status != StatusOk) return status;
  }
  if (checks.formatType && GetFormatType(file) < 0) return ErrRecordDisabled;
  return StatusOk;
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
