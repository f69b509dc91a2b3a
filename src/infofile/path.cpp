#include "infofile/information_file.h"

namespace dinfo {
namespace {

constexpr std::size_t MaxWideUnits = 2147483647u;

std::size_t UnitLength(const WideChar *text) {
  std::size_t units = 0;
  while (text[units] != 0) ++units;
  return units;
}

// Copies `source` into the `room` units at `destination`; a full room keeps
// a terminator in its last unit.
std::int32_t CopyIntoRoom(WideChar *destination, std::size_t room, const WideChar *source) {
  std::size_t i = 0;
  for (; i < room; ++i) {
    if (source[i] == 0) {
      destination[i] = 0;
      return WideStringOk;
    }
    destination[i] = source[i];
  }
  destination[room - 1] = 0;
  return WideStringTruncated;
}

}  // namespace

std::int32_t CopyWideString(WideChar *destination, std::size_t capacityBytes,
                            const WideChar *source) {
  const std::size_t capacity = capacityBytes / 2;
  if (capacity == 0 || capacity > MaxWideUnits) {
    if (capacity != 0 && destination != nullptr) destination[0] = 0;
    return WideStringInvalidArgument;
  }
  return CopyIntoRoom(destination, capacity, source);
}

std::int32_t AppendWideString(WideChar *destination, std::size_t capacityBytes,
                              const WideChar *source) {
  const std::size_t capacity = capacityBytes / 2;
  if (capacity == 0 || capacity > MaxWideUnits) return WideStringInvalidArgument;
  std::size_t length = 0;
  while (length < capacity && destination[length] != 0) ++length;
  if (length == capacity) return WideStringInvalidArgument;
  return CopyIntoRoom(destination + length, capacity - length, source);
}

// Paths of up to this many units, terminator included, are built on the
// stack; longer ones in a block.
constexpr std::size_t ShortPathUnits = 260;

// The path holds the folder, one backslash, the converted name and a
// terminator: the name converts into at most as many units as it has
// bytes, so neither the copy nor the conversion can cut anything.
HANDLE OpenInformationFile(const WideChar *folder, const char *fileName) {
  if (fileName == nullptr) return nullptr;
  std::size_t folderUnits = 0;
  if (folder != nullptr) {
    folderUnits = UnitLength(folder);
    if (folderUnits == 0) return nullptr;
  }
  std::size_t nameBytes = 0;
  while (fileName[nameBytes] != '\0') ++nameBytes;
  if (nameBytes > INT32_MAX / 2 - 2 || folderUnits > INT32_MAX / 2 - 2 - nameBytes) return nullptr;

  const std::size_t pathUnits = folder == nullptr ? nameBytes + 1 : nameBytes + folderUnits + 2;
  WideChar shortPath[ShortPathUnits];
  OwnedBlock longPath;
  WideChar *path = shortPath;
  if (pathUnits > ShortPathUnits) {
    longPath = AllocateBlockToOverwrite(static_cast<std::int64_t>(2 * pathUnits));
    if (longPath.empty()) return nullptr;
    path = reinterpret_cast<WideChar *>(longPath.get().data());
  }
  std::size_t at = 0;
  if (folder != nullptr) {
    CopyWideString(path, 2 * pathUnits, folder);
    at = folderUnits;
    if (folder[at - 1] != static_cast<WideChar>('\\')) path[at++] = static_cast<WideChar>('\\');
  }
  const int nameLength = static_cast<int>(nameBytes);
  at += static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, fileName, nameLength, path + at, nameLength));
  path[at] = 0;

  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

}  // namespace dinfo
