// Table objects for tests and the command-line tool: a plain tree of
// structs describing the entries, encoded in the form a file stores
// (delta-coded, compressed, scrambled, in either byte order) and in the form the
// library hands back after preparation. Data areas follow the aligned
// layout: entries in descriptor order from the end of the descriptor
// table, each at a multiple of 8; a typed array takes its length rounded
// up to 8, a raw run the next multiple of 8 above its length, a nested
// table its own totalSize, an inline entry nothing.
#ifndef DINFO_TOOLS_WRITER_TABLE_WRITER_H
#define DINFO_TOOLS_WRITER_TABLE_WRITER_H

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "writer/writer.h"

namespace dinfo::writer {

enum class TableEntryKind { TypedArray, RawRun, NestedTable, Inline };

struct TableDescription;

struct TableEntryDescription {
  TableEntryKind kind = TableEntryKind::RawRun;
  std::int32_t elementSize = 1;      // typed arrays: 1 to 16
  std::vector<std::int64_t> values;  // typed arrays: one value per element (low bytes kept)
  // Raw runs: the bytes. Typed arrays: when not empty, the elements' bytes
  // instead of values, each element least significant byte first.
  Bytes bytes;
  std::int32_t inlineLocation = 0;  // inline entries: the location word
  std::vector<TableDescription> nested;    // nested tables: exactly one
  // Overrides of the descriptor words, for damaged objects.
  std::optional<std::uint32_t> tag;
  std::optional<std::int32_t> location;
};

struct TableDescription {
  bool bigEndian = false;  // the order opposite to the machine's
  bool scrambled = false;
  bool compressed = false;
  bool deltaCoded = false;
  std::uint32_t strayFlags = 0;  // bits 0 to 28, which carry no meaning
  std::uint32_t scrambleKey = 0x3C5A96E1u;
  std::vector<TableEntryDescription> entries;
  std::int32_t tailBytes = 0;  // zero bytes after the entries, a multiple of 8
  // Overrides of the header words, for damaged objects.
  std::optional<std::int32_t> totalSize;
  std::optional<std::int32_t> descriptorCount;
  std::optional<std::uint32_t> flags;
  // Bytes set in the stored form once it is compressed, before it is
  // scrambled (offset, value), for damaged streams; offsets past the end
  // are ignored.
  std::vector<std::pair<std::size_t, std::uint8_t>> storedPatches;
};

TableEntryDescription TypedArray(std::int32_t elementSize, std::vector<std::int64_t> values);
TableEntryDescription TypedBytes(std::int32_t elementSize, Bytes elementBytes);
TableEntryDescription RawRun(Bytes bytes);
TableEntryDescription NestedTable(TableDescription table);
TableEntryDescription InlineEntry(std::int32_t location);

struct EncodedTable {
  Bytes stored;    // as a file holds it
  Bytes prepared;  // as preparation hands it back
  // Whether preparation must rebuild it in a block of its own.
  bool needsOwnBlock = false;
};

EncodedTable EncodeTable(const TableDescription &described);
inline Bytes EncodeTableObject(const TableDescription &described) { return EncodeTable(described).stored; }
inline Bytes PreparedTableObject(const TableDescription &described) { return EncodeTable(described).prepared; }

// Record 1005, the table locator: a single block answering one row of
// (kind, number, 0) per given pair.
constexpr std::int32_t LocatorRecordId = 1005;
constexpr std::int32_t LocatorSectionKind = 80;
constexpr std::int32_t LocatorRecordKind = 81;
struct LocatorRow {
  std::int32_t kind;
  std::int32_t number;
};
KeyedBlock LocatorBlock(const std::vector<LocatorRow> &rows);
Bytes LocatorRecord(const std::vector<LocatorRow> &rows);

}  // namespace dinfo::writer

#endif  // DINFO_TOOLS_WRITER_TABLE_WRITER_H
