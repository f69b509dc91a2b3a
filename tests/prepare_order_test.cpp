// Preparation rebuilds a parent once, after all its nested tables are
// prepared. Here it is checked against the plain way of doing it, kept as
// a model: a recursive walk that rebuilds the parent with
// SpliceNestedTable at each nested table that moved and walks on in the
// new parent, so that each entry is copied as it is at that moment. The
// tables are laid out at random by hand, with nested tables shared
// between descriptors, raw runs and arrays lying over nested tables, and
// nested tables overlapping one another, in both byte orders and with
// every coding: whatever the model makes of them, preparation must make
// too, byte for byte, or refuse when the model does.
#include <random>

#include "table_support.h"
#include "tableobj/preparation.h"
#include "lzw_reference.h"
#include "writer/lzw_encoder.h"

namespace dinfo::test {
namespace {

// The model's walk over the object at the start of `area`: where the
// prepared object lies, in `area` or in a block of its own.
TableInBlock ModelPrepare(Block area);

TableInBlock ModelWalk(TableInBlock current) {
  TableLayout layout{};
  if (!ReadTableLayout(current.object, &layout) || !EntriesFit(layout)) return {Fault::BadData, {}, {}};
  for (std::int32_t i = 0; i < layout.descriptorCount(); ++i) {
    const TableEntry entry = ReadEntry(layout, i);
    if (entry.kind != EntryKind::NestedTable) continue;
    if (!EntryFits(layout, entry)) return {Fault::BadData, {}, {}};  // its header would be read outside
    const std::size_t at = std::size_t(entry.location);
    const TableInBlock nested = ModelPrepare(current.object.subspan(at, std::size_t(layout.totalSize()) - at));
    if (nested.fault != Fault::None) return {Fault::BadData, {}, {}};
    if (nested.made.empty()) continue;
    OwnedBlock spliced = SpliceNestedTable(current.object, i, nested.object);
    if (spliced.empty()) return {Fault::BadData, {}, {}};
    current.object = spliced.get();
    current.made = std::move(spliced);
    ReadTableLayout(current.object, &layout);
  }
  return current;
}

TableInBlock ModelPrepare(Block area) {
  TableHeader header{};
  if (!ReadTableHeader(area, &header) || header.totalSize == -1) return {Fault::BadData, {}, {}};
  const std::uint32_t flags = header.flags;
  if (header.totalSize < 16 && header.descriptorCount == 0 && (flags & (FlagScrambled | FlagCompressed)) == 0) {
    if ((flags & FlagDeltaCoded) == 0) return {Fault::None, area, {}};
    if (flags != FlagDeltaCoded) return {Fault::BadData, {}, {}};
    WriteTableWord(area.data() + 12, 0, header.order);
    return {Fault::None, area, {}};
  }
  if (header.totalSize < 16 || std::size_t(header.totalSize) > area.size()) return {Fault::BadData, {}, {}};
  const Block object = area.first(std::size_t(header.totalSize));
  if ((flags & FlagScrambled) != 0 && UnscrambleTableObject(object) != Fault::None) return {Fault::BadData, {}, {}};
  TableInBlock current{Fault::None, object, {}};
  if ((flags & FlagCompressed) != 0) {
    current = DecompressTableObject(object);
    if (current.fault != Fault::None) return current;
  }
  if ((flags & FlagDeltaCoded) != 0 && RestoreDeltas(current.object) != Fault::None) return {Fault::BadData, {}, {}};
  return ModelWalk(std::move(current));
}

std::optional<Bytes> ModelPrepared(const Bytes &stored) {
  const OwnedBlock block = ToBlock(stored);
  const TableInBlock result = ModelPrepare(block.get());
  if (result.fault != Fault::None) return std::nullopt;
  return TableBytes(result.object.data());
}

// An LZW stream of one code a byte, cleared before the table fills.
Bytes LiteralLzw(const Bytes &plain) {
  std::vector<int> codes = {ClearCode};
  for (std::size_t at = 0; at < plain.size(); ++at) {
    if (at % 3000 == 2999) codes.push_back(ClearCode);
    codes.push_back(plain[at]);
  }
  codes.push_back(EndCode);
  return PackCodes(codes);
}

// A hand-laid table compressed and scrambled as asked; `shrunk` codes
// the body with the writer's encoder instead of a code a byte.
Bytes Coded(Bytes object, bool bigEndian, std::uint32_t flags, bool shrunk = false) {
  if ((flags & FlagCompressed) != 0) {
    const Bytes plain(object.begin() + 16, object.end());
    Bytes body = shrunk ? writer::LzwEncode(plain) : LiteralLzw(plain);
    body.resize((body.size() + 4 + 7) / 8 * 8, 0);
    object.resize(16);
    object.insert(object.end(), body.begin(), body.end());
    PutWord(object, 4, std::uint32_t(object.size()), bigEndian);
  }
  PutWord(object, 12, WordAt(object, 12, bigEndian) | (flags & (FlagScrambled | FlagCompressed)), bigEndian);
  if ((flags & FlagScrambled) != 0) {
    Bytes body(object.begin() + 16, object.end());
    writer::ScrambleBlock(body, 0x5A3C96E1u ^ std::uint32_t(object.size()));
    std::copy(body.begin(), body.end(), object.begin() + 16);
  }
  return object;
}

class RandomTables {
 public:
  // `padding` zero bytes in every data area make compressed tables large
  // and well shrunk, expanded straight into their rebuilt parents.
  explicit RandomTables(std::uint32_t seed, std::size_t padding = 0) : random_(seed), padding_(padding) {}

