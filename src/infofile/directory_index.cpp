#include "infofile/directory_index.h"

#include <cstddef>
#include <utility>

#include "common/bytes.h"
#include "infofile/information_file.h"

namespace dinfo {
namespace {

// A key is the record id in the high half and the entry's position in the
// low half, so keys of one record id order by position.
std::uint64_t KeyOf(std::int32_t recordId, std::int32_t position) {
  return (std::uint64_t{static_cast<std::uint32_t>(recordId)} << 32) |
         static_cast<std::uint32_t>(position);
}

std::uint64_t *KeysOf(Block block) { return reinterpret_cast<std::uint64_t *>(block.data()); }

// A stable sort on the record id, a byte a pass; a pass whose byte is the
// same in every key is skipped. Keys go in in directory order, so equal
// ids keep it.
void SortByRecordId(std::uint64_t *keys, std::uint64_t *scratch, std::size_t count) {
  std::uint64_t *const sorted = keys;
  for (int shift = 32; shift < 64; shift += 8) {
    std::size_t starts[256] = {};
    for (std::size_t i = 0; i < count; ++i) ++starts[(keys[i] >> shift) & 0xFF];
    bool oneBucket = false;
    std::size_t next = 0;
    for (std::size_t &start : starts) {
      oneBucket = oneBucket || start == count;
      const std::size_t size = start;
      start = next;
      next += size;
    }
    if (oneBucket) continue;
    for (std::size_t i = 0; i < count; ++i) scratch[starts[(keys[i] >> shift) & 0xFF]++] = keys[i];
    std::uint64_t *const swapped = keys;
    keys = scratch;
    scratch = swapped;
  }
  if (keys != sorted) {
    for (std::size_t i = 0; i < count; ++i) sorted[i] = keys[i];
  }
}

}  // namespace

bool BuildDirectoryIndex(KeptDirectory &directory) {
  // Only entries that a lookup can take: the section's own, with an id a
  // lookup may ask for.
  std::int64_t count = 0;
  for (std::int32_t i = 0; i < directory.entryCount; ++i) {
    const std::uint8_t *entry = directory.entries.get().data() + std::size_t(i) * DirectoryEntrySize;
    if (ReadI32LittleEndian(entry) == directory.section && ReadI32LittleEndian(entry + 4) >= 0) {
      ++count;
    }
  }
  if (count == 0) return true;  // nothing to find: IndexedEntry answers "none"
  OwnedBlock index = AllocateBlockToOverwrite(count * 8);
  OwnedBlock scratch = AllocateBlockToOverwrite(count * 8);
  if (index.empty() || scratch.empty()) return false;
  std::uint64_t *keys = KeysOf(index.get());
  std::size_t filled = 0;
  for (std::int32_t i = 0; i < directory.entryCount; ++i) {
    const std::uint8_t *entry = directory.entries.get().data() + std::size_t(i) * DirectoryEntrySize;
    const std::int32_t recordId = ReadI32LittleEndian(entry + 4);
    if (ReadI32LittleEndian(entry) == directory.section && recordId >= 0) {
      keys[filled++] = KeyOf(recordId, i);
    }
  }
  SortByRecordId(keys, KeysOf(scratch.get()), filled);
  directory.index = std::move(index);
  return true;
}

std::int32_t IndexedEntry(const KeptDirectory &directory, std::int32_t recordId) {
  const ConstBlock index = directory.index.get();
  const auto *keys = reinterpret_cast<const std::uint64_t *>(index.data());
  std::size_t low = 0;
  std::size_t high = index.size() / 8;
  const std::uint64_t wanted = KeyOf(recordId, 0);
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (keys[middle] < wanted) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == index.size() / 8 || (keys[low] >> 32) != std::uint64_t(recordId)) {
    return directory.entryCount;
  }
  return static_cast<std::int32_t>(keys[low] & 0xFFFFFFFFu);
}

}  // namespace dinfo
