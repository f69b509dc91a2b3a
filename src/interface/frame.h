// The frame every file-reading export runs: open, status check, format
// check, the export's own query, close. The status record (record 1000 of
// the main section) holds fileStatus (int32 at output bytes 0..3; positive:
// the file is unusable) and formatType (bytes 4..7).
#ifndef DINFO_INTERFACE_FRAME_H
#define DINFO_INTERFACE_FRAME_H

#include <cstdint>

#include "dinfo/dinfo.h"
#include "infofile/file_view.h"
#include "infofile/information_file.h"
#include "interface/status_codes.h"
#include "keyed/keyed_block.h"
#include "platform/kernel32.h"

namespace dinfo {

constexpr std::int32_t StatusRecordId = 1000;
constexpr std::int32_t MainEntriesRecordId = 1001;
constexpr std::int32_t MainTripletsRecordId = 1002;
constexpr std::int32_t CategoryVRecordId = 1003;
constexpr std::int32_t CategorySRecordId = 1004;
constexpr std::int32_t TableLocatorRecordId = 1005;

constexpr std::int32_t StatusBufferSize = 400;

// What the lookup of the status record gave.
struct StatusValues {
  Fault lookup;
  std::int16_t count;
  std::int16_t disabledFlag;
  std::int32_t fileStatus;
  std::int32_t formatType;
};

// The file of one export call: its view, and the status record, looked up
// once and shared by both checks.
struct ExportFile {
  explicit ExportFile(HANDLE handle) : view(handle) {}

  FileView view;
  bool statusRead = false;
  StatusValues status = {};
};

// 0, ErrStatusLookup or ErrFileUnusable.
std::int16_t CheckFileStatus(ExportFile &file);

// The stored formatType (any sign), ErrFormatType or ErrRecordDisabled.
std::int32_t GetFormatType(ExportFile &file);

// All entries -1, the selector at index 1, then each pair in order. False
// when a pair's index lies outside 0..299, or pairs is null with a positive
// count.
bool BuildConditionVector(std::int32_t selector, const ConditionPair *pairs,
                          std::int16_t pairCount, ConditionVector *vector);

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
