// The frame every file-reading export runs: open, status check, format
// check, the export's own query, close. The status record (record 1000 of
// the main section) holds fileStatus (int32 at output bytes 0..3; positive:
// the file is unusable) and formatType (bytes 4..7).
#ifndef DINFO_INTERFACE_FRAME_H
#define DINFO_INTERFACE_FRAME_H

#include <cstdint>

#include "dinfo/dinfo.h"
#include "infofile/information_file.h"
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

// 0, ErrStatusLookup or ErrFileUnusable.
std::int16_t CheckFileStatus(HANDLE file);

// The stored formatType (any sign), ErrFormatType or ErrRecordDisabled.
std::int32_t GetFormatType(HANDLE file);

// All entries -1, the selector at index 1, then each pair in order. False
// when a pair's index lies outside 0..299, or pairs is null with a positive
// count.
bool BuildConditionVector(std::int32_t selector, const ConditionPair *pairs,
                          std::int16_t pairCount, ConditionVector *vector);

// Opens the file of an export; null when it does not open.
inline HANDLE OpenForExport(const char *fileName, const DIWideChar *folder) {
  return OpenInformationFile(reinterpret_cast<const WideChar *>(folder), fileName);
}

}  // namespace dinfo

#endif  // DINFO_INTERFACE_FRAME_H
