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

// The path holds the folder, one backslash, the converted name and a
// terminator, so neither the copies nor the append can cut anything.
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
  const OwnedBlock pathBlock(AllocateBlock(static_cast<std::int64_t>(2 * pathUnits)));
  if (pathBlock.empty()) return nullptr;
  auto *path = reinterpret_cast<WideChar *>(pathBlock.get().data());
  const std::size_t pathCapacity = pathBlock.get().size();
  const WideChar empty[1] = {0};
  CopyWideString(path, pathCapacity, empty);
  if (folder != nullptr) {
    const WideChar separator[2] = {static_cast<WideChar>('\\'), 0};
    CopyWideString(path, pathCapacity, folder);
    if (folder[folderUnits - 1] != static_cast<WideChar>('\\')) AppendWideString(path, pathCapacity, separator);
  }

  const OwnedBlock nameBlock(AllocateBlock(static_cast<std::int64_t>(2 * nameBytes + 2)));
  if (nameBlock.empty()) return nullptr;
  auto *name = reinterpret_cast<WideChar *>(nameBlock.get().data());
  const int nameLength = static_cast<int>(nameBytes);
  MultiByteToWideChar(CP_ACP, 0, fileName, nameLength, name, nameLength);
  AppendWideString(path, pathCapacity, name);

  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

}  // namespace dinfo
