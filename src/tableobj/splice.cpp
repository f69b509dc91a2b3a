// Rebuilding a parent around a nested table that came back in a block of
// its own. Every entry is copied, in descriptor order, into a fresh data
// area in the aligned layout: each entry starts at a multiple of 8; a
// typed array takes its length rounded up to 8, a raw run the next
// multiple of 8 above its length (so it is always followed by a zero), a
// nested table its own totalSize, an inline entry nothing. The new size
// (parent - old nested + replacement) assumes the parent was laid out so;
// a parent packed more tightly does not fit and is refused.
#include "tableobj/table_entry.h"

namespace dinfo {
namespace {

struct SpliceSource {
  ConstBlock parent;  // the parent's first totalSize bytes
  TableLayout layout;
  std::int32_t entryIndex;
  ConstBlock replacement;  // its first totalSize bytes
};

// Where entry i's bytes come from, how many there are, and how far the
// write position moves. False for an entry that cannot be copied.
bool PlanEntry(const SpliceSource &source, std::int32_t index, const TableEntry &entry,
               const std::uint8_t **from, std::int64_t *length, std::int64_t *advance) {
  if (index == source.entryIndex) {
    *from = source.replacement.data();
    *length = *advance = std::int64_t(source.replacement.size());
    return true;
  }
  if (!EntryFits(source.layout, entry)) return false;
  *from = source.parent.data() + entry.location;
  switch (entry.kind) {
    case EntryKind::TypedArray:
      *length = entry.length;
      *advance = (entry.length + 7) / 8 * 8;
      return true;
    case EntryKind::RawRun:
      *length = entry.length;
      *advance = (entry.length + 8) / 8 * 8;
      return true;
    case EntryKind::NestedTable:
      *length = *advance = NestedTableSize(source.parent, entry.location);
      return *length >= 0;
    default: return false;
  }
}

// Writes descriptors and data into `rebuilt`, whose header is in place.
bool RebuildEntries(const SpliceSource &source, Block rebuilt) {
  const std::int64_t newSize = std::int64_t(rebuilt.size());
  std::int64_t position = source.layout.dataStart;
  for (std::int32_t i = 0; i < source.layout.descriptorCount; ++i) {
    const TableEntry entry = ReadEntry(source.parent, source.layout, i);
    std::uint8_t *descriptor = rebuilt.data() + TableHeaderSize + std::size_t(DescriptorSize) * std::size_t(i);
    if (entry.kind == EntryKind::Inline) {
      WriteTableWord(descriptor, entry.tag, source.layout.order);
      WriteTableWord(descriptor + 4, static_cast<std::uint32_t>(entry.location), source.layout.order);
      continue;
    }
    const std::uint8_t *from = nullptr;
    std::int64_t length = 0;
    std::int64_t advance = 0;
    if (!PlanEntry(source, i, entry, &from, &length, &advance) ||
        !RangeFits(newSize, position, advance)) {
      return false;
    }
    const std::uint32_t tag = i == source.entryIndex ? NestedTableTag : entry.tag;
    WriteTableWord(descriptor, tag, source.layout.order);
    WriteTableWord(descriptor + 4, static_cast<std::uint32_t>(position), source.layout.order);
    CopyBytes(from, rebuilt.data() + position, static_cast<std::int32_t>(length));
    position += advance;
  }
  return true;
}

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

}  // namespace

Block SpliceNestedTable(ConstBlock outer, std::int32_t entryIndex, ConstBlock replacement) {
  TableHeader header{};
  if (outer.empty() || replacement.empty()) return {};
  if (!ReadTableHeader(outer, &header) || header.totalSize == -1) return {};
  if ((header.flags & FlagScrambled) != 0 || header.descriptorCount < 0) return {};
  if (entryIndex < 0 || entryIndex >= header.descriptorCount) return {};
  // The descriptors must lie inside the parent before one is read.
  SpliceSource source{outer, {}, entryIndex, replacement};
  if (!ReadTableLayout(outer, &source.layout)) return {};
  source.parent = outer.first(std::size_t(source.layout.totalSize));
  const TableEntry old = ReadEntry(source.parent, source.layout, entryIndex);
  if (old.kind != EntryKind::NestedTable || old.location < source.layout.dataStart) return {};
  if (header.totalSize % 8 != 0) return {};
  const std::int64_t oldSize = NestedTableSize(source.parent, old.location);
  const std::int64_t replacementSize = ReplacementSize(replacement);
  if (oldSize < 0 || replacementSize < 0) return {};
  const std::int64_t newSize = header.totalSize - oldSize + replacementSize;
  if (newSize <= 0) return {};
  Block rebuilt = AllocateBlock(newSize);
  if (rebuilt.empty()) return {};

  source.replacement = replacement.first(std::size_t(replacementSize));
  CopyBytes(outer.data(), rebuilt.data(), TableHeaderSize);
  WriteTableWord(rebuilt.data() + 4, static_cast<std::uint32_t>(newSize), header.order);
  if (!RebuildEntries(source, rebuilt)) ReleaseBlock(rebuilt);
  return rebuilt;
}

}  // namespace dinfo
