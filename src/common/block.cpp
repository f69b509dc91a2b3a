#include "common/block.h"

#include "platform/kernel32.h"

namespace dinfo {

// Blocks never exceed 2^31 - 1 bytes: every size in the format is an int32.
Block AllocateBlock(std::int64_t size) {
  if (size <= 0 || size > INT32_MAX) return {};
  auto *data = static_cast<std::uint8_t *>(GlobalAlloc(GPTR, static_cast<SIZE_T>(size)));
  if (data == nullptr) return {};
  return Block(data, static_cast<std::size_t>(size));
}

void ReleaseBlock(Block &block) {
  if (block.data() != nullptr) GlobalFree(block.data());
  block = {};
}

}  // namespace dinfo
