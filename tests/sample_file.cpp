#include "sample_file.h"

#include <vector>

#include "test_support.h"
#include "writer/table_writer.h"

namespace dinfo::test {
namespace {

using writer::AddRecord;
using writer::KeyedBlock;
using writer::MainSectionKey;
using writer::PackValues;

KeyedBlock Named(std::int16_t valueType, int rows) {
  KeyedBlock block;
  block.valueType = valueType;
  block.valuesPerRow = 1;
  for (int i = 0; i < rows; ++i) {
    block.rows.push_back({{}, valueType == 256 ? writer::PackText("text")
                                               : writer::PackNamedEntry(i, "entry", i + 1)});
  }
  return block;
}

KeyedBlock IdList(std::vector<std::int32_t> ids) {
  KeyedBlock block;
  block.valuesPerRow = static_cast<std::int16_t>(ids.size());
  block.rows.push_back({{}, PackValues(ids, 4)});
  return block;
}

void Put(writer::InfoFile &file, std::int32_t id, const KeyedBlock &block) {
  AddRecord(file, MainSectionKey, id, writer::KeyedRecord(block, 0x7A000000u + std::uint32_t(id)));
}

writer::TableDescription EveryEntryKind(bool bigEndian, bool deltaCoded) {
  writer::TableDescription table;
  table.bigEndian = bigEndian;
  table.deltaCoded = deltaCoded;
  table.entries = {writer::TypedArray(1, {1, 2, 3}), writer::TypedArray(2, {1, 1, 1, -5}),
                  writer::TypedArray(4, {100, 200, 300}), writer::RawRun({1, 2, 3, 4, 5}),
                  writer::RawRun({}), writer::InlineEntry(12345)};
  if (!deltaCoded) {
    table.entries.push_back(writer::TypedArray(3, {7, 8}));
    table.entries.push_back(writer::TypedArray(16, {1}));
  }
  return table;
}

// A parent holding an array, the nested table and an inline entry.
writer::TableDescription ParentOf(writer::TableDescription nested, bool bigEndian) {
  writer::TableDescription parent;
  parent.bigEndian = bigEndian;
  parent.entries = {writer::TypedArray(4, {9, 8, 7}), writer::NestedTable(std::move(nested)),
                    writer::InlineEntry(77)};
  return parent;
}

// Compressed after delta coding and scrambled after compression.
writer::TableDescription Compressed(bool bigEndian, bool scrambled) {
  writer::TableDescription table = EveryEntryKind(bigEndian, true);
  table.compressed = true;
  table.scrambled = scrambled;
  return table;
}

std::vector<writer::TableDescription> TableDescriptions() {
  const writer::TableDescription middle = ParentOf(Compressed(false, true), true);
  return {EveryEntryKind(false, false), Compressed(false, true), Compressed(true, false), middle,
          ParentOf(ParentOf(middle, false), true)};
}

}  // namespace

std::vector<Bytes> SampleTables() {
  std::vector<Bytes> tables;
  for (const writer::TableDescription &table : TableDescriptions()) tables.push_back(writer::EncodeTableObject(table));
  return tables;
}

Bytes SamplePreparedTable(std::int32_t selector) {
  return writer::PreparedTableObject(TableDescriptions().at(std::size_t(selector - 1)));
}

writer::InfoFile SampleFile() {
  writer::InfoFile file = FileWithStatus(0, SampleFormatType);
  Put(file, 1001, Named(264, SampleNamedCount));
  Put(file, 1002, writer::TripletRows(4, {{1, 2, 3}, {4, 5, 6}}));
  // Both category records go through a chain keyed on the selector.
  Put(file, 1003, writer::ChainTo({1}, {{{1}, 50}, {{W}, 51}}));
  Put(file, 1004, writer::ChainTo({1}, {{{1}, 51}, {{W}, 50}}));
  Put(file, 50, IdList({7, 9, 0}));
  Put(file, 51, IdList({20, 21, 0}));
  Put(file, 7, writer::TripletRows(4, {{70, 71, 72}}));
  Put(file, 9, writer::TripletRows(4, {{90, 91, 92}, {93, 94, 95}}));
  Put(file, 20, Named(256, 2));
  Put(file, 21, Named(256, 1));
  // The locator chain: selector s names locator 60 + s, which names table
  // record 100 + s of the table section.
  const std::int32_t tables = writer::AddSection(file);
  const std::vector<Bytes> objects = SampleTables();
  std::vector<std::pair<std::vector<std::int32_t>, std::int32_t>> links;
  for (std::int32_t s = 1; s <= SampleTableCount; ++s) {
    AddRecord(file, tables, 100 + s, objects[std::size_t(s - 1)]);
    Put(file, 60 + s, writer::SingleValues(4, 3, 2, PackValues({81, 100 + s, 0, 80, tables, 0}, 4)));
    links.push_back({{s}, 60 + s});
  }
  Put(file, 1005, writer::ChainTo({1}, links));
  return file;
}

}  // namespace dinfo::test
