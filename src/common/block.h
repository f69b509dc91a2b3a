// Blocks of memory from GlobalAlloc. A Block or ConstBlock is a borrowed
// span: it reads and writes but never frees. An OwnedBlock is the one owner
// of a block made here: blocks are zero-filled, except those whose every
// byte is written before it is read, and each goes back exactly once, when
// its owner goes out of scope.
#ifndef DINFO_COMMON_BLOCK_H
#define DINFO_COMMON_BLOCK_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace dinfo {

using Block = std::span<std::uint8_t>;
using ConstBlock = std::span<const std::uint8_t>;

class OwnedBlock;

// A zero-filled block of `size` bytes, or an empty owner when the size is 0
// or less or the allocation fails.
OwnedBlock AllocateBlock(std::int64_t size);

// The same without the zero fill, for a block whose every byte is written
// before it is read (a file read into it, released if the read fails; a
// work area whose reader zeroes what the lookup did not write).
OwnedBlock AllocateBlockToOverwrite(std::int64_t size);

// Owns one block and gives it back when it goes out of scope. Moving it
// moves the ownership, so a block is released exactly once on every path.
// Only the allocations above make one, so no borrowed span can be freed.
class OwnedBlock {
 public:
  OwnedBlock() = default;
  OwnedBlock(OwnedBlock &&other) noexcept : block_(other.block_) { other.block_ = {}; }
  OwnedBlock &operator=(OwnedBlock &&other) noexcept {
    if (this != &other) {
      Release();
      block_ = other.block_;
      other.block_ = {};
    }
    return *this;
  }
  OwnedBlock(const OwnedBlock &) = delete;
  OwnedBlock &operator=(const OwnedBlock &) = delete;
  ~OwnedBlock() { Release(); }

  Block get() const { return block_; }
  bool empty() const { return block_.empty(); }

  // Narrows the view to the first `size` bytes (no more than it has); the
  // whole block still goes back.
  void KeepFirst(std::size_t size) { block_ = block_.first(size < block_.size() ? size : block_.size()); }

  // Hands the block to a caller outside the library, which gives it back
  // itself (the table DIGetTable returns); this owner is left empty.
  Block HandOut() {
    const Block block = block_;
    block_ = {};
    return block;
  }

 private:
  explicit OwnedBlock(Block block) : block_(block) {}
  // Most owners a call makes end empty (moved from, or never filled): the
  // test stays inline so that they cost no call.
  void Release() {
    if (block_.data() != nullptr) Free(block_);
  }
  static void Free(Block block);
  friend OwnedBlock AllocateBlock(std::int64_t size);
  friend OwnedBlock AllocateBlockToOverwrite(std::int64_t size);

  Block block_;
};

// True when [offset, offset + length) lies inside a block of `size` bytes;
// written so that no sum can overflow.
constexpr bool RangeFits(std::int64_t size, std::int64_t offset, std::int64_t length) {
  return offset >= 0 && length >= 0 && offset <= size && length <= size - offset;
}

}  // namespace dinfo

#endif  // DINFO_COMMON_BLOCK_H
