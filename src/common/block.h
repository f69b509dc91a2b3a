// A block of memory from GlobalAlloc, carried with its length. Blocks are
// zero-filled, except those whose every byte is written before it is read;
// every block goes back through ReleaseBlock.
#ifndef DINFO_COMMON_BLOCK_H
#define DINFO_COMMON_BLOCK_H

#include <cstdint>
#include <span>

namespace dinfo {

using Block = std::span<std::uint8_t>;
using ConstBlock = std::span<const std::uint8_t>;

// A zero-filled block of `size` bytes, or an empty span (null data) when the
// size is 0 or less or the allocation fails.
Block AllocateBlock(std::int64_t size);

// The same without the zero fill, for a block whose every byte is written
// before it is read (a file read into it, released if the read fails; a
// work area whose reader zeroes what the lookup did not write).
Block AllocateBlockToOverwrite(std::int64_t size);

// Gives the block back; an empty span does nothing. Clears the span.
void ReleaseBlock(Block &block);

// Owns one block and gives it back when it goes out of scope, unless its
// owner hands it on with Release(). Moving it moves the ownership, so a
// block is released exactly once on every path.
class OwnedBlock {
 public:
  OwnedBlock() = default;
  explicit OwnedBlock(Block block) : block_(block) {}
  OwnedBlock(OwnedBlock &&other) noexcept : block_(other.Release()) {}
  OwnedBlock &operator=(OwnedBlock &&other) noexcept {
    if (this != &other) {
      ReleaseBlock(block_);
      block_ = other.Release();
    }
    return *this;
  }
  OwnedBlock(const OwnedBlock &) = delete;
  OwnedBlock &operator=(const OwnedBlock &) = delete;
  ~OwnedBlock() { ReleaseBlock(block_); }

  Block get() const { return block_; }
  bool empty() const { return block_.empty(); }
  // Hands the block over; this owner is left empty.
  Block Release() {
    const Block block = block_;
    block_ = {};
    return block;
  }

 private:
  Block block_;
};

// True when [offset, offset + length) lies inside a block of `size` bytes;
// written so that no sum can overflow.
constexpr bool RangeFits(std::int64_t size, std::int64_t offset, std::int64_t length) {
  return offset >= 0 && length >= 0 && offset <= size && length <= size - offset;
}

}  // namespace dinfo

#endif  // DINFO_COMMON_BLOCK_H
