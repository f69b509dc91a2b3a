#include "interface/frame.h"

namespace dinfo {
namespace {

const StatusValues &StatusOf(ExportFile &file) {
  if (!file.statusRead) {
    file.status = ReadStatusRecord(file);
    file.statusRead = true;
  }
  return file.status;
}

}  // namespace

std::int16_t CheckFileStatus(ExportFile &file) { return FileStatusCode(StatusOf(file)); }

std::int32_t GetFormatType(ExportFile &file) { return FormatTypeCode(StatusOf(file)); }

// A negative format type ends the call whatever its value.
std::int32_t RunFrameChecks(ExportFile &file, FrameChecks checks) {
  if (checks.fileStatus) {
    const std::int16_t status = CheckFileStatus(file);
    if (status != StatusOk) return status;
  }
  if (checks.formatType && GetFormatType(file) < 0) return ErrRecordDisabled;
  return StatusOk;
}

}  // namespace dinfo
