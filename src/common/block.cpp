#include "common/block.h"

#include "platform/kernel32.h"

namespace dinfo {

namespace {

// Blocks never exceed 2^31 - 1 bytes: every size in the format is an int32.
Block Allocate(UINT flags, std::int64_t size) {
  if (size <= 0 || size > INT32_MAX) return {};
  auto *data = static_cast<std::uint8_t *>(GlobalAlloc(flags, static_cast<SIZE_T>(size)));
  if (data == nullptr) return {};
  return Block(data, static_cast<std::size_t>(size));
}

}  // namespace

OwnedBlock AllocateBlock(std::int64_t size) { return OwnedBlock(Allocate(GPTR, size)); }

OwnedBlock AllocateBlockToOverwrite(std::int64_t size) { return OwnedBlock(Allocate(GMEM_FIXED, size)); }

void OwnedBlock::Free(Block block) { GlobalFree(block.data()); }

}  // namespace dinfo
