// Writes the fuzzers' starting corpora, one folder per harness, into the
// folder named on the command line. Inputs are made by the writer, so
// the corpora follow the format as the library reads it: each kind of
// keyed block and value type, chains and a chain loop, damaged
// directories, locators in either row order, and table objects in both
// byte orders with every coding and nesting, and a few laid out by hand
// (shared and overlapping nested tables, deep nesting).
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "dinfo/dinfo.h"
#include "keyed/keyed_block.h"
#include "lzw_reference.h"
#include "table_recipe.h"
#include "writer/lzw_encoder.h"
#include "writer/table_writer.h"
#include "writer/writer.h"

namespace dinfo::fuzz {
namespace {

using writer::AddRecord;
using writer::Bytes;
using writer::InfoFile;
using writer::KeyedBlock;
using writer::MainSectionKey;
using writer::PackValues;

constexpr std::int32_t W = KeyWildcard;
constexpr std::uint8_t FlagPlainRecords = 2;

// Everything the seeds of one information file need: its records are
// scrambled with real keys, or stored plain for the harnesses' plain mode.
struct FileMaker {
  InfoFile file = writer::NewInfoFile();
  bool plain = false;

  void Put(std::int32_t id, const KeyedBlock &block) {
    const std::uint32_t key = plain ? 0u : 0x5A3C0000u + std::uint32_t(id);
    AddRecord(file, MainSectionKey, id, writer::KeyedRecord(block, key));
  }
};

KeyedBlock Values(std::int16_t valueType, std::vector<std::vector<std::int32_t>> rows,
                  std::vector<std::int32_t> keyIndex = {}, std::vector<std::int32_t> keys = {},
                  std::int16_t kind = 3) {
  KeyedBlock block;
  block.kind = kind;
  block.valueType = valueType;
  block.keyIndex = std::move(keyIndex);
  for (auto &values : rows) block.rows.push_back({keys, PackValues(values, valueType)});
  return block;
}

KeyedBlock Status(std::int32_t fileStatus, std::int32_t formatType, std::int16_t rows = 2) {
  return writer::SingleValues(4, 1, rows, PackValues({fileStatus, formatType}, 4));
}

KeyedBlock NamedEntries(std::int16_t kind) {
  KeyedBlock block;
  block.kind = kind;
  block.valueType = 264;
  block.valuesPerRow = 1;
  block.rows.push_back({{}, writer::PackNamedEntry(1, "first", 2)});
  block.rows.push_back({{}, writer::PackNamedEntry(3, "second", 4)});
  return block;
}

KeyedBlock Texts() {
  KeyedBlock block;
  block.valueType = 256;
  block.valuesPerRow = 1;
  block.rows = {{{}, writer::PackText("alpha")}, {{}, writer::PackText("beta")}};
  return block;
}

// A category record: each selector lists record ids, ending in 0.
KeyedBlock Category(const std::vector<std::pair<std::int32_t, std::vector<std::int32_t>>> &lists) {
  KeyedBlock block;
  block.keyIndex = {1};
  block.valuesPerRow = 4;
  for (const auto &[selector, ids] : lists) {
    std::vector<std::int32_t> padded = ids;
    padded.resize(4, 0);
    block.rows.push_back({{selector}, PackValues(padded, 4)});
  }
  return block;
}

KeyedBlock Locator(std::vector<std::pair<std::int32_t, std::int32_t>> rows) {
  std::vector<std::int32_t> values;
  for (auto [kind, number] : rows) values.insert(values.end(), {kind, number, 0});
  return writer::SingleValues(4, 3, static_cast<std::int16_t>(rows.size()), PackValues(values, 4));
}

// Table objects for the locators, stored in a section of their own.
std::vector<Bytes> TableObjects();

// The richest file: every record id the exports read, every block kind and
// value type, a chain of three blocks, and a locator chain to tables.
InfoFile FullFile(bool plain) {
  FileMaker maker{writer::NewInfoFile(), plain};
  maker.Put(1000, Status(0, 3));
  maker.Put(1001, NamedEntries(3));
  maker.Put(1002, Values(4, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
  maker.Put(1003, Category({{1, {7, 9}}, {2, {11}}, {3, {12}}, {4, {13}}, {5, {30}}, {6, {20, 21}}}));
  maker.Put(1004, writer::ChainTo({1}, {{{1}, 40}, {{W}, 41}}));
  maker.Put(40, Values(4, {{20, 21, 0}}, {5}, {W}, 2));
  maker.Put(41, Category({{2, {7}}}));
  maker.Put(7, Values(4, {{70, 71, 72}, {73, 74, 75}}));
  maker.Put(9, Values(4, {{90, 91, 92}, {93, 94, 95}}, {5}, {W}));
  maker.Put(11, Values(3, {{1, 2, 3}}));
  maker.Put(12, Values(1, {{0x7F, 0x80, 0xFF}}, {5, 6}, {W, -1}));
  maker.Put(13, Values(2, {{0x8000, 0x0001, 0xFFFF}}, {}, {}, 2));
  maker.Put(20, Texts());
  maker.Put(21, NamedEntries(2));
  maker.Put(30, writer::ChainTo({5}, {{{1}, 31}, {{2}, 32}, {{W}, 7}}));
  maker.Put(31, writer::ChainTo({6}, {{{W}, 32}}));
  maker.Put(32, writer::SingleValues(4, 3, 2, PackValues({1, 2, 3, 4, 5, 6}, 4)));
  // Locator: a chain on the selector to single blocks naming a table.
  const std::int32_t tables = writer::AddSection(maker.file);
  const std::vector<Bytes> objects = TableObjects();
  std::vector<std::pair<std::vector<std::int32_t>, std::int32_t>> links;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const auto id = static_cast<std::int32_t>(100 + i);
    AddRecord(maker.file, tables, id, objects[i]);
    const auto locator = static_cast<std::int32_t>(200 + i);
    maker.Put(locator, i % 2 == 0 ? Locator({{80, tables}, {81, id}}) : Locator({{81, id}, {80, tables}}));
    links.push_back({{static_cast<std::int32_t>(i + 1)}, locator});
  }
  maker.Put(1005, writer::ChainTo({1}, links));
  return maker.file;
}

// Files whose status record or directory is out of the ordinary.
std::vector<std::pair<std::string, InfoFile>> OddFiles(bool plain) {
  std::vector<std::pair<std::string, InfoFile>> files;
  const std::vector<std::pair<std::string, KeyedBlock>> statuses = {
      {"unusable", Status(5, 3)}, {"one-row", Status(0, 3, 1)}, {"negative-type", Status(0, -7)},
      {"type-as-open-failure", Status(0, ErrOpenFile)}, {"no-row", Values(4, {}, {}, {}, 3)}};
  for (const auto &[name, status] : statuses) {
    FileMaker maker{writer::NewInfoFile(), plain};
    maker.Put(1000, status);
    maker.Put(1002, Values(4, {{1, 2, 3}}));
    files.push_back({"status-" + name, maker.file});
  }
  {
    FileMaker maker{writer::NewInfoFile(), plain};
    KeyedBlock disabled = Status(0, 3);
    disabled.disabledFlag = 1;
    maker.Put(1000, disabled);
    files.push_back({"status-disabled", maker.file});
  }
  {
    // A chain that comes back on itself, and one naming a missing record.
    FileMaker maker{writer::NewInfoFile(), plain};
    maker.Put(1000, Status(0, 1));
    maker.Put(1003, writer::ChainTo({1}, {{{1}, 60}, {{2}, 99}}));
    maker.Put(60, writer::ChainTo({1}, {{{W}, 1003}}));
    files.push_back({"chain-loop", maker.file});
  }
  {
    // Duplicate and absent entries, and a second section.
    FileMaker maker{writer::NewInfoFile(), plain};
    maker.Put(1000, Status(0, 2));
    writer::AddEntry(maker.file, MainSectionKey, {MainSectionKey, 1001, -1});
    maker.Put(1001, NamedEntries(3));
    const std::int32_t other = writer::AddSection(maker.file);
    AddRecord(maker.file, other, 1002, writer::KeyedRecord(Values(4, {{1, 2, 3}})));
    maker.Put(1002, Values(2, {{1, 2, 3}}));
    files.push_back({"directory-odd", maker.file});
  }
  return files;
}

Bytes WithQuery(const Bytes &file, std::int32_t selector, std::vector<std::pair<std::int32_t, std::int32_t>> pairs,
                std::uint8_t flags) {
  Bytes out;
  writer::AppendI32(out, selector);
  writer::AppendI16(out, static_cast<std::int16_t>(pairs.size()));
  out.push_back(flags);
  out.push_back(0);
  pairs.resize(3, {0, 0});
  for (auto [index, value] : pairs) {
    writer::AppendI32(out, index);
    writer::AppendI32(out, value);
  }
  out.insert(out.end(), file.begin(), file.end());
  return out;
}

using writer::TableDescription;

TableDescription Plain(std::vector<writer::TableEntryDescription> entries, bool bigEndian = false) {
  TableDescription table;
  table.entries = std::move(entries);
  table.bigEndian = bigEndian;
  return table;
}

std::vector<writer::TableEntryDescription> EveryEntryKind() {
  return {writer::TypedArray(1, {1, 2, 3}), writer::TypedArray(2, {1, 1, 1, -5}),
          writer::TypedArray(4, {100, 200, 300}), writer::TypedArray(3, {7, 8}),
          writer::TypedArray(16, {1}), writer::RawRun({1, 2, 3, 4, 5}), writer::RawRun({}),
          writer::InlineEntry(12345)};
}

std::vector<TableDescription> TableDescriptions() {
  std::vector<TableDescription> specs;
  for (bool bigEndian : {false, true}) {
    specs.push_back(Plain({}, bigEndian));
    specs.push_back(Plain(EveryEntryKind(), bigEndian));
    TableDescription coded = Plain(EveryEntryKind(), bigEndian);
    coded.entries.pop_back();
    coded.entries.erase(coded.entries.begin() + 3, coded.entries.begin() + 5);
    coded.deltaCoded = true;
    specs.push_back(coded);
    coded.scrambled = true;
    specs.push_back(coded);
    TableDescription inner = Plain({writer::TypedArray(2, {5, 6, 7})}, !bigEndian);
    inner.scrambled = true;
    TableDescription middle = Plain({writer::RawRun({9, 9}), writer::NestedTable(inner)}, bigEndian);
    middle.deltaCoded = true;
    specs.push_back(Plain({writer::TypedArray(4, {1}), writer::NestedTable(middle), writer::InlineEntry(0)}, bigEndian));
  }
  TableDescription stray = Plain({writer::RawRun({1})});
  stray.strayFlags = 1;
  specs.push_back(stray);
  return specs;
}

// Compressed objects (scrambled after compression or not, delta-coded
// before it), and parents whose nested table is compressed, so preparation
// has to expand and splice.
std::vector<TableDescription> CompressedDescriptions() {
  std::vector<TableDescription> specs;
  for (bool bigEndian : {false, true}) {
    TableDescription coded = Plain(EveryEntryKind(), bigEndian);
    coded.entries.resize(3);
    coded.deltaCoded = true;
    coded.compressed = true;
    coded.scrambled = bigEndian;
    specs.push_back(coded);
    TableDescription empty = Plain({}, bigEndian);
    empty.compressed = true;
    specs.push_back(empty);
    const TableDescription parent =
        Plain({writer::RawRun({4, 5}), writer::NestedTable(coded), writer::InlineEntry(3)}, !bigEndian);
    specs.push_back(parent);
    specs.push_back(Plain({writer::NestedTable(parent)}, bigEndian));
  }
  return specs;
}

// A table object laid out by hand: the header, the descriptors as given
// (tag, location), then `data`.
Bytes HandLaid(bool bigEndian, const std::vector<std::pair<std::uint32_t, std::int32_t>> &descriptors,
               const Bytes &data, std::uint32_t flags = 0) {
  std::vector<std::uint32_t> words = {0x50178516u, std::uint32_t(16 + 8 * descriptors.size() + data.size()),
                                      std::uint32_t(descriptors.size()), flags};
  for (const auto &[tag, location] : descriptors) words.insert(words.end(), {tag, std::uint32_t(location)});
  Bytes out;
  for (std::uint32_t word : words) {
    for (int k = 0; k < 4; ++k) out.push_back(std::uint8_t(word >> (bigEndian ? 24 - 8 * k : 8 * k)));
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes Joined(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Layouts a writer does not make: descriptors sharing a nested table at
// every level of a deep and wide nesting; a raw run over a scrambled
// nested table after a compressed one; five descriptors naming a table
// that holds a compressed one, with room for the copies; a nesting
// hundreds of levels deep with a compressed table at the bottom.
std::vector<Bytes> HandLaidTables() {
  TableDescription leaf = Plain({writer::TypedArray(2, {1, 1, 1})});
  leaf.scrambled = true;
  leaf.deltaCoded = true;
  TableDescription packed = Plain({writer::RawRun({7, 7, 7})}, true);
  packed.compressed = true;
  const Bytes leafStored = writer::EncodeTableObject(leaf);
  const Bytes packedStored = writer::EncodeTableObject(packed);
  std::vector<Bytes> objects;
  Bytes shared = leafStored;
  for (int level = 0; level < 10; ++level) {
    shared = HandLaid(level % 2 == 0, std::vector<std::pair<std::uint32_t, std::int32_t>>(4, {0xDC000000u, 48}), shared);
  }
  objects.push_back(shared);
  for (bool bigEndian : {false, true}) {
    const auto bAt = std::int32_t(40 + packedStored.size());
    const std::uint32_t run = 0x9A000000u | std::uint32_t(leafStored.size());
    objects.push_back(HandLaid(bigEndian, {{0xDC000000u, 40}, {run, bAt}, {0xDC000000u, bAt}},
                               Joined({packedStored, leafStored, Bytes(leafStored.size() + 8, 0)})));
  }
  const Bytes middle = writer::EncodeTableObject(Plain({writer::NestedTable(packed)}));
  Bytes copies = middle;
  copies.resize(5 * middle.size(), 0);
  objects.push_back(HandLaid(false, std::vector<std::pair<std::uint32_t, std::int32_t>>(5, {0xDC000000u, 56}), copies));
  Bytes deep = packedStored;
  for (int level = 0; level < 300; ++level) deep = HandLaid(level % 2 == 0, {{0xDC000000u, 24}}, deep);
  objects.push_back(deep);
  return objects;
}

std::vector<Bytes> TableObjects() {
  std::vector<Bytes> objects;
  for (const TableDescription &table : TableDescriptions()) objects.push_back(writer::EncodeTableObject(table));
  for (const TableDescription &table : CompressedDescriptions()) objects.push_back(writer::EncodeTableObject(table));
  for (const Bytes &object : HandLaidTables()) objects.push_back(object);
  return objects;
}

// Inputs of the LZW harness: a header byte (bit 0 the opposite byte order,
// bit 1 delta coding kept) and a code stream.
std::vector<Bytes> LzwStreams() {
  std::vector<std::vector<std::int32_t>> streams = {
      {256, 65, 66, 257},                               // two bytes
      {256, 65, 258, 257},                              // a code that is being assigned
      {256, 257},                                       // nothing
      {65, 66},                                         // no clear code first
      {256, 65, 66, 67, 68, 69, 70, 71, 72, 257},       // eight bytes
      {256, 1, 2, 258, 259, 260, 261, 262, 263, 256, 3, 4, 5, 6, 7, 8, 9, 10, 257}};
  std::vector<std::int32_t> growing = {256};
  for (std::int32_t i = 0; i < 1100; ++i) growing.push_back(i % 251);
  growing.push_back(257);
  streams.push_back(growing);
  std::vector<std::int32_t> full = {256};
  for (std::int32_t i = 0; i < 3839; ++i) full.push_back(i % 256);
  full.insert(full.end(), {256, 65, 66, 67, 68, 69, 70, 71, 72, 257});
  streams.push_back(full);
  std::vector<Bytes> encoded;
  for (const Bytes &object : TableObjects()) encoded.push_back(writer::LzwEncode(Bytes(object.begin() + 16, object.end())));
  Bytes runs;
  for (int i = 0; i < 6000; ++i) runs.push_back(static_cast<std::uint8_t>(i / 700));
  encoded.push_back(writer::LzwEncode(runs));
  std::vector<Bytes> inputs;
  for (const Bytes &stream : encoded) {
    Bytes input = {0};
    input.insert(input.end(), stream.begin(), stream.end());
    inputs.push_back(input);
  }
  for (std::uint8_t header : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{2}}) {
    for (const auto &codes : streams) {
      Bytes input = {header};
      const Bytes packed = test::PackCodes(codes);
      input.insert(input.end(), packed.begin(), packed.end());
      inputs.push_back(input);
    }
  }
  return inputs;
}

// Recipes of the table_structure harness (see table_recipe.h): each
// coding, entry kind and nesting, then damage through each kind of
// mutation, and three layouts one byte short of the in-place writes that
// once went past a block (an odd-sized delta-coded sibling whose running
// sum reaches an earlier sibling measured for a later expansion, or one
// already delivered as moved; a header-only table before a compressed
// sibling).
namespace shapes {
using namespace recipe;

Bytes Typed(std::uint8_t sizeIndex, std::uint8_t count, std::uint8_t pattern, std::uint8_t a, std::uint8_t b,
            bool isLong = false) {
  return {TypedOf(sizeIndex, isLong), count, pattern, a, b};
}
Bytes RawOf(std::uint8_t length, std::uint8_t pattern = Ramp, std::uint8_t a = 1, std::uint8_t b = 3) {
  return {Raw, length, pattern, a, b};
}
Bytes InlineAt(std::uint8_t low, std::uint8_t high) { return {Inline, low, high}; }
Bytes Table(int flags, const std::vector<Bytes> &entries, std::uint8_t sizeDelta = 0) {
  Bytes out = {static_cast<std::uint8_t>(flags)};
  if ((flags & HeaderOnly) != 0) return out;
  out.push_back(static_cast<std::uint8_t>(entries.size()));
  for (const Bytes &entry : entries) out.insert(out.end(), entry.begin(), entry.end());
  if ((flags & OddSize) != 0) out.push_back(sizeDelta);
  return out;
}
Bytes NestedOf(const Bytes &table) {
  Bytes out = {Nested};
  out.insert(out.end(), table.begin(), table.end());
  return out;
}
struct Change {
  std::uint8_t target;
  What what;
  std::uint8_t choice, a, b;
};
Bytes Recipe(const Bytes &table, const std::vector<Change> &changes = {}) {
  Bytes out = table;
  out.push_back(static_cast<std::uint8_t>(changes.size()));
  for (const Change &change : changes) Mutation(out, change.target, change.what, change.choice, change.a, change.b);
  return out;
}

// A delta-coded array that expands well past 4 KiB from a short stream.
Bytes LongRamp() { return Typed(2, 63, Ramp, 1, 1, true); }

std::vector<Bytes> Recipes() {
  std::vector<Bytes> recipes;
  for (std::uint8_t order : {std::uint8_t{0}, BigEndian}) {
    // At most 7 entries a table.
    const std::vector<Bytes> everyKind = {Typed(0, 3, Ramp, 1, 1),     Typed(1, 4, Alternate, 1, 0xFB),
                                          Typed(2, 3, Ramp, 100, 100), Typed(5, 2, Constant, 7, 0),
                                          Typed(7, 1, Constant, 1, 0), RawOf(5),
                                          InlineAt(0x39, 0x30)};
    const std::vector<Bytes> codable = {Typed(0, 5, Ramp, 1, 2), Typed(1, 4, Alternate, 1, 0xFB),
                                        Typed(2, 3, Ramp, 100, 100), RawOf(7), RawOf(0)};
    recipes.push_back(Recipe(Table(order, {})));
    recipes.push_back(Recipe(Table(order, everyKind)));
    recipes.push_back(Recipe(Table(order, {Typed(6, 2, Ramp, 9, 1), RawOf(0), RawOf(33, FromInput, 0, 0)})));
    for (int codings : {DeltaCoded | 0, DeltaCoded | Scrambled, Compressed | 0, Compressed | DeltaCoded | Scrambled,
                        DeltaCoded | StrayFlag}) {
      recipes.push_back(Recipe(Table(order | codings, codable)));
    }
    const Bytes inner = Table((order ^ BigEndian) | Scrambled, {Typed(1, 3, Ramp, 5, 1)});
    const Bytes middle = Table(order | DeltaCoded, {RawOf(2, Constant, 9), NestedOf(inner)});
    recipes.push_back(Recipe(Table(order, {Typed(2, 1, Constant, 1, 0), NestedOf(middle), InlineAt(0, 0)})));
    const Bytes packed = Table(order | Compressed | DeltaCoded, {Typed(0, 3, Ramp, 1, 1), RawOf(9)});
    recipes.push_back(Recipe(Table(order | Scrambled, {RawOf(4), NestedOf(packed), InlineAt(3, 0)})));
    const Bytes large = Table(order | Compressed | DeltaCoded, {LongRamp(), Typed(0, 200, Constant, 4, 0, true)});
    recipes.push_back(Recipe(Table(order, {NestedOf(large), NestedOf(Table(order | DeltaCoded, {RawOf(11)}))})));
    recipes.push_back(Recipe(Table(order, {NestedOf(Table(HeaderOnly, {})), NestedOf(Table(order, {})),
                                           NestedOf(packed), NestedOf(Table(order | DeltaCoded, codable))})));
    recipes.push_back(Recipe(Table(order, {NestedOf(Table(order | DeltaCoded | OddSize, {RawOf(3)}, 0xFE)),
                                           NestedOf(packed)})));
  }
  // Damage through each kind of mutation.
  const Bytes leaf = Table(Scrambled | DeltaCoded, {Typed(1, 3, Constant, 1, 0)});
  const Bytes packed = Table(Compressed | DeltaCoded, {Typed(0, 40, Ramp, 1, 1), RawOf(13)});
  const Bytes two = Table(0, {NestedOf(leaf), RawOf(24), NestedOf(packed), Typed(2, 2, Ramp, 1, 1)});
  recipes.push_back(Recipe(two, {{0, Share, 0, 0, 3}}));
  recipes.push_back(Recipe(two, {{0, Swap, 0, 0, 2}}));
  recipes.push_back(Recipe(two, {{0, Location, 0, 1, 0}}));
  recipes.push_back(Recipe(two, {{0, Tag, 1, 1, 17}}));
  recipes.push_back(Recipe(two, {{2, TotalSize, 7, 0xFE, 0}}));
  recipes.push_back(Recipe(two, {{2, DescriptorCount, 2, 0, 0}}));
  recipes.push_back(Recipe(two, {{1, Flags, 1, 7, 0}}));
  recipes.push_back(Recipe(two, {{2, StoredByte, 4, 20, 0}, {0, StoredByte, 1, 52, 0}}));
  // One byte short of the three writes past a block: the size delta (a
  // multiple of 8 here) in the first two, the location in the third.
  recipes.push_back(Recipe(Table(0, {NestedOf(Table(DeltaCoded | OddSize, {Typed(0, 4, Constant, 1, 0)}, 24)),
                                     NestedOf(Table(Compressed | DeltaCoded, {LongRamp()}))}),
                           {{0, Swap, 0, 0, 1}, {1, Location, 1, 0, 28}}));
  const Bytes moved = Table(0, {RawOf(8, Constant, 0x52, 0),
                                NestedOf(Table(Compressed, {Typed(0, 16, Constant, 7, 0)}))});
  recipes.push_back(Recipe(Table(0, {NestedOf(Table(DeltaCoded | OddSize, {Typed(0, 2, Constant, 1, 0)}, 24)),
                                     NestedOf(moved)}),
                           {{0, Swap, 0, 0, 1}, {1, Location, 1, 0, 27}}));
  // The raw run holds a table header whose nested table lies 72 bytes on,
  // inside the last sibling, which shows only its array.
  Bytes header = RawOf(24, FromInput, 0, 0);
  for (std::uint32_t word : {0x50178516u, 384u, 1u, 0u, 0xDC000000u, 72u}) {
    for (int k = 0; k < 4; ++k) header.push_back(static_cast<std::uint8_t>(word >> (8 * k)));
  }
  const Bytes last = Table(DeltaCoded, {Typed(0, 2, Constant, 1, 0),
                                        NestedOf(Table(Compressed | DeltaCoded, {LongRamp()}))});
  recipes.push_back(Recipe(Table(0, {NestedOf(Table(Compressed, {Typed(0, 3, Ramp, 1, 1)})),
                                     NestedOf(Table(HeaderOnly, {})), header, NestedOf(last)}),
                           {{3, DescriptorCount, 2, 0, 0}, {3, Location, 1, 0, 25}}));
  return recipes;
}

}  // namespace shapes

class Corpus {
 public:
  explicit Corpus(std::filesystem::path root) : root_(std::move(root)) {}
  void Add(const std::string &harness, const std::string &name, const Bytes &bytes) {
    const std::filesystem::path folder = root_ / harness;
    std::filesystem::create_directories(folder);
    if (!writer::WriteBytes((folder / name).string(), bytes)) {
      std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
      failed_ = true;
    }
  }
  bool Failed() const { return failed_; }

 private:
  std::filesystem::path root_;
  bool failed_ = false;
};

void AddInformationFiles(Corpus &corpus) {
  for (bool plain : {false, true}) {
    const std::uint8_t flags = plain ? FlagPlainRecords : 0;
    const std::string mode = plain ? "plain-" : "scrambled-";
    std::vector<std::pair<std::string, InfoFile>> files = OddFiles(plain);
    files.insert(files.begin(), {"full", FullFile(plain)});
    for (const auto &[name, file] : files) {
      const Bytes bytes = writer::Finish(file);
      corpus.Add("format_type", mode + name, WithQuery(bytes, 0, {}, flags));
      corpus.Add("main_info", mode + name, WithQuery(bytes, 0, {}, flags));
    }
    const Bytes full = writer::Finish(files.front().second);
    for (std::int32_t selector = 1; selector <= 6; ++selector) {
      for (const auto &pairs : std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>>{
               {}, {{5, 1}, {6, 3}}, {{5, 2}}, {{300, 1}}}) {
        const std::string name = mode + "full-" + std::to_string(selector) + "-" + std::to_string(pairs.size()) +
                                 (pairs.empty() || pairs[0].first < 300 ? "" : "-bad");
        corpus.Add("category_v", name, WithQuery(full, selector, pairs, flags));
        corpus.Add("category_s", name, WithQuery(full, selector, pairs, flags));
      }
    }
    for (std::size_t i = 0; i <= TableObjects().size(); ++i) {
      corpus.Add("get_table", mode + "full-" + std::to_string(i),
                 WithQuery(full, static_cast<std::int32_t>(i + 1), {}, flags));
    }
    for (const auto &[name, file] : files) {
      if (name == "full") continue;
      const Bytes bytes = writer::Finish(file);
      corpus.Add("category_v", mode + name, WithQuery(bytes, 1, {}, flags));
      corpus.Add("category_s", mode + name, WithQuery(bytes, 1, {}, flags));
      corpus.Add("get_table", mode + name, WithQuery(bytes, 1, {}, flags));
    }
  }
}

}  // namespace
}  // namespace dinfo::fuzz

int main(int argc, char **argv) {
  using namespace dinfo::fuzz;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  Corpus corpus(argv[1]);
  AddInformationFiles(corpus);
  const std::vector<Bytes> tables = TableObjects();
  for (std::size_t i = 0; i < tables.size(); ++i) corpus.Add("prepare_table", "table-" + std::to_string(i), tables[i]);
  const std::vector<Bytes> recipes = shapes::Recipes();
  for (std::size_t i = 0; i < recipes.size(); ++i) {
    corpus.Add("table_structure", "recipe-" + std::to_string(i), recipes[i]);
  }
  const std::vector<Bytes> streams = LzwStreams();
  for (std::size_t i = 0; i < streams.size(); ++i) corpus.Add("lzw", "stream-" + std::to_string(i), streams[i]);
  return corpus.Failed() ? 1 : 0;
}
