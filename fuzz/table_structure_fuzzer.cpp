// PrepareTableObject on table objects that the writer builds from a recipe
// (table_recipe.h) and that are then damaged field by field, where the
// generator knows the fields lie: byte-level fuzzing of whole objects
// rarely keeps a nested compressed table valid enough to reach the steps
// behind it. A nested table is damaged through the description (header
// and descriptor overrides, stored bytes), so that the change is made
// before its parents are compressed or scrambled. What comes back is
// checked as the prepare_table harness does; an undamaged object the
// writer lays out normally must come back as the writer prepares it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/block.h"
#include "common/bytes.h"
#include "fuzz_support.h"
#include "table_recipe.h"
#include "tableobj/table_object.h"
#include "writer/table_writer.h"

namespace {

using namespace dinfo::fuzz::recipe;
using dinfo::writer::EncodeTable;
using dinfo::writer::TableDescription;
using dinfo::writer::TableEntryDescription;
using dinfo::writer::TableEntryKind;

class Reader {
 public:
  Reader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint32_t Word() {
    std::uint32_t word = 0;
    for (int k = 0; k < 4; ++k) word |= std::uint32_t(Byte()) << (8 * k);
    return word;
  }
  std::size_t Left() const { return size_ - at_; }

 private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

std::int32_t Signed(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }

class Builder {
 public:
  explicit Builder(Reader *in) : in_(in) {}

  TableDescription Table(int depth) {
    ++tableCount_;
    const std::uint8_t flags = in_->Byte();
    TableDescription table;
    table.bigEndian = (flags & BigEndian) != 0;
    table.scrambled = (flags & Scrambled) != 0;
    table.compressed = (flags & Compressed) != 0;
    table.deltaCoded = (flags & DeltaCoded) != 0;
    table.strayFlags = (flags & StrayFlag) != 0 ? 0x80u : 0u;
    if ((flags & HeaderOnly) != 0) {
      table.totalSize = 0;
      normal = false;
      return table;
    }
    const int count = in_->Byte() % 8;
    for (int i = 0; i < count; ++i) table.entries.push_back(Entry(depth));
    if ((flags & OddSize) != 0) {
      table.totalSize = static_cast<std::int32_t>(EncodeTable(table).stored.size()) + Signed(in_->Byte());
      normal = false;
    }
    return table;
  }

  bool normal = true;

 private:
  // Element i of a pattern, `size` bytes least significant first.
  dinfo::writer::Bytes Elements(std::int32_t size, std::size_t count) {
    const std::uint8_t pattern = in_->Byte() % 4;
    const std::uint64_t a = in_->Byte();
    const std::uint64_t b = in_->Byte();
    const auto width = std::size_t(size);
    count = std::min(count, budget_ / width);
    budget_ -= count * width;
    dinfo::writer::Bytes out;
    out.reserve(count * width);
    for (std::size_t i = 0; i < count; ++i) {
      std::uint64_t value = pattern == Constant ? a : pattern == Ramp ? a + i * b : (i % 2 == 0 ? a : b);
      for (std::size_t k = 0; k < width; ++k) {
        out.push_back(pattern == FromInput ? in_->Byte() : std::uint8_t(k < 8 ? value >> (8 * k) : 0));
      }
    }
    return out;
  }

  TableEntryDescription Entry(int depth) {
    const std::uint8_t kind = in_->Byte();
    switch (kind & 3) {
      case Typed: {
        const std::int32_t size = ElementSizes[(kind >> 2) & 7];
        const std::size_t count = in_->Byte();
        return dinfo::writer::TypedBytes(size, Elements(size, (kind & Long) != 0 ? (count + 1) * 32 : count));
      }
      case Nested:
        if (depth < MaxDepth && tableCount_ < MaxTables) return dinfo::writer::NestedTable(Table(depth + 1));
        [[fallthrough]];
      case Raw: return dinfo::writer::RawRun(Elements(1, in_->Byte() % 64));
      default: {
        const std::uint32_t low = in_->Byte();
        return dinfo::writer::InlineEntry(static_cast<std::int32_t>(low | std::uint32_t(in_->Byte()) << 8));
      }
    }
  }

