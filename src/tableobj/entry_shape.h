// How the entries of a table lie in its data area. A writer lays them out
// one after another in descriptor order. A file may also name one nested
// table from several descriptors (shared), or let entries overlap, so
// that preparing one nested table in place changes the bytes of another
// entry, or hold a nested table shorter than its own header. Preparation
// must then keep to the order in which those bytes are read (see
// nested_walk.cpp).
#ifndef DINFO_TABLEOBJ_ENTRY_SHAPE_H
#define DINFO_TABLEOBJ_ENTRY_SHAPE_H

#include <cstdint>

#include "common/fault.h"
#include "tableobj/prepare_budget.h"
#include "tableobj/table_entry.h"

namespace dinfo {

constexpr std::uint8_t SharedNestedTables = 1;  // descriptors naming the same nested table
constexpr std::uint8_t OverlappingEntries = 2;  // any other two entries with bytes in common
// A nested table whose totalSize is below a header's 16 bytes: it is
// prepared from its whole header, but a rebuild copies only totalSize
// bytes of it.
constexpr std::uint8_t ShortNestedTables = 4;

// The bytes of one entry: [start, end), and whether it is a nested table.
struct EntryRange {
  std::int32_t start;
  std::int32_t end;
  std::int32_t nested;
};

// The shape of the entries of an object whose entries fit its data area
// (EntriesFit): a combination of the bits above. Entries out of order are
// sorted in `scratch`. NoMemory or TooMuchWork when that cannot be done.
Fault ShapeOfEntries(const TableLayout &layout, GrowingArray<EntryRange> *scratch,
                     PrepareBudget *budget, std::uint8_t *shape);

}  // namespace dinfo

#endif  // DINFO_TABLEOBJ_ENTRY_SHAPE_H
