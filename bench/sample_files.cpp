#include "sample_files.h"

#include "writer/table_writer.h"

#include <unistd.h>

#include <filesystem>
#include <set>

namespace dinfo::bench {
namespace {

using writer::AddRecord;
using writer::Bytes;
using writer::KeyedBlock;
using writer::MainSectionKey;

constexpr std::int32_t TableRecordId = 50;
constexpr std::int32_t FirstChainId = 2000;

KeyedBlock Category(std::vector<std::int32_t> ids) {
  KeyedBlock block;
  block.keyIndex = {1};
  block.valuesPerRow = static_cast<std::int16_t>(ids.size());
  block.rows.push_back({{SampleSelector}, writer::PackValues(ids, 4)});
  return block;
}

// Two rows for the selector: the section (kind 80) and the record (kind 81).
KeyedBlock Locator() {
  KeyedBlock block;
  block.keyIndex = {1};
  block.rows.push_back({{SampleSelector}, writer::PackValues({80, MainSectionKey, 0}, 4)});
  block.rows.push_back({{SampleSelector}, writer::PackValues({81, TableRecordId, 0}, 4)});
  return block;
}

// A table of about `size` bytes: one array of 16-bit samples of a smooth
// curve, as a scanner's correction tables hold them.
writer::TableDescription Leaf(std::int32_t size, const SampleShape &shape) {
  writer::TableDescription described;
  described.scrambled = shape.scrambled;
  described.deltaCoded = shape.deltaCoded;
  described.compressed = shape.compressed;
  described.bigEndian = shape.bigEndian;
  if (!shape.curve) {
    std::mt19937 random(2026);
    const auto length = static_cast<std::size_t>(size < 64 ? 64 : size) - 32;
    described.entries.push_back(writer::RawRun(MakeLzwData(shape.data, length, random)));
    return described;
  }
  const std::int32_t count = (size < 64 ? 64 : size) / 2 - 16;
  std::vector<std::int64_t> values(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) values[std::size_t(i)] = (i * 7 + (i / 97) % 5) & 0xFFFF;
  described.entries.push_back(writer::TypedArray(2, values));
  return described;
}

Bytes TableObject(const SampleShape &shape) {
  if (!shape.nested) return writer::EncodeTableObject(Leaf(shape.tableSize, shape));
  // A parent with a short array of its own and two nested halves.
  writer::TableDescription parent;
  parent.scrambled = shape.scrambled;
  parent.bigEndian = shape.bigEndian;
  parent.entries.push_back(writer::TypedArray(4, {1, 2, 3, 4, 5, 6, 7, 8}));
  for (int half = 0; half < 2; ++half) {
    parent.entries.push_back(
        writer::NestedTable(Leaf(shape.tableSize / 2, shape)));
  }
  return writer::EncodeTableObject(parent);
}

void Add(writer::InfoFile &file, std::int32_t id, const KeyedBlock &block) {
  AddRecord(file, MainSectionKey, id, writer::KeyedRecord(block, 0xA5A50000u + std::uint32_t(id)));
}

}  // namespace

Bytes MakeSampleFile(const SampleShape &shape) { return MakeSampleFileAround(shape, TableObject(shape)); }

Bytes MakeSampleFileAround(const SampleShape &shape, const Bytes &tableObject) {
  writer::InfoFile file = writer::NewInfoFile();
  const std::int32_t filler = writer::AppendRaw(file, writer::KeyedRecord(writer::TripletRows(4, {{0, 0, 0}})));
  const std::int32_t realRecords = 10 + shape.chainLinks;
  for (std::int32_t i = 0; i < shape.directoryEntries - realRecords; ++i) {
    writer::AddEntry(file, MainSectionKey, {MainSectionKey, 100000 + i, filler});
  }
  AddRecord(file, MainSectionKey, 1000,
            writer::KeyedRecord(writer::SingleValues(4, 1, 2, writer::PackValues({0, 3}, 4))));
  Add(file, 1001, writer::NamedEntryRows({{1, "first"}, {2, "second"}}));
  Add(file, 1002, writer::TripletRows(4, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
  Add(file, 1003, Category({7, 0}));
  Add(file, 1004, Category({21, 0}));
  Add(file, 7, writer::TripletRows(4, {{70, 71, 72}, {73, 74, 75}}));
  Add(file, 21, writer::NamedEntryRows({{40, "gamma"}}));
  // 1005 -> 2001 -> ... -> the locator's final block.
  std::int32_t id = 1005;
  for (std::int32_t link = 1; link < shape.chainLinks; ++link) {
    Add(file, id, writer::ChainTo({1}, {{{SampleSelector}, FirstChainId + link}}));
    id = FirstChainId + link;
  }
  Add(file, id, Locator());
  AddRecord(file, MainSectionKey, TableRecordId, tableObject);
  return writer::Finish(file);
}

// Removes the folder when the process ends.
struct SampleFolderOwner {
  std::string path;
  SampleFolderOwner() {
    path = (std::filesystem::temp_directory_path() /
            ("dinfo_bench_" + std::to_string(static_cast<long>(getpid()))))
               .string();
    std::filesystem::create_directories(path);
  }
  ~SampleFolderOwner() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

const std::string &SampleFolder() {
  static const SampleFolderOwner owner;
  return owner.path;
}

namespace {
std::set<std::string> &SavedNames() {
  static std::set<std::string> saved;
  return saved;
}
}  // namespace

std::string SaveSample(const std::string &name, const SampleShape &shape) {
  if (SavedNames().insert(name).second) writer::WriteBytes(SampleFolder() + "/" + name, MakeSampleFile(shape));
  return name;
}

std::string SaveSampleBytes(const std::string &name, const Bytes &bytes) {
  if (SavedNames().insert(name).second) writer::WriteBytes(SampleFolder() + "/" + name, bytes);
  return name;
}

const char *NameOf(Export call) {
  switch (call) {
    case Export::FormatType: return "DIGetTableFormatType";
    case Export::MainInfo: return "DIGetMainInfo";
    case Export::CategoryV: return "DIGetCategoryInfoV";
    case Export::CategoryS: return "DIGetCategoryInfoS";
    case Export::Table: return "DIGetTable";
  }
  return "";
}

const DIWideChar *Folder() {
  static const std::u16string folder(SampleFolder().begin(), SampleFolder().end());
  return reinterpret_cast<const DIWideChar *>(folder.c_str());
}

const Exports &LinkedExports() {
  static const Exports linked = {DIGetTableFormatType, DIGetMainInfo, DIGetCategoryInfoV,
                                 DIGetCategoryInfoS, DIGetTable, DIFreeTable};
  return linked;
}

bool Call(const Exports &exports, Export call, const std::string &file, Outputs &out) {
  switch (call) {
    case Export::FormatType:
      return exports.formatType(file.c_str(), Folder()) == 3;
    case Export::MainInfo: {
      std::int16_t named = 0, triplets = 0;
      return exports.mainInfo(file.c_str(), Folder(), out.named, out.triplets, &named, &triplets) == 0;
    }
    case Export::CategoryV:
      return exports.categoryV(file.c_str(), Folder(), SampleSelector, nullptr, out.triplets, 0) == 2;
    case Export::CategoryS:
      return exports.categoryS(file.c_str(), Folder(), SampleSelector, nullptr, out.named, 0) == 1;
    case Export::Table: {
      void *table = exports.table(file.c_str(), Folder(), SampleSelector, nullptr, 0);
      exports.freeTable(table);
      return table != nullptr;
    }
  }
  return false;
}

}  // namespace dinfo::bench
