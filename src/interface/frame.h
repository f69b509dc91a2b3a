// The frame every file-reading export runs: open, status check, format
// check, the export's own query, close.
#ifndef DINFO_INTERFACE_FRAME_H
#define DINFO_INTERFACE_FRAME_H

#include <cstdint>

#include "dinfo/dinfo.h"
#include "infofile/information_file.h"
#include "interface/status_codes.h"
#include "platform/kernel32.h"
#include "query/query.h"

namespace dinfo {

// The file of one export call, with the status record, looked up once and
// shared by both checks: the file cannot change during the call.
struct ExportFile : KeyedFile {
  explicit ExportFile(HANDLE handle) : KeyedFile(handle) {}

  bool statusRead = false;
  StatusValues status = {};
};

// 0, ErrStatusLookup or ErrFileUnusable.
std::int16_t CheckFileStatus(ExportFile &file);

// The stored formatType (any sign), ErrFormatType or ErrRecordDisabled.
std::int32_t GetFormatType(ExportFile &file);

// Opens the file of an export; null when it does not open.
inline HANDLE OpenForExport(const char *fileName, const DIWideChar *folder) {
  return OpenInformationFile(reinterpret_cast<const WideChar *>(folder), fileName);
}

// The checks of the frame that an export runs before its query.
struct FrameChecks {
  bool fileStatus;
  bool formatType;
};

// The status check and the format check an export asks for: 0 when its
// query may run, else the code that ends the call.
std::int32_t RunFrameChecks(ExportFile &file, FrameChecks checks);

// Runs the frame around `query` (called with the ExportFile, returning a
// code): ErrOpenFile when the file does not open, a check's code, or the
// query's. Everything the call kept is released and the handle closed
// before it returns.
template <typename Query>
std::int32_t RunExport(const char *fileName, const DIWideChar *folder, FrameChecks checks,
                       Query query) {
  HANDLE handle = OpenForExport(fileName, folder);
  if (handle == nullptr) return ErrOpenFile;
  std::int32_t result = StatusOk;
  {
    ExportFile file(handle);
    result = RunFrameChecks(file, checks);
    if (result == StatusOk) result = query(file);
  }
  CloseHandle(handle);
  return result;
}

}  // namespace dinfo

#endif  // DINFO_INTERFACE_FRAME_H
