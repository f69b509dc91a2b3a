// One entry of a section's directory: the section key it is filed under,
// the record id, and the record's offset (negative: the record is absent).
#ifndef DINFO_INFOFILE_DIRECTORY_ENTRY_H
#define DINFO_INFOFILE_DIRECTORY_ENTRY_H

#include <cstddef>
#include <cstdint>

#include "common/block.h"
#include "common/bytes.h"
#include "infofile/information_file.h"

namespace dinfo {

struct DirectoryEntry {
  std::int32_t sectionKey;
  std::int32_t recordId;
  std::int32_t recordOffset;
};

// Entry `index` of a directory's entries, as ReadSectionDirectory gives them.
inline DirectoryEntry ReadDirectoryEntry(ConstBlock entries, std::int32_t index) {
  const std::uint8_t *at = entries.data() + std::size_t(index) * DirectoryEntrySize;
  return {ReadI32LittleEndian(at), ReadI32LittleEndian(at + 4), ReadI32LittleEndian(at + 8)};
}

}  // namespace dinfo

#endif  // DINFO_INFOFILE_DIRECTORY_ENTRY_H
