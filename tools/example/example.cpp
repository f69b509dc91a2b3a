// A small program that shows how a caller uses dinfo: it writes a sample
// information file with the writer, then asks every export about it,
// sizing each output array as dinfo.h says and reading the table with
// dinfo/table.h.
#include <cstdio>
#include <string>
#include <vector>

#include "dinfo/dinfo.h"
#include "dinfo/table.h"
#include "writer/table_writer.h"
#include "writer/writer.h"

namespace {

using namespace dinfo::writer;

// A big-endian table of 16-bit values with a little-endian table nested
// inside, stored compressed: DIGetTable expands it but keeps each order.
TableDescription SampleTable() {
  TableDescription nested;
  nested.entries = {TypedArray(4, {-1, 70000})};
  TableDescription table;
  table.bigEndian = true;
  table.compressed = true;
  table.entries = {TypedArray(2, {300, -2, 1200}), RawRun({'d', 'p', 'i'}), NestedTable(nested)};
  return table;
}

Bytes SampleFile() {
  InfoFile file = NewInfoFile();
  AddRecord(file, MainSectionKey, 1000, KeyedRecord(SingleValues(4, 1, 2, PackValues({0, 3}, 4))));
  KeyedBlock named;
  named.valueType = 264;
  named.valuesPerRow = 1;
  named.rows = {{{}, PackNamedEntry(1, "flatbed", 2)}, {{}, PackNamedEntry(2, "feeder", 3)}};
  AddRecord(file, MainSectionKey, 1001, KeyedRecord(named));
  AddRecord(file, MainSectionKey, 1002,
            KeyedRecord(SingleValues(4, 3, 2, PackValues({300, 600, 1200, 2400, 4800, 9600}, 4))));
  KeyedBlock category;
  category.keyIndex = {1};
  category.rows = {{{1}, PackValues({7, 0, 0}, 4)}};
  AddRecord(file, MainSectionKey, 1003, KeyedRecord(category));
  AddRecord(file, MainSectionKey, 7, KeyedRecord(SingleValues(4, 3, 1, PackValues({10, 20, 30}, 4))));
  const std::int32_t tables = AddSection(file);
  AddRecord(file, tables, 12, EncodeTableObject(SampleTable()));
  AddRecord(file, MainSectionKey, LocatorRecordId,
            LocatorRecord({{LocatorSectionKind, tables}, {LocatorRecordKind, 12}}));
  return Finish(file);
}

// Prints every entry of a table, nested tables indented, each number read
// in the table's own byte order.
void PrintTable(const DITable &table, int depth) {
  std::printf("%*stable: %s, %u entries\n", 2 * depth, "", table.bigEndian ? "big-endian" : "little-endian",
              table.descriptorCount);
  for (std::uint32_t i = 0; i < table.descriptorCount; ++i) {
    DITableEntry entry;
    if (di_table_entry(&table, i, &entry) == 0) {
      std::printf("%*s  entry %u is damaged\n", 2 * depth, "", i);
      continue;
    }
    DITable nested;
    if (entry.kind == DI_ENTRY_NESTED && di_table_nested(&table, &entry, &nested) != 0) {
      PrintTable(nested, depth + 1);
      continue;
    }
    std::printf("%*s  entry %u: kind %d, %u x %u bytes:", 2 * depth, "", i, entry.kind, entry.count,
                entry.elementSize);
    std::int32_t value = 0;
    for (std::uint32_t k = 0; di_table_element_signed(&table, &entry, k, &value) != 0; ++k) {
      std::printf(" %d", value);
    }
    std::printf("\n");
  }
}

// A result as a caller would log it: a failure with its name and cause.
void PrintResult(const char *call, std::int32_t result) {
  if (result >= 0 || di_status_name(result) == nullptr) {
    std::printf("%s: %d\n", call, result);
  } else {
    std::printf("%s: %d, %s: %s\n", call, result, di_status_name(result), di_status_cause(result));
  }
}

}  // namespace

int main(int argc, char **argv) {
  const std::string path = argc > 1 ? argv[1] : "sample.dat";
  if (!WriteBytes(path, SampleFile())) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("wrote %s\n", path.c_str());
  PrintResult("DIGetTableFormatType", DIGetTableFormatType(path.c_str(), nullptr));

  // Room for the most elements each main list can have.
  std::vector<NamedEntry> named(DI_MAIN_NAMED_MAX);
  std::vector<IntegerTriplet> triplets(DI_MAIN_TRIPLETS_MAX);
  std::int16_t namedCount = 0, tripletCount = 0;
  const std::int16_t main =
      DIGetMainInfo(path.c_str(), nullptr, named.data(), triplets.data(), &namedCount, &tripletCount);
  std::printf("DIGetMainInfo: %d (%d named entries, %d triplets)\n", main, namedCount, tripletCount);
  for (std::size_t i = 0; i < std::size_t(namedCount); ++i) {
    std::printf("  %d %.256s %d\n", named[i].leadingValue, reinterpret_cast<char *>(named[i].name),
                named[i].trailingValue);
  }

  // A category answer may be triplets or named entries: this buffer, on
  // the heap for its 2 MB, holds the most of either. This file answers
  // selector 1 with triplets.
  std::vector<NamedEntry> answer(DI_CATEGORY_NAMED_MAX);
  const std::int16_t v = DIGetCategoryInfoV(path.c_str(), nullptr, 1, nullptr, answer.data(), 0);
  PrintResult("DIGetCategoryInfoV(selector 1)", v);
  const auto *answerTriplets = reinterpret_cast<const IntegerTriplet *>(answer.data());
  for (std::int16_t i = 0; i < v; ++i) {
    std::printf("  %d %d %d\n", answerTriplets[i].values[0], answerTriplets[i].values[1],
                answerTriplets[i].values[2]);
  }
  PrintResult("DIGetCategoryInfoS(selector 1)", DIGetCategoryInfoS(path.c_str(), nullptr, 1, nullptr, answer.data(), 0));
  // A folder is UTF-16: DI_FOLDER gives the literal its right type.
  PrintResult("DIGetTableFormatType(in a missing folder)", DIGetTableFormatType(path.c_str(), DI_FOLDER("missing folder")));

  void *block = DIGetTable(path.c_str(), nullptr, 1, nullptr, 0);
  std::printf("DIGetTable(selector 1): %s\n", block != nullptr ? "a table" : "null");
  DITable table;
  if (di_table_open(block, DI_TABLE_SIZE_FROM_HEADER, &table) != 0) PrintTable(table, 1);
  DIFreeTable(block);
  return 0;
}
