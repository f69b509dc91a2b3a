// Table objects: the self-describing blocks DIGetTable hands to its caller.
// A 16-byte header (magic, totalSize, descriptorCount, flags), then
// descriptorCount 8-byte descriptors (tag, location), then the data area.
// The magic also tells the byte order: it reads 0x50178516 in the machine's
// order and 0x16851750 in the opposite one.
#ifndef DINFO_TABLEOBJ_TABLE_OBJECT_H
#define DINFO_TABLEOBJ_TABLE_OBJECT_H

#include <cstdint>

#include "common/block.h"

namespace dinfo {

constexpr std::uint32_t TableObjectMagic = 0x50178516u;
constexpr std::int32_t TableHeaderSize = 16;

// Undoes scrambling, compression and delta coding of the stored object in
// `object` and of every nested table, keeping the stored byte order.
// Returns an empty block on failure, `object` itself when everything was
// done in place, or a new block (the caller's, released with GlobalFree)
// when the object had to be expanded or rebuilt. Never releases `object`,
// though it may have changed it in place.
Block PrepareTableObject(Block object);

}  // namespace dinfo

#endif  // DINFO_TABLEOBJ_TABLE_OBJECT_H
