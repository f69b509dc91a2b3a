// Rebuilding a parent around nested tables that came back in blocks of
// their own. Every entry is copied once, in descriptor order, into a fresh
// data area in the aligned layout: each entry starts at a multiple of 8; a
// typed array takes its length rounded up to 8, a raw run the next
// multiple of 8 above its length (so it is always followed by a zero), a
// nested table its own totalSize, an inline entry nothing. The new size
// (parent - each old nested table + its replacement) assumes the parent
// was laid out so. A parent packed more tightly is rebuilt all the same
// as long as every entry's bytes fit: only the padding after the last
// ones, or the place of an empty entry, may lie past the new size.
#include "tableobj/preparation.h"

namespace dinfo {
namespace {

struct SpliceSource {
  ConstBlock parent;  // the parent's first totalSize bytes
  TableLayout layout;
  const NestedReplacement *replacements;  // by increasing entryIndex
  std::int32_t replacementCount;
};

// The replacement's totalSize in its own order, or -1 when it is no table
// object, its size is negative or not a multiple of 8, or it passes its block.
std::int64_t ReplacementSize(ConstBlock replacement) {
  TableHeader header{};
  if (!ReadTableHeader(replacement, &header) || header.totalSize < 0 || header.totalSize % 8 != 0 ||
      std::uint64_t(header.totalSize) > replacement.size()) {
    return -1;
  }
  return header.totalSize;
}

// The parent's totalSize with every replaced nested table's size traded
// for its replacement's, or -1 when a replacement or the table it
// replaces is refused.
std::int64_t RebuiltSize(const SpliceSource &source) {
  std::int64_t size = source.layout.totalSize;
  std::int32_t previousIndex = -1;
  for (std::int32_t k = 0; k < source.replacementCount; ++k) {
    const NestedReplacement &replacement = source.replacements[k];
    if (replacement.entryIndex <= previousIndex) return -1;
    previousIndex = replacement.entryIndex;
    const TableEntry old = ReadEntry(source.parent, source.layout, replacement.entryIndex);
    if (old.kind != EntryKind::NestedTable || old.location < source.layout.dataStart) return -1;
    const std::int64_t oldSize = NestedTableSize(source.parent, old.location);
    const std::int64_t newSize = ReplacementSize(replacement.table);
    if (oldSize < 0 || newSize < 0) return -1;
    size += newSize - oldSize;
  }
  return size;
}

// Where an entry's bytes come from (null for none), how many there are,
// and how far the write position moves. False for an entry that cannot be
// copied.
bool PlanEntry(const SpliceSource &source, const TableEntry &entry, const std::uint8_t **from,
               std::int64_t *length, std::int64_t *advance) {
  switch (entry.kind) {
    case EntryKind::TypedArray:
    case EntryKind::RawRun:
      *length = entry.length;
      *advance = AlignedAdvance(entry.kind, entry.length);
      break;
    case EntryKind::NestedTable:
      *length = *advance = NestedTableSize(source.parent, entry.location);
      if (*length < 0) return false;
      break;
    default: return false;
  }
  *from = *length > 0 ? source.parent.data() + entry.location : nullptr;
  return true;
}

void WriteDescriptor(Block rebuilt, const TableLayout &layout, std::int32_t index, std::uint32_t tag,
                     std::int64_t location) {
  std::uint8_t *at = rebuilt.data() + TableHeaderSize + std::size_t(DescriptorSize) * std::size_t(index);
  WriteTableWord(at, tag, layout.order);
  WriteTableWord(at + 4, static_cast<std::uint32_t>(location), layout.order);
}

// Writes descriptors and data into `rebuilt`, whose header is in place.
// An entry's bytes must lie inside the new size; its padding need not.
bool RebuildEntries(const SpliceSource &source, Block rebuilt) {
  const std::int64_t newSize = std::int64_t(rebuilt.size());
  std::int64_t position = source.layout.dataStart;
  std::int32_t next = 0;  // the next replacement
  for (std::int32_t i = 0; i < source.layout.descriptorCount; ++i) {
    const TableEntry entry = ReadEntry(source.parent, source.layout, i);
    const bool replaced = next < source.replacementCount && source.replacements[next].entryIndex == i;
    if (entry.kind == EntryKind::Inline) {
      WriteDescriptor(rebuilt, source.layout, i, entry.tag, entry.location);
      continue;
    }
    const std::uint8_t *from = nullptr;
    std::int64_t length = 0;
    std::int64_t advance = 0;
    if (replaced) {
      const ConstBlock table = source.replacements[next++].table;
      from = table.data();
      length = advance = ReplacementSize(table);
    } else if (!PlanEntry(source, entry, &from, &length, &advance)) {
      return false;
    }
    if (position > INT32_MAX || (length > 0 && !RangeFits(newSize, position, length))) return false;
    WriteDescriptor(rebuilt, source.layout, i, replaced ? NestedTableTag : entry.tag, position);
    CopyBytes(from, rebuilt.data() + position, static_cast<std::int32_t>(length));
    position += advance;
  }
  return true;
}

}  // namespace

OwnedBlock RebuildParent(ConstBlock parent, const TableLayout &layout,
                         const NestedReplacement *replacements, std::int32_t count) {
  if (layout.totalSize % 8 != 0) return {};
  const SpliceSource source{parent.first(std::size_t(layout.totalSize)), layout, replacements, count};
  const std::int64_t newSize = RebuiltSize(source);
  if (newSize <= 0) return {};
  OwnedBlock rebuilt(AllocateBlock(newSize));
  if (rebuilt.empty()) return {};

  CopyBytes(parent.data(), rebuilt.get().data(), TableHeaderSize);
  WriteTableWord(rebuilt.get().data() + 4, static_cast<std::uint32_t>(newSize), layout.order);
  if (!RebuildEntries(source, rebuilt.get())) return {};
  return rebuilt;
}

// A parent whose body is still scrambled cannot be laid out again.
OwnedBlock SpliceNestedTables(ConstBlock outer, const NestedReplacement *replacements, std::int32_t count) {
  TableLayout layout{};
  if (outer.empty() || replacements == nullptr || count <= 0) return {};
  if (!ReadTableLayout(outer, &layout) || (layout.flags & FlagScrambled) != 0 || !EntriesFit(outer, layout)) {
    return {};
  }
  for (std::int32_t k = 0; k < count; ++k) {
    const std::int32_t index = replacements[k].entryIndex;
    if (replacements[k].table.empty() || index < 0 || index >= layout.descriptorCount) return {};
  }
  return RebuildParent(outer, layout, replacements, count);
}

OwnedBlock SpliceNestedTable(ConstBlock outer, std::int32_t entryIndex, ConstBlock replacement) {
  const NestedReplacement one{entryIndex, replacement};
  return SpliceNestedTables(outer, &one, 1);
}

}  // namespace dinfo
