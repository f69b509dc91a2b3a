#include "tableobj/entry_shape.h"

namespace dinfo {
namespace {

// A nested table claims every byte its preparation may write, its header
// at least, whatever a rebuild would later make of its size.
// `shortTable` is set for a nested table whose size reads below 16.
bool RangeOf(const TableLayout &layout, const TableEntry &entry, EntryRange *range, bool *shortTable) {
  std::int64_t length = entry.length;
  if (entry.kind == EntryKind::NestedTable) {
    const std::int64_t size = NestedTableSize(layout.bytes(), entry.location);
    *shortTable = *shortTable || (size >= 0 && size < TableHeaderSize);
    length = NestedTableExtent(layout.bytes(), entry.location);
  }
  if (entry.kind == EntryKind::Inline || length <= 0) return false;
  // Entries fit an object of at most 2^31 - 1 bytes; a nested table's
  // header may pass it, which its preparation refuses.
  const std::int64_t end = entry.location + length;
  *range = {entry.location, static_cast<std::int32_t>(end > INT32_MAX ? INT32_MAX : end),
            entry.kind == EntryKind::NestedTable ? 1 : 0};
  return true;
}

bool Before(const EntryRange &a, const EntryRange &b) {
  if (a.start != b.start) return a.start < b.start;
  if (a.end != b.end) return a.end < b.end;
  return a.nested < b.nested;
}

// Heap sort: no recursion and no memory beyond the ranges.
void SiftDown(GrowingArray<EntryRange> &ranges, std::int64_t root, std::int64_t count) {
  for (std::int64_t child = 2 * root + 1; child < count; root = child, child = 2 * root + 1) {
    if (child + 1 < count && Before(ranges[child], ranges[child + 1])) ++child;
    if (!Before(ranges[root], ranges[child])) return;
    const EntryRange held = ranges[root];
    ranges[root] = ranges[child];
    ranges[child] = held;
  }
}

void SortRanges(GrowingArray<EntryRange> &ranges) {
  const std::int64_t count = ranges.Size();
  for (std::int64_t root = count / 2 - 1; root >= 0; --root) SiftDown(ranges, root, count);
  for (std::int64_t last = count - 1; last > 0; --last) {
    const EntryRange top = ranges[0];
    ranges[0] = ranges[last];
    ranges[last] = top;
    SiftDown(ranges, 0, last);
  }
}

// Sorted ranges: equal nested ranges are one shared table, any other
// range starting before the end of one before it overlaps it.
std::uint8_t ShapeOfSorted(GrowingArray<EntryRange> &ranges) {
  std::uint8_t shape = 0;
  std::int32_t furthest = 0;
  for (std::int64_t k = 0; k < ranges.Size(); ++k) {
    const EntryRange &range = ranges[k];
    const bool sameTable = k > 0 && range.nested != 0 && ranges[k - 1].nested != 0 &&
                           range.start == ranges[k - 1].start && range.end == ranges[k - 1].end;
    if (sameTable) {
      shape |= SharedNestedTables;
    } else if (k > 0 && range.start < furthest) {
      shape |= OverlappingEntries;
    }
    if (range.end > furthest) furthest = range.end;
  }
  return shape;
}

// The entries in descriptor order one after another, as writers lay them
// out; `shortTable` as RangeOf sets it.
bool InOrder(const TableLayout &layout, bool *shortTable) {
  std::int32_t end = 0;
  bool inOrder = true;
  for (std::int32_t i = 0; i < layout.descriptorCount(); ++i) {
    EntryRange range{};
    if (!RangeOf(layout, ReadEntry(layout, i), &range, shortTable)) continue;
    inOrder = inOrder && range.start >= end;
    end = range.end;
  }
  return inOrder;
}

}  // namespace

Fault ShapeOfEntries(const TableLayout &layout, GrowingArray<EntryRange> *scratch,
                     PrepareBudget *budget, std::uint8_t *shape) {
  const std::int64_t count = layout.descriptorCount();
  if (!TakeWork(budget, count * DescriptorWork)) return Fault::TooMuchWork;
  bool shortTable = false;
  const bool inOrder = InOrder(layout, &shortTable);
  *shape = shortTable ? ShortNestedTables : 0;
  if (inOrder) return Fault::None;
  // A heap sort compares about 2 log2(n) times an entry.
  std::int64_t passes = 1;
  for (std::int64_t n = count; n > 1; n /= 2) ++passes;
  if (!TakeWork(budget, 2 * passes * count * DescriptorWork)) return Fault::TooMuchWork;
  scratch->Clear();
  for (std::int32_t i = 0; i < layout.descriptorCount(); ++i) {
    EntryRange range{};
    if (RangeOf(layout, ReadEntry(layout, i), &range, &shortTable) && !scratch->Push(range)) {
      return Fault::NoMemory;
    }
  }
  SortRanges(*scratch);
  *shape |= ShapeOfSorted(*scratch);
  return Fault::None;
}

}  // namespace dinfo
