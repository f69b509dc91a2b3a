// Entry descriptors and the bounds of the data area they point into.
//
// A tag word tells an entry's kind and extent: positive, a typed array
// (bits 0-25 the element count, bits 26-29 the element size minus one);
// high byte 0x9A, a raw run (bits 0-23 its length); 0xDC, a nested table
// (its length is its own totalSize); 0xF8, an inline entry (no data, and
// its location is a value, not an offset). Anything else is invalid.
//
// Every entry with data must lie in the data area of the object that holds
// its descriptor: from the end of the descriptor table up to totalSize.
#ifndef DINFO_TABLEOBJ_TABLE_ENTRY_H
#define DINFO_TABLEOBJ_TABLE_ENTRY_H

#include <cstdint>

#include "tableobj/table_object.h"

namespace dinfo {

constexpr std::uint32_t ElementCountMask = 0x03FFFFFFu;
constexpr std::uint32_t RawRunLengthMask = 0x00FFFFFFu;
constexpr std::uint32_t NestedTableTag = 0xDC000000u;

enum class EntryKind { TypedArray, RawRun, NestedTable, Inline, Invalid };

struct TableEntry {
  EntryKind kind;
  std::uint32_t tag;
  std::int32_t location;
  std::int32_t elementSize;  // typed arrays: 1 to 16; raw runs: 1
  std::int64_t length;       // bytes of data of a typed array or raw run
};

// An object's header checked against its block: the descriptor table and
// the data area lie inside totalSize, and totalSize inside the block. Only
// ReadTableLayout makes one (a default one describes no descriptors), and
// the descriptors are read through it.
class TableLayout {
 public:
  TableLayout() = default;

  ByteOrder order() const { return order_; }
  std::int32_t totalSize() const { return totalSize_; }
  std::int32_t descriptorCount() const { return descriptorCount_; }
  std::int32_t dataStart() const { return dataStart_; }
  std::uint32_t flags() const { return flags_; }
  // The object's first totalSize bytes; for a layout of a head alone
  // (ReadHeadLayout), its header and descriptors only.
  ConstBlock bytes() const { return bytes_; }

 private:
  TableLayout(ConstBlock bytes, const TableHeader &header, std::int32_t dataStart)
      : bytes_(bytes), order_(header.order), totalSize_(header.totalSize),
        descriptorCount_(header.descriptorCount), dataStart_(dataStart), flags_(header.flags) {}
  friend bool ReadTableLayout(ConstBlock object, const TableHeader &header, TableLayout *layout);
  friend bool ReadHeadLayout(ConstBlock head, TableLayout *layout);

  ConstBlock bytes_;
  ByteOrder order_ = ByteOrder::Native;
  std::int32_t totalSize_ = 0;
  std::int32_t descriptorCount_ = 0;
  std::int32_t dataStart_ = 0;
  std::uint32_t flags_ = 0;
};

// False when the magic reads neither way, descriptorCount is negative, or
// the descriptors and totalSize do not fit the block as described above.
bool ReadTableLayout(ConstBlock object, TableLayout *layout);
// The same with the header already read from `object`.
bool ReadTableLayout(ConstBlock object, const TableHeader &header, TableLayout *layout);

// The layout of an object of which only the header and the descriptors
// are at hand, in `head` (an expansion not written yet): its descriptors
// are read and checked as in ReadTableLayout, but nothing in its data area
// can be read through it. False as ReadTableLayout, or when `head` does
// not hold the descriptors.
bool ReadHeadLayout(ConstBlock head, TableLayout *layout);

// Descriptor `index`; an invalid entry for an index outside the
// descriptor table.
TableEntry ReadEntry(const TableLayout &layout, std::int32_t index);

// Whether a typed array's or raw run's data, or a nested table's header,
// lie in the data area. Inline entries and empty arrays and runs always
// fit, wherever they point; invalid entries never do.
bool EntryFits(const TableLayout &layout, const TableEntry &entry);

// A descriptor read together with the check that its data fit the data
// area (EntryFits), at the moment it was read: the steps that write into
// a block (delta restoration, rebuilds, expansion) take nothing else, so
// what they use is what was checked, whatever changed the block before.
// Only CheckEntry makes one.
class CheckedEntry {
 public:
  CheckedEntry() = default;

  const TableEntry &entry() const { return entry_; }

  // The entry's bytes in `object`, the block its layout was read from: an
  // array's or run's data; for a nested table, the rest of the data area,
  // where its own header says how much it takes. Empty for an entry
  // without data, or when `object` is too short to hold them.
  Block In(Block object) const { return Slice(object); }
  ConstBlock In(ConstBlock object) const { return Slice(object); }

 private:
  template <typename Span>
  Span Slice(Span object) const {
    if (end_ <= entry_.location || std::uint64_t(end_) > object.size()) return {};
    return object.subspan(std::size_t(entry_.location), std::size_t(end_ - entry_.location));
  }
  friend bool CheckEntry(const TableLayout &layout, std::int32_t index, CheckedEntry *checked);

  TableEntry entry_{EntryKind::Invalid, 0, 0, 0, 0};
  std::int64_t end_ = 0;
};

// Reads descriptor `index` and checks it; false for an invalid entry or
// one that does not fit.
bool CheckEntry(const TableLayout &layout, std::int32_t index, CheckedEntry *checked);

// How far the aligned layout moves past an entry with `length` bytes of
// data: a typed array to the next multiple of 8, a raw run past at least
// one zero byte to the next multiple of 8, a nested table by its size, an
// inline or invalid entry not at all.
std::int64_t AlignedAdvance(EntryKind kind, std::int64_t length);

// The totalSize of the table at `location` of `object` (a nested table, or
// at 0 a table on its own), read in that table's own byte order: -1 when
// its magic reads neither way, or its size is negative, not a multiple of
// 8, or reaches past `object`.
std::int64_t NestedTableSize(ConstBlock object, std::int32_t location);

// The bytes at `location` of `object` that preparing the nested table
// found there may write: its totalSize when that is at least a header's
// and fits `object`, whether or not it is a multiple of 8 (such a table is
// prepared in place, and refused only when a rebuild must copy it);
// otherwise its header, the most that a table refused for its size
// touches.
std::int64_t NestedTableExtent(ConstBlock object, std::int32_t location);

}  // namespace dinfo

#endif  // DINFO_TABLEOBJ_TABLE_ENTRY_H
