// Information files: composing a file's path and opening it, and reading
// section directories and records out of the open file.
//
// File layout (all integers int32 little-endian, positions from the file's
// start): offset 8 holds the main section's directory position. A section
// is a position S whose four bytes hold the position D of its directory.
// A directory is an entry count followed by that many 12-byte entries
// (sectionKey, recordId, recordOffset). A record is a size followed by that
// many body bytes. A negative recordOffset marks an absent record.
#ifndef DINFO_INFOFILE_INFORMATION_FILE_H
#define DINFO_INFOFILE_INFORMATION_FILE_H

#include <cstddef>
#include <cstdint>

#include "common/block.h"
#include "infofile/file_view.h"
#include "platform/kernel32.h"

namespace dinfo {

constexpr std::int32_t MainSection = 8;
constexpr std::int32_t DirectoryEntrySize = 12;

// What a read operation took, or the fault that stopped it; the block is
// empty exactly when the fault is not None.
struct ReadOutcome {
  OwnedBlock block;
  Fault fault;
};

// Results of the bounded wide-string copy and append.
constexpr std::int32_t WideStringOk = 0;
constexpr std::int32_t WideStringInvalidArgument = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t WideStringTruncated = static_cast<std::int32_t>(0x8007007Au);

// Opens folder + "\" + fileName read-only; null when it cannot. A null
// folder opens the name alone; an empty one opens nothing.
HANDLE OpenInformationFile(const WideChar *folder, const char *fileName);

std::int32_t CopyWideString(WideChar *destination, std::size_t capacityBytes,
                            const WideChar *source);
std::int32_t AppendWideString(WideChar *destination, std::size_t capacityBytes,
                              const WideChar *source);

// The section's directory entries (entryCount x 12 bytes).
ReadOutcome ReadSectionDirectory(HANDLE file, std::int32_t section);

// The record body whose size field stands at `position`.
ReadOutcome ReadRecordAt(HANDLE file, std::int32_t position);
ReadOutcome ReadRecordAt(FileView &view, std::int32_t position);

// The body of the first directory entry for (section, recordId), found in
// the section's kept directory.
ReadOutcome ReadRecord(FileView &view, std::int32_t section, std::int32_t recordId);

}  // namespace dinfo

#endif  // DINFO_INFOFILE_INFORMATION_FILE_H
