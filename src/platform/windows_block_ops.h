// Block moves and fills for the DLL, which links no C runtime: its memcpy,
// memmove and memset forward here. Plain C++ and intrinsics, so that the
// native tests check them too.
#ifndef DINFO_PLATFORM_WINDOWS_BLOCK_OPS_H
#define DINFO_PLATFORM_WINDOWS_BLOCK_OPS_H

#include <cstddef>

namespace dinfo {

// Copies `length` bytes; overlapping ranges come out as the source was.
// Both return the destination, as memmove and memset do.
void *BlockMove(void *destination, const void *source, std::size_t length);

// Sets `length` bytes to the low byte of `byteValue`.
void *BlockFill(void *destination, int byteValue, std::size_t length);

}  // namespace dinfo

#endif  // DINFO_PLATFORM_WINDOWS_BLOCK_OPS_H
