// What one preparation may take. Memory: the blocks it holds at one time
// (expansions, rebuilt parents, the table it hands back and its own
// bookkeeping), not the sum of those it made and released. Work: bytes
// unscrambled, expanded, restored and copied, and descriptors read; an
// allowance plus an amount for each byte of the record, so that nesting
// whose work grows faster than its size (a scrambled table inside a
// scrambled table, thousands deep) ends in bounded time.
#ifndef DINFO_TABLEOBJ_PREPARE_BUDGET_H
#define DINFO_TABLEOBJ_PREPARE_BUDGET_H

#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "common/block.h"
#include "common/bytes.h"

namespace dinfo {

// Room for the largest table (2 GiB), as much again in the expansions it
// is made of, and the walk's own records.
constexpr std::int64_t MaxBytesHeld = (std::int64_t{4} << 30) + (std::int64_t{256} << 20);
constexpr std::int64_t WorkAllowance = std::int64_t{8} << 30;
constexpr std::int64_t WorkPerRecordByte = 64;
// Reading one descriptor counts as this much work.
constexpr std::int64_t DescriptorWork = 8;

struct PrepareBudget {
  std::int64_t bytesHeld = 0;
  std::int64_t workLeft = 0;
};

// False once the work done passes the budget.
bool TakeWork(PrepareBudget *budget, std::int64_t units);

// Counts `bytes` as held; false (nothing counted) when that would pass
// MaxBytesHeld.
bool HoldBytes(PrepareBudget *budget, std::int64_t bytes);

// A zero-filled block counted as held, or empty when it is refused.
OwnedBlock TakeBlock(PrepareBudget *budget, std::int64_t size);
// The same without the zero fill, for a block whose every byte is written.
OwnedBlock TakeBlockToOverwrite(PrepareBudget *budget, std::int64_t size);

// Releases a counted block now; an empty one does nothing. Inline: every
// record array gives its block back at the end of every preparation, and
// most never took one.
inline void GiveBack(PrepareBudget *budget, OwnedBlock *block) {
  if (block->get().data() == nullptr) return;
  budget->bytesHeld -= std::int64_t(block->get().size());
  *block = {};
}

// Records in a block of their own that doubles when full, counted against
// the budget's memory. It may start in room the owner gives (on the
// stack), so that a short array takes no block at all. Records that own
// blocks are moved when it grows and released with it.
template <typename T>
class GrowingArray {
  static constexpr bool Plain = std::is_trivially_copyable_v<T>;

 public:
  explicit GrowingArray(PrepareBudget *budget) : budget_(budget) {}
  GrowingArray(PrepareBudget *budget, T *room, std::int64_t roomSize)
      : budget_(budget), items_(room), capacity_(roomSize) {}
  GrowingArray(const GrowingArray &) = delete;
  GrowingArray &operator=(const GrowingArray &) = delete;
  ~GrowingArray() {
    Clear();
    GiveBack(budget_, &block_);
  }

  std::int64_t Size() const { return count_; }
  T &operator[](std::int64_t index) { return items_[index]; }
  const T &operator[](std::int64_t index) const { return items_[index]; }
  T &Back() { return items_[count_ - 1]; }
  void Pop() {
    --count_;
    if constexpr (!Plain) items_[count_].~T();
  }
  void Clear() {
    if constexpr (Plain) {
      count_ = 0;
    } else {
      while (count_ > 0) Pop();
    }
  }

  // Appends the record; false (the record left as it was) without memory.
  bool Push(T &&item) {
    if (!Reserve(count_ + 1)) return false;
    new (&items_[count_++]) T(std::move(item));
    return true;
  }
  bool Push(const T &item) {
    static_assert(Plain);
    T copy = item;
    return Push(std::move(copy));
  }

  // Appends `count` zeroed records; the index of the first, or -1.
  std::int64_t Append(std::int64_t count) {
    if (!Reserve(count_ + count)) return -1;
    const std::int64_t first = count_;
    for (std::int64_t k = 0; k < count; ++k) new (&items_[count_++]) T{};
    return first;
  }

 private:
  bool Reserve(std::int64_t count) {
    if (count <= capacity_) return true;
    std::int64_t capacity = capacity_ > 0 ? 2 * capacity_ : 16;
    while (capacity < count) capacity *= 2;
    OwnedBlock grown = TakeBlock(budget_, capacity * std::int64_t{sizeof(T)});
    if (grown.empty()) return false;
    T *const items = reinterpret_cast<T *>(grown.get().data());
    if constexpr (Plain) {
      CopyBytes(items_, items, static_cast<std::int32_t>(count_ * std::int64_t{sizeof(T)}));
    } else {
      for (std::int64_t k = 0; k < count_; ++k) {
        new (&items[k]) T(std::move(items_[k]));
        items_[k].~T();
      }
    }
    GiveBack(budget_, &block_);
    block_ = std::move(grown);
    items_ = items;
    capacity_ = capacity;
    return true;
  }

  PrepareBudget *budget_;
  OwnedBlock block_;
  T *items_ = nullptr;
  std::int64_t count_ = 0;
  std::int64_t capacity_ = 0;
};

}  // namespace dinfo

#endif  // DINFO_TABLEOBJ_PREPARE_BUDGET_H
