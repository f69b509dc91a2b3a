#include "infofile/information_file.h"

#include <utility>

#include "common/bytes.h"
#include "infofile/directory_entry.h"
#include "infofile/directory_index.h"

namespace dinfo {
namespace {

// Sizes up to this are taken without asking the file's length first; a
// larger one must fit in what the file still holds, so that a damaged size
// field cannot make us take a block far larger than the file.
constexpr std::int64_t UncheckedReadSize = 1 << 20;

bool Seek(HANDLE file, std::int64_t position) {
  if (position < 0 || position > INT32_MAX) return false;
  return SetFilePointer(file, static_cast<LONG>(position), nullptr, FILE_BEGIN) !=
         INVALID_SET_FILE_POINTER;
}

// Whole read of `length` bytes at an absolute position; short is failure.
bool ReadAt(HANDLE file, std::int64_t position, void *buffer, std::int32_t length) {
  if (!Seek(file, position)) return false;
  DWORD got = 0;
  return ReadFile(file, buffer, static_cast<DWORD>(length), &got, nullptr) != FALSE &&
         got == static_cast<DWORD>(length);
}

bool ReadInt32At(HANDLE file, std::int64_t position, std::int32_t *value) {
  std::uint8_t bytes[4];
  if (!ReadAt(file, position, bytes, 4)) return false;
  *value = ReadI32LittleEndian(bytes);
  return true;
}

// False when the file certainly ends before position + length. A file whose
// length cannot be told (past 4 GiB) is given the benefit of the doubt.
bool FileCanHold(FileView &view, std::int64_t position, std::int64_t length) {
  if (length <= UncheckedReadSize) return true;
  return RangeFits(FileLength(view), position, length);
}

// Reads `length` bytes at `position` into a new block. The read fills the
// whole block or the block goes back unread, so it is taken without a zero
// fill.
ReadOutcome ReadBlockAt(FileView &view, std::int64_t position, std::int32_t length) {
  if (!FileCanHold(view, position, length)) return {{}, Fault::ReadFailed};
  OwnedBlock block = AllocateBlockToOverwrite(length);
  if (block.empty()) return {{}, Fault::NoMemory};
  if (!ReadAt(view.file, position, block.get().data(), length)) return {{}, Fault::ReadFailed};
  return {std::move(block), Fault::None};
}

// The index of the first entry for (section, recordId), or entryCount. An
// entry's first eight bytes are its section key and record id, compared as
// one word, four entries a round.
std::int32_t FindEntry(ConstBlock entries, std::int32_t entryCount, std::int32_t section,
                       std::int32_t recordId) {
  const std::uint64_t wanted =
      std::uint64_t{static_cast<std::uint32_t>(section)} |
      (std::uint64_t{static_cast<std::uint32_t>(recordId)} << 32);
  const std::uint8_t *at = entries.data();
  std::int32_t i = 0;
  for (; i + 4 <= entryCount; i += 4, at += 4 * DirectoryEntrySize) {
    // One test for the four, without a branch for each.
    const int hits = static_cast<int>(ReadU64LittleEndian(at) == wanted) |
                     static_cast<int>(ReadU64LittleEndian(at + 12) == wanted) |
                     static_cast<int>(ReadU64LittleEndian(at + 24) == wanted) |
                     static_cast<int>(ReadU64LittleEndian(at + 36) == wanted);
    if (hits != 0) break;
  }
  for (; i < entryCount; ++i, at += DirectoryEntrySize) {
    if (ReadU64LittleEndian(at) == wanted) return i;
  }
  return entryCount;
}

// A directory this large is sorted into an index once this many records
// were looked up in it by scanning, so that a long chain through it costs a
// binary search a link. Sorting costs about as much as 25 scans (some 7 ns
// an entry against 0.3), so the few lookups of a plain call keep scanning
// and a chain pays at most about twice what it would with the index alone.
constexpr std::int32_t IndexedDirectorySize = 32;
constexpr std::int32_t ScansBeforeIndex = 16;

// The directory's entries.
ReadOutcome ReadDirectoryBlock(FileView &view, std::int32_t section) {
  if (view.file == nullptr || section < 0) return {{}, Fault::BadArgument};
  std::int32_t directoryOffset = 0;
  std::int32_t entryCount = 0;
  if (!ReadInt32At(view.file, section, &directoryOffset) ||
      !ReadInt32At(view.file, directoryOffset, &entryCount)) {
    return {{}, Fault::ReadFailed};
  }
  if (entryCount < 1 || entryCount > INT32_MAX / DirectoryEntrySize) {
    return {{}, Fault::BadEntryCount};
  }
  return ReadBlockAt(view, std::int64_t{directoryOffset} + 4, entryCount * DirectoryEntrySize);
}

// The position of the first entry for (section, recordId), or the entry
// count. A directory whose index cannot be had is scanned, as a small one
// is: the lookup costs more but gives the same answer.
std::int32_t FindRecordEntry(KeptDirectory &directory, std::int32_t recordId) {
  ++directory.lookups;
  if (directory.indexState == IndexState::NotBuilt && directory.lookups > ScansBeforeIndex &&
      directory.entryCount > IndexedDirectorySize) {
    directory.indexState = BuildDirectoryIndex(directory) ? IndexState::Built : IndexState::Refused;
  }
  return directory.indexState == IndexState::Built
             ? IndexedEntry(directory, recordId)
             : FindEntry(directory.entries.get(), directory.entryCount, directory.section, recordId);
}

KeptDirectory *FreeOrMatchingSlot(FileView &view, std::int32_t section) {
  KeptDirectory *free = nullptr;
  for (KeptDirectory &slot : view.directories) {
    if (!slot.entries.empty() && slot.section == section) return &slot;
    if (slot.entries.empty() && free == nullptr) free = &slot;
  }
  return free;
}

}  // namespace

std::int64_t FileLength(FileView &view) {
  if (view.length == FileLengthNotAsked) {
    const DWORD length = SetFilePointer(view.file, 0, nullptr, FILE_END);
    view.length = length == INVALID_SET_FILE_POINTER ? FileLengthUnknown : std::int64_t{length};
  }
  return view.length;
}

KeptDirectory *SectionDirectory(FileView &view, std::int32_t section, Fault *fault) {
  KeptDirectory *slot = FreeOrMatchingSlot(view, section);
  if (slot == nullptr) {
    // More sections than slots: the last slot gives way.
    slot = &view.directories[KeptDirectorySlots - 1];
    *slot = {};
  }
  if (slot->entries.empty()) {
    ReadOutcome read = ReadDirectoryBlock(view, section);
    if (read.fault != Fault::None) {
      *fault = read.fault;
      return nullptr;
    }
    const auto entryCount = static_cast<std::int32_t>(read.block.get().size() / DirectoryEntrySize);
    *slot = {section, entryCount, std::move(read.block), 0, IndexState::NotBuilt, {}};
  }
  *fault = Fault::None;
  return slot;
}

ReadOutcome ReadSectionDirectory(HANDLE file, std::int32_t section) {
  FileView view(file);
  return ReadDirectoryBlock(view, section);
}

ReadOutcome ReadRecordAt(HANDLE file, std::int32_t position) {
  FileView view(file);
  return ReadRecordAt(view, position);
}

ReadOutcome ReadRecordAt(FileView &view, std::int32_t position) {
  if (view.file == nullptr || position < 0) return {{}, Fault::BadArgument};
  std::int32_t recordSize = 0;
  if (!ReadInt32At(view.file, position, &recordSize)) return {{}, Fault::ReadFailed};
  if (recordSize <= 0) return {{}, Fault::BadRecordSize};
  return ReadBlockAt(view, std::int64_t{position} + 4, recordSize);
}

ReadOutcome ReadRecord(FileView &view, std::int32_t section, std::int32_t recordId) {
  if (view.file == nullptr || section < 0 || recordId < 0) return {{}, Fault::BadArgument};
  Fault fault = Fault::None;
  KeptDirectory *directory = SectionDirectory(view, section, &fault);
  if (directory == nullptr) return {{}, fault};
  const std::int32_t found = FindRecordEntry(*directory, recordId);
  const std::int32_t recordOffset = found < directory->entryCount
                                        ? ReadDirectoryEntry(directory->entries.get(), found).recordOffset
                                        : -1;
  if (recordOffset < 0) return {{}, Fault::RecordAbsent};
  return ReadRecordAt(view, recordOffset);
}

}  // namespace dinfo