  // A table with up to `depth` levels of nested tables below it; now and
  // then a bare header that claims a size below its own.
  Bytes Table(int depth) {
    const bool bigEndian = Chance(2);
    if (Chance(12)) return HandObject(bigEndian, {}, {}, 8 * Below(2), Chance(2) ? FlagDeltaCoded : 0);
    std::vector<Bytes> children;
    for (int k = Below(depth > 0 ? 3 : 1); k > 0; --k) children.push_back(Table(depth - 1));
    const std::int32_t count = 1 + Below(7);
    const std::int32_t dataStart = 16 + 8 * count;
    Bytes data;
    std::vector<std::int32_t> childAt;
    for (const Bytes &child : children) {
      if (Chance(4)) data.insert(data.end(), 8 * std::size_t(Below(3)), std::uint8_t(Below(256)));
      childAt.push_back(dataStart + std::int32_t(data.size()));
      data.insert(data.end(), child.begin(), child.end());
    }
    for (int k = Below(24); k > 0; --k) data.push_back(std::uint8_t(Below(4)));
    // Room for a rebuild that gives overlapping entries bytes of their own.
    if (Chance(2)) data.resize(2 * data.size() + 8 * std::size_t(count), 0);
    data.resize((data.size() + padding_ + 7) / 8 * 8, 0);
    std::vector<Descriptor> descriptors;
    for (std::int32_t i = 0; i < count; ++i) descriptors.push_back(Entry(childAt, children, dataStart, std::int32_t(data.size())));
    const std::uint32_t delta = Chance(3) ? FlagDeltaCoded : 0;
    const Bytes plain = HandObject(bigEndian, descriptors, data, 0, delta);
    return Coded(plain, bigEndian, (Chance(2) ? FlagScrambled : 0) | (Chance(3) ? FlagCompressed : 0), padding_ > 0);
  }

 private:
  bool Chance(std::uint32_t oneIn) { return random_() % oneIn == 0; }
  std::int32_t Below(std::int32_t n) { return n <= 0 ? 0 : std::int32_t(random_() % std::uint32_t(n)); }

  // Mostly nested tables (some named twice), and runs and arrays over any
  // bytes of the data area, a nested table's stored bytes in particular.
  Descriptor Entry(const std::vector<std::int32_t> &childAt, const std::vector<Bytes> &children,
                   std::int32_t dataStart, std::int32_t dataLength) {
    const std::int32_t pick = Below(std::int32_t(childAt.size()));
    const std::int32_t start = dataStart + 8 * Below(std::max(dataLength / 8, 1));
    const std::int32_t room = dataStart + dataLength - start;
    const std::int32_t kind = Below(20);
    if (!childAt.empty() && kind < 9) return {0xDC000000u, childAt[std::size_t(pick)]};
    if (!childAt.empty() && kind < 13) {
      return {0x9A000000u | std::uint32_t(children[std::size_t(pick)].size()), childAt[std::size_t(pick)]};
    }
    if (kind < 15) return {0x9A000000u | std::uint32_t(Below(room + 1)), start};
    if (kind < 18) {
      const std::int32_t size = 1 << Below(3);
      return {std::uint32_t((size - 1) << 26) | std::uint32_t(Below(room / size + 1)), start};
    }
    return {0xF8000000u, Below(1000)};
  }

  std::mt19937 random_;
  std::size_t padding_;
};

TEST(PrepareOrderTest, AgreesWithARebuildAtEachMovedTable) {
  RandomTables tables(20261208);
  const int rounds = RUNNING_ON_VALGRIND ? 300 : 4000;
  int prepared = 0;
  int rebuilt = 0;
  for (int round = 0; round < rounds; ++round) {
    const Bytes stored = tables.Table(3);
    const std::optional<Bytes> expected = ModelPrepared(stored);
    const Prepared result = Prepare(stored);
    ASSERT_EQ(result.bytes, expected) << "round " << round << ": " << ::testing::PrintToString(stored);
    prepared += expected ? 1 : 0;
    rebuilt += expected && !result.inPlace ? 1 : 0;
  }
  // Enough of them must come through, and be rebuilt, to mean something.
  EXPECT_GT(prepared, rounds / 3);
  EXPECT_GT(rebuilt, rounds / 8);
}

}  // namespace
}  // namespace dinfo::test

namespace dinfo::test {
namespace {

// The same with large, well-shrunk compressed tables, whose expansions go
// straight into the rebuilt parents (or into blocks of their own, for
// those that hold nested tables).
TEST(PrepareOrderTest, AgreesWithARebuildAtEachMovedTableForLargeCompressedTables) {
  RandomTables tables(20261209, 6000);
  const int rounds = RUNNING_ON_VALGRIND ? 60 : 600;
  int rebuilt = 0;
  for (int round = 0; round < rounds; ++round) {
    const Bytes stored = tables.Table(2);
    const std::optional<Bytes> expected = ModelPrepared(stored);
    const Prepared result = Prepare(stored);
    ASSERT_EQ(result.bytes, expected) << "round " << round;
    rebuilt += expected && !result.inPlace ? 1 : 0;
  }
  EXPECT_GT(rebuilt, rounds / 8);
}

}  // namespace
}  // namespace dinfo::test
