// Table objects: the self-describing blocks DIGetTable hands to its caller.
// A 16-byte header (magic, totalSize, descriptorCount, flags), then
// descriptorCount 8-byte descriptors (tag, location), then the data area.
// The magic also tells the byte order: it reads 0x50178516 in the machine's
// (little-endian) order and 0x16851750 in the opposite one. Every header
// and descriptor word is in the object's own order.
#ifndef DINFO_TABLEOBJ_TABLE_OBJECT_H
#define DINFO_TABLEOBJ_TABLE_OBJECT_H

#include <cstdint>

#include "common/block.h"
#include "common/bytes.h"
#include "common/fault.h"

namespace dinfo {

constexpr std::uint32_t TableObjectMagic = 0x50178516u;
constexpr std::uint32_t TableObjectMagicSwapped = 0x16851750u;
constexpr std::int32_t TableHeaderSize = 16;
constexpr std::int32_t DescriptorSize = 8;

constexpr std::uint32_t FlagScrambled = 0x80000000u;
constexpr std::uint32_t FlagCompressed = 0x40000000u;
constexpr std::uint32_t FlagDeltaCoded = 0x20000000u;

constexpr std::uint32_t TagRawRun = 0x9Au;        // high byte
constexpr std::uint32_t TagNestedTable = 0xDCu;   // high byte
constexpr std::uint32_t TagInline = 0xF8u;        // high byte

enum class ByteOrder { Native, Swapped };

inline std::uint32_t ReadTableWord(const std::uint8_t *at, ByteOrder order) {
  return order == ByteOrder::Native ? ReadU32LittleEndian(at) : ReadU32BigEndian(at);
}
inline void WriteTableWord(std::uint8_t *at, std::uint32_t value, ByteOrder order) {
  if (order == ByteOrder::Native) {
    WriteU32LittleEndian(at, value);
  } else {
    WriteU32BigEndian(at, value);
  }
}

// The header as native values.
struct TableHeader {
  ByteOrder order;
  std::int32_t totalSize;
  std::int32_t descriptorCount;
  std::uint32_t flags;
};

// False when the block is shorter than a header or its magic reads
// neither way.
inline bool ReadTableHeader(ConstBlock object, TableHeader *header) {
  if (object.size() < std::size_t(TableHeaderSize)) return false;
  const std::uint32_t magic = ReadU32LittleEndian(object.data());
  if (magic != TableObjectMagic && magic != TableObjectMagicSwapped) return false;
  header->order = magic == TableObjectMagic ? ByteOrder::Native : ByteOrder::Swapped;
  header->totalSize = static_cast<std::int32_t>(ReadTableWord(object.data() + 4, header->order));
  header->descriptorCount = static_cast<std::int32_t>(ReadTableWord(object.data() + 8, header->order));
  header->flags = ReadTableWord(object.data() + 12, header->order);
  return true;
}

// A table object after a step that may move it: `object` is where it now
// lies, either in the block the step was given (then `made` is empty) or
// in the new block that `made` owns. After a fault both are empty.
struct TableInBlock {
  Fault fault = Fault::None;
  Block object;
  OwnedBlock made;
};

// A stored object whose header has been checked against the block it came
// in: its magic reads one way and 16 <= totalSize <= the block. The body
// may still be scrambled or compressed, so its descriptors are not looked
// at yet. Only CheckStoredTable makes one (a default one holds nothing).
class StoredTable {
 public:
  StoredTable() = default;

  // The object's first totalSize bytes.
  Block object() const { return object_; }
  const TableHeader &header() const { return header_; }

  // Clears a coding's flag once its step is undone, in the object and here.
  void ClearFlag(std::uint32_t flag) {
    header_.flags &= ~flag;
    WriteTableWord(object_.data() + 12, header_.flags, header_.order);
  }

 private:
  StoredTable(Block object, const TableHeader &header) : object_(object), header_(header) {}
  friend bool CheckStoredTable(Block given, const TableHeader &header, StoredTable *stored);

  Block object_;
  TableHeader header_{};
};

// False when the object at the start of `given`, with `header` read from
// it, does not pass the checks above.
inline bool CheckStoredTable(Block given, const TableHeader &header, StoredTable *stored) {
  if (header.totalSize < TableHeaderSize || std::uint64_t(header.totalSize) > given.size()) return false;
  *stored = StoredTable(given.first(std::size_t(header.totalSize)), header);
  return true;
}

// Undoes scrambling, compression and delta coding of the stored object in
// `object` and of every nested table, keeping the stored byte order. The
// prepared object stays in `object` when all was done in place, and comes
// in a new block when it had to be expanded or rebuilt. May change
// `object` in place, also on failure. TooMuchWork when the object would
// take more memory or work than prepare_budget.h allows.
TableInBlock PrepareTableObject(Block object);

// Undoes FlagScrambled in place: unscrambles the body (totalSize - 16
// bytes after the header) and clears the flag. BadArgument, BadData, or
// ScrambleRefused (the flag then stays).
Fault UnscrambleTableObject(Block object);

// Undoes FlagDeltaCoded in place: every typed array of element size 1, 2
// or 4 and every raw run becomes its running sum, wrapping at the element
// width, in the object's byte order; then flags becomes 0. Nested tables
// are left to their own preparation. BadArgument (flags other than
// FlagDeltaCoded alone, among others) or BadData.
Fault RestoreDeltas(Block object);

// A new block holding `outer` with the nested table of descriptor
// `entryIndex` replaced by the table object in `replacement`, every entry
// laid out again in the aligned layout. Empty on any failure, among them a
// parent with an entry whose bytes do not fit that layout's size. Changes
// neither input.
OwnedBlock SpliceNestedTable(ConstBlock outer, std::int32_t entryIndex, ConstBlock replacement);

// Nesting has no depth limit of its own: a nested table lies inside its
// parent's data area, after at least a header and one descriptor of each
// table above it.
constexpr std::int32_t NestingLevelMinBytes = TableHeaderSize + DescriptorSize;

// Expands a compressed object into a new block (header kept in its byte
// order, totalSize = 16 + expanded length, FlagCompressed clear). An object
// that is not compressed stays where it is. BadData, or the expansion's
// fault (lzw/lzw.h). Never changes `object`.
TableInBlock DecompressTableObject(Block object);

// The same for a checked object that is compressed.
TableInBlock ExpandStoredTable(const StoredTable &stored);

// The start of expanding a checked compressed object whose expansion is
// to be written into a block made later (the parent rebuilt around it).
// Either `whole` holds the whole expansion (as ExpandStoredTable's), or
// `head` holds its header and descriptors and `size` its whole size, for
// FinishExpansion; or, with neither and no fault, only ExpandStoredTable
// can tell (a stream that expands little, whose rest would cost as much to
// measure as to decode, one whose table does not stay plain, or one that
// holds nested tables, whose preparation could change its size). Faults
// as ExpandStoredTable's.
struct ExpansionStart {
  Fault fault = Fault::None;
  OwnedBlock whole;
  OwnedBlock head;
  std::int64_t size = 0;
};
ExpansionStart StartExpansion(const StoredTable &stored);

// Expands the object stored in `stored` (unscrambled) into `out`, which
// must be the size StartExpansion gave, with the header from `head`.
bool FinishExpansion(ConstBlock stored, ConstBlock head, Block out);

}  // namespace dinfo

#endif  // DINFO_TABLEOBJ_TABLE_OBJECT_H
