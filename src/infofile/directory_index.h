// A kept directory's entries of its own section, sorted by record id, so
// that a record is found by a binary search instead of a scan. Entries of
// one record id keep their directory order, so the first one still wins.
#ifndef DINFO_INFOFILE_DIRECTORY_INDEX_H
#define DINFO_INFOFILE_DIRECTORY_INDEX_H

#include <cstdint>

#include "infofile/file_view.h"

namespace dinfo {

// Builds the directory's index; false when its blocks cannot be taken.
bool BuildDirectoryIndex(KeptDirectory &directory);

// The position of the first entry for (directory's section, recordId) as
// the index holds it, or the directory's entry count when there is none.
std::int32_t IndexedEntry(const KeptDirectory &directory, std::int32_t recordId);

}  // namespace dinfo

#endif  // DINFO_INFOFILE_DIRECTORY_INDEX_H
