// The information file as one call sees it. An information file is
// read-only data, so within one call a section's directory read once gives
// the same answers as reading it anew for every record: the view reads a
// directory the first time the call needs that section and keeps it (a
// large one with an index by record id once many records were looked up
// in it, so that a long chain costs a binary search a link), and keeps the
// file's length once asked for. Everything kept comes from GlobalAlloc
// and is released when the view ends; nothing outlives the call. The view
// does not own the handle.
#ifndef DINFO_INFOFILE_FILE_VIEW_H
#define DINFO_INFOFILE_FILE_VIEW_H

#include <cstdint>

#include "common/block.h"
#include "common/fault.h"
#include "platform/kernel32.h"

namespace dinfo {

// The index only saves time: when its blocks cannot be had, the directory
// is scanned for the rest of the call instead.
enum class IndexState : std::uint8_t {
  NotBuilt,
  Built,    // `index` is built (it may be empty: nothing to find)
  Refused,  // its blocks could not be had
};

struct KeptDirectory {
  std::int32_t section = 0;
  std::int32_t entryCount = 0;
  OwnedBlock entries;        // empty: the slot is free
  std::int32_t lookups = 0;  // records looked up in it so far
  IndexState indexState = IndexState::NotBuilt;
  OwnedBlock index;  // see infofile/directory_index.h
};

// A call reads at most the main section and one table section.
constexpr int KeptDirectorySlots = 2;

constexpr std::int64_t FileLengthNotAsked = -1;
// The length could not be told (a file past 4 GiB): reads get the benefit
// of the doubt.
constexpr std::int64_t FileLengthUnknown = INT64_MAX;

struct FileView {
  explicit FileView(HANDLE handle) : file(handle) {}
  FileView(const FileView &) = delete;
  FileView &operator=(const FileView &) = delete;

  HANDLE file;
  std::int64_t length = FileLengthNotAsked;
  KeptDirectory directories[KeptDirectorySlots];
};

// The file's length, asked of the file the first time only.
std::int64_t FileLength(FileView &view);

// The section's directory, read on the first need and kept; null with the
// fault in *fault when it does not read (it is tried again on the next
// need).
KeptDirectory *SectionDirectory(FileView &view, std::int32_t section, Fault *fault);

}  // namespace dinfo

#endif  // DINFO_INFOFILE_FILE_VIEW_H