  Reader *in_;
  std::size_t budget_ = MaxDataBytes;
  std::size_t tableCount_ = 0;
};

void Preorder(TableDescription *table, std::vector<TableDescription *> *tables) {
  tables->push_back(table);
  for (TableEntryDescription &entry : table->entries) {
    if (entry.kind == TableEntryKind::NestedTable) Preorder(&entry.nested[0], tables);
  }
}

// The tables in preorder and their stored sizes, which no mutation
// changes: overrides change words, not lengths.
struct Tables {
  std::vector<TableDescription *> list;
  std::vector<std::int64_t> sizes;
  std::int64_t SizeOf(const TableDescription *table) const {
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (list[k] == table) return sizes[k];
    }
    return 0;
  }
};

// Where the writer puts a table's entries, and their descriptor words.
struct Shape {
  std::int64_t size = 0;  // stored
  std::int64_t dataStart = 0;
  std::vector<std::int64_t> positions;
  std::vector<std::uint32_t> tags;
};

Shape ShapeOf(const TableDescription &table, const Tables &tables) {
  Shape shape;
  shape.size = tables.SizeOf(&table);
  shape.dataStart = 16 + 8 * std::int64_t(table.entries.size());
  std::int64_t at = shape.dataStart;
  for (const TableEntryDescription &entry : table.entries) {
    std::int64_t length = std::int64_t(entry.bytes.size());
    std::int64_t advance = (length + 7) / 8 * 8;
    std::uint32_t tag = 0;
    switch (entry.kind) {
      case TableEntryKind::TypedArray:
        tag = std::uint32_t(entry.elementSize - 1) << 26 | std::uint32_t(length / entry.elementSize);
        break;
      case TableEntryKind::RawRun:
        tag = 0x9A000000u | std::uint32_t(length);
        advance = (length + 8) / 8 * 8;
        break;
      case TableEntryKind::NestedTable:
        tag = 0xDC000000u;
        advance = tables.SizeOf(&entry.nested[0]);
        break;
      case TableEntryKind::Inline:
        tag = 0xF8000000u;
        advance = 0;
        break;
    }
    shape.positions.push_back(entry.kind == TableEntryKind::Inline ? entry.inlineLocation : at);
    shape.tags.push_back(entry.tag.value_or(tag));
    at += advance;
  }
  return shape;
}

std::uint32_t Choose(Reader *in, std::uint8_t choice, std::initializer_list<std::int64_t> values) {
  const std::size_t pick = choice % (values.size() + 1);
  if (pick == values.size()) return in->Word();
  return static_cast<std::uint32_t>(values.begin()[pick]);
}

// One mutation of the recipe, made through the target's description.
void Mutate(Reader *in, const Tables &tables) {
  TableDescription &table = *tables.list[in->Byte() % tables.list.size()];
  const std::uint8_t what = in->Byte() % 8;
  const std::uint8_t choice = in->Byte();
  const std::uint8_t a = in->Byte();
  const std::uint8_t b = in->Byte();
  const Shape shape = ShapeOf(table, tables);
  const std::int64_t n = std::int64_t(table.entries.size());
  const std::uint32_t codings = (table.scrambled ? 0x80000000u : 0u) | (table.compressed ? 0x40000000u : 0u) |
                                (table.deltaCoded ? 0x20000000u : 0u) | table.strayFlags;
  switch (what) {
    case TotalSize:
      table.totalSize = static_cast<std::int32_t>(
          Choose(in, choice, {0, 16, shape.size - 1, shape.size + 1, shape.size - 8, shape.size + 8,
                              tables.sizes[a % tables.sizes.size()], shape.size + Signed(a)}));
      return;
    case DescriptorCount:
      table.descriptorCount = static_cast<std::int32_t>(Choose(in, choice, {n + Signed(a), 0, n - 1, n + 1}));
      return;
    case Flags:
      table.flags = Choose(in, choice, {std::int64_t(a & 0xE0) << 24 | (a & 0x1F), codings ^ (1u << (a % 32)), 0});
      return;
    case StoredByte: {
      const auto value = static_cast<std::uint8_t>(Choose(in, choice, {0, 0x9A, 0xDC, 0xF8, 0xFF}));
      table.storedPatches.push_back({std::size_t(a | b << 8) % std::size_t(shape.size), value});
      return;
    }
    default: break;
  }
  if (n == 0) return;
  const std::size_t i = std::size_t(a % n);
  const std::size_t j = std::size_t(b % n);
  TableEntryDescription &entry = table.entries[i];
  switch (what) {
    case Tag:
      entry.tag = Choose(in, choice, {0xDC000000u, 0x9A000000u | b, 0xF8000000u, shape.tags[j],
                                      std::int64_t(b % 16) << 26 | a, shape.tags[i] + 1});
      return;
    case Location:
      entry.location = static_cast<std::int32_t>(
          Choose(in, choice, {shape.positions[j], shape.positions[i] + Signed(b), shape.size + Signed(b), 0,
                              shape.dataStart}));
      return;
    case Swap:
    case Share: {
      const std::uint32_t tag = shape.tags[i];
      const auto location = static_cast<std::int32_t>(table.entries[i].location.value_or(
          static_cast<std::int32_t>(shape.positions[i])));
      if (what == Swap) {
        entry.tag = shape.tags[j];
        entry.location = table.entries[j].location.value_or(static_cast<std::int32_t>(shape.positions[j]));
      }
      table.entries[j].tag = tag;
      table.entries[j].location = location;
      return;
    }
    default: return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace dinfo::fuzz;
  Reader in(data, size);
  Builder builder(&in);
  TableDescription root = builder.Table(0);
  Tables tables;
  Preorder(&root, &tables.list);
  for (const TableDescription *table : tables.list) {
    tables.sizes.push_back(std::int64_t(EncodeTable(*table).stored.size()));
  }
  const int mutations = in.Byte() % 16;
  for (int k = 0; k < mutations && in.Left() > 0; ++k) Mutate(&in, tables);
  const bool compare = builder.normal && mutations == 0;
  const dinfo::writer::EncodedTable encoded = EncodeTable(root);

  const Holdings before = Held();
  {
    const dinfo::writer::Bytes &stored = encoded.stored;
    const dinfo::OwnedBlock object = dinfo::AllocateBlock(static_cast<std::int64_t>(stored.size()));
    if (object.empty()) return 0;
    dinfo::CopyBytes(stored.data(), object.get().data(), static_cast<std::int32_t>(stored.size()));
    const dinfo::TableInBlock prepared = dinfo::PrepareTableObject(object.get());
    if (prepared.fault == dinfo::Fault::None) {
      RequirePreparedTable(prepared.object.data());
      dinfo::TableHeader header{};
      dinfo::ReadTableHeader(prepared.object, &header);
      if (!prepared.made.empty()) {
        Require(std::size_t(header.totalSize) == prepared.made.get().size(), "a new table's size is not its block's");
      }
      if (compare) {
        Require(std::size_t(header.totalSize) == encoded.prepared.size() &&
                    std::memcmp(prepared.object.data(), encoded.prepared.data(), encoded.prepared.size()) == 0,
                "a table the writer laid out is not prepared as the writer prepares it");
      }
    }
  }
  RequireHeld(before);
  return 0;
}
