#include "tableobj/walked_tables.h"

#include <utility>

namespace dinfo {
namespace {

constexpr std::int64_t SmallestTable = 64;

std::uint64_t HashOf(std::int64_t block, std::int64_t offset) {
  const std::uint64_t mixed = std::uint64_t(block) * 0x9E3779B97F4A7C15u ^ std::uint64_t(offset) * 0xC2B2AE3D27D4EB4Fu;
  return mixed ^ (mixed >> 29);
}

}  // namespace

// The place holding (block, offset), or the free place where it would go.
// Places of a forgotten generation stay occupied until the next rebuild.
std::int64_t WalkedTables::Find(std::int64_t block, std::int64_t offset) const {
  const std::uint64_t mask = std::uint64_t(capacity_ - 1);
  for (std::uint64_t at = HashOf(block, offset) & mask;; at = (at + 1) & mask) {
    const Place &place = Places()[at];
    if (place.generation == 0 || (place.block == block && place.offset == offset)) return std::int64_t(at);
  }
}

bool WalkedTables::Has(std::int64_t block, std::int64_t offset) const {
  if (capacity_ == 0) return false;
  return Places()[Find(block, offset)].generation == generation_;
}

// Keeps the places of the current generation in a table at most a
// quarter full.
bool WalkedTables::Rebuild() {
  std::int64_t live = 0;
  for (std::int64_t k = 0; k < capacity_; ++k) live += Places()[k].generation == generation_ ? 1 : 0;
  std::int64_t capacity = SmallestTable;
  while (capacity < 4 * (live + 1)) capacity *= 2;
  OwnedBlock grown = TakeBlock(budget_, capacity * std::int64_t{sizeof(Place)});
  if (grown.empty()) return false;
  OwnedBlock old = std::move(block_);
  block_ = std::move(grown);
  const std::int64_t oldCapacity = capacity_;
  capacity_ = capacity;
  used_ = live;
  const auto *oldPlaces = reinterpret_cast<const Place *>(old.get().data());
  for (std::int64_t k = 0; k < oldCapacity; ++k) {
    if (oldPlaces[k].generation == generation_) Places()[Find(oldPlaces[k].block, oldPlaces[k].offset)] = oldPlaces[k];
  }
  GiveBack(budget_, &old);
  return true;
}

bool WalkedTables::Add(std::int64_t block, std::int64_t offset) {
  if (2 * (used_ + 1) > capacity_ && !Rebuild()) return false;
  Place &place = Places()[Find(block, offset)];
  if (place.generation == 0) ++used_;
  place = {block, offset, generation_};
  return true;
}

}  // namespace dinfo
