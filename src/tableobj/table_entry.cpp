#include "tableobj/table_entry.h"

namespace dinfo {
namespace {

EntryKind KindOfTag(std::uint32_t tag) {
  if (tag != 0 && (tag & 0x80000000u) == 0) return EntryKind::TypedArray;
  switch (tag >> 24) {
    case TagRawRun: return EntryKind::RawRun;
    case TagNestedTable: return EntryKind::NestedTable;
    case TagInline: return EntryKind::Inline;
    default: return EntryKind::Invalid;
  }
}

std::int64_t DataStartOf(const TableHeader &header) {
  return std::int64_t(TableHeaderSize) + std::int64_t(DescriptorSize) * header.descriptorCount;
}

}  // namespace

bool ReadTableLayout(ConstBlock object, TableLayout *layout) {
  TableHeader header{};
  return ReadTableHeader(object, &header) && ReadTableLayout(object, header, layout);
}

bool ReadTableLayout(ConstBlock object, const TableHeader &header, TableLayout *layout) {
  if (header.descriptorCount < 0) return false;
  const std::int64_t dataStart = DataStartOf(header);
  if (header.totalSize < dataStart || std::uint64_t(header.totalSize) > object.size()) return false;
  *layout = TableLayout(object.first(std::size_t(header.totalSize)), header, static_cast<std::int32_t>(dataStart));
  return true;
}

bool ReadHeadLayout(ConstBlock head, TableLayout *layout) {
  TableHeader header{};
  if (!ReadTableHeader(head, &header) || header.descriptorCount < 0) return false;
  const std::int64_t dataStart = DataStartOf(header);
  if (header.totalSize < dataStart || std::uint64_t(dataStart) > head.size()) return false;
  *layout = TableLayout(head.first(std::size_t(dataStart)), header, static_cast<std::int32_t>(dataStart));
  return true;
}

TableEntry ReadEntry(const TableLayout &layout, std::int32_t index) {
  TableEntry entry{};
  entry.kind = EntryKind::Invalid;
  if (index < 0 || index >= layout.descriptorCount()) return entry;
  const std::uint8_t *at = layout.bytes().data() + TableHeaderSize + std::size_t(DescriptorSize) * std::size_t(index);
  entry.tag = ReadTableWord(at, layout.order());
  entry.location = static_cast<std::int32_t>(ReadTableWord(at + 4, layout.order()));
  entry.kind = KindOfTag(entry.tag);
  if (entry.kind == EntryKind::TypedArray) {
    entry.elementSize = static_cast<std::int32_t>((entry.tag >> 26) & 0xFu) + 1;
    entry.length = std::int64_t(entry.tag & ElementCountMask) * entry.elementSize;
  } else if (entry.kind == EntryKind::RawRun) {
    entry.elementSize = 1;
    entry.length = std::int64_t(entry.tag & RawRunLengthMask);
  }
  return entry;
}

// An empty array or run reads nothing, so where it points does not matter:
// a producer may well write 0 as the location of no data.
bool EntryFits(const TableLayout &layout, const TableEntry &entry) {
  const std::int64_t areaSize = layout.totalSize() - layout.dataStart();
  const std::int64_t offset = std::int64_t(entry.location) - layout.dataStart();
  switch (entry.kind) {
    case EntryKind::TypedArray:
    case EntryKind::RawRun: return entry.length == 0 || RangeFits(areaSize, offset, entry.length);
    case EntryKind::NestedTable: return RangeFits(areaSize, offset, TableHeaderSize);
    case EntryKind::Inline: return true;
    case EntryKind::Invalid: break;
  }
  return false;
}

bool CheckEntry(const TableLayout &layout, std::int32_t index, CheckedEntry *checked) {
  const TableEntry entry = ReadEntry(layout, index);
  if (!EntryFits(layout, entry)) return false;
  checked->entry_ = entry;
  switch (entry.kind) {
    case EntryKind::TypedArray:
    case EntryKind::RawRun: checked->end_ = std::int64_t(entry.location) + entry.length; break;
    case EntryKind::NestedTable: checked->end_ = layout.totalSize(); break;
    default: checked->end_ = 0; break;
  }
  return true;
}

std::int64_t AlignedAdvance(EntryKind kind, std::int64_t length) {
  switch (kind) {
    case EntryKind::TypedArray: return (length + 7) / 8 * 8;
    case EntryKind::RawRun: return (length + 8) / 8 * 8;
    case EntryKind::NestedTable: return length;
    case EntryKind::Inline:
    case EntryKind::Invalid: break;
  }
  return 0;
}

std::int64_t NestedTableSize(ConstBlock object, std::int32_t location) {
  if (!RangeFits(std::int64_t(object.size()), location, TableHeaderSize)) return -1;
  TableHeader header{};
  if (!ReadTableHeader(object.subspan(std::size_t(location)), &header)) return -1;
  if (header.totalSize < 0 || header.totalSize % 8 != 0 ||
      !RangeFits(std::int64_t(object.size()), location, header.totalSize)) {
    return -1;
  }
  return header.totalSize;
}

std::int64_t NestedTableExtent(ConstBlock object, std::int32_t location) {
  TableHeader header{};
  if (!RangeFits(std::int64_t(object.size()), location, TableHeaderSize) ||
      !ReadTableHeader(object.subspan(std::size_t(location)), &header) || header.totalSize < TableHeaderSize ||
      !RangeFits(std::int64_t(object.size()), location, header.totalSize)) {
    return TableHeaderSize;
  }
  return header.totalSize;
}

}  // namespace dinfo
