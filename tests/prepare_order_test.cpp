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
#include <string>
#include <string_view>

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

namespace dinfo::test {
namespace {

Bytes FromHex(std::string_view hex) {
  Bytes bytes;
  for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(at, 2)), nullptr, 16)));
  }
  return bytes;
}

// Tables in which a later step writes over bytes that an earlier one
// checked and left to be used when the parent is written:
//  - an odd-sized delta-coded sibling (46 bytes, taken for a header's 16)
//    sums over a compressed table's stream, measured for an expansion
//    written later;
//  - another (42 bytes) sums over the raw-run tag of a sibling already
//    handed up as moved, whose entries are copied when the parent is;
//  - a header-only table of size 0, copied with no room of its own by a
//    rebuild, shares its place with the next entry, which the walk then
//    opens as a table reaching into a later delta-coded sibling.
// The odd sibling of the first two lies at 32, its size at 36.
constexpr std::string_view OddSiblingOverAStream =
    "16851750c00000000200000000000000000000dc38000000000000dc20000000168517502e00000001000000"
    "0000002004000000290000001685175088000000010000000000006080008000000060000000002150b86436"
    "1d0f8844625138a4562d178c466351b8e4763d1f904864523924964d27944a6552b964b65d2f984c665339a4"
    "d66d379c4e6753b9e4f67d3fa05068543a25168d47a4526954ba65369d4fa8546a553aa556ad57ac566b55ba"
    "e576bd5fb0586c400808000000000000";
constexpr std::string_view OddSiblingOverAMovedTable =
    "16851750e00000000200000000000000000000dc38000000000000dc20000000168517502a00000001000000"
    "00000020020000002800000016851750a800000002000000000000000800009a98000000000000dc20000000"
    "16851750780000000100000000000040802e016004d060010720c26150b864361d0f8844625138a4562d178c"
    "466351b8e4763d1f904864523924964d27944a6552b964b65d2f984c665339a4d66d379c4e6753b9e4f67d3f"
    "a05068543a25168d47a4526954ba65369d4fa8546a553a8c1ead568080000000525252525252525200000000"
    "00000000";
constexpr std::string_view HeaderOnlyBeforeTheNextEntry =
    "16851750480100000400000000000000000000dc30000000000000dc580000001800009a68000000000000dc"
    "88000000168517502800000001000000000000408001400004d062060030988c66432c1e0200000000000000"
    "1685175000000000000000000000000016851750e00000000100000000000000000000dc3800000000000000"
    "0000000016851750c00000000100000000000020020000002900000016851750a80000000100000000000060"
    "801003e0000062080020c26150b864361d0f8844625138a4562d178c466351b8e4763d1f904864523924964d"
    "27944a6552b964b65d2f984c665339a4d66d379c4e6753b9e4f67d3fa05068543a25168d47a4526954ba6536"
    "9d4fa8546a553aa556ad57ac566b55bae576bd5fb0586c563b2596cd67b45a6d56bb65b6dd6fb85c6e573ba5"
    "d6ed77bc5e6f57bbe5f6fd7fc06070583c261202";

class WritesAfterChecksTest : public TableFileTest {
 protected:
  // Preparation and DIGetTable agree with the model, null included.
  void ExpectModelAnswer(const Bytes &stored) {
    const std::optional<Bytes> expected = ModelPrepared(stored);
    EXPECT_EQ(Prepare(stored).bytes, expected);
    EXPECT_EQ(GetTable(FileWithTable(stored)), expected);
  }
};

TEST_F(WritesAfterChecksTest, AgreeWithARebuildAtEachMovedTable) {
  for (std::string_view hex : {OddSiblingOverAStream, OddSiblingOverAMovedTable, HeaderOnlyBeforeTheNextEntry}) {
    const Bytes stored = FromHex(hex);
    ASSERT_EQ(stored.size() % 8, 0u);
    ExpectModelAnswer(stored);
  }
  // The odd sibling at every size, 48 among them.
  for (std::string_view hex : {OddSiblingOverAStream, OddSiblingOverAMovedTable}) {
    for (std::uint32_t size = 16; size <= 56; ++size) {
      Bytes stored = FromHex(hex);
      PutWord(stored, 36, size, false);
      ExpectModelAnswer(stored);
    }
  }
}

// X, named twice around Y, holds a raw run over Y's header and names the
// scrambled leaf N twice; Y, delta-coded, sums a run over N's flags once
// N is unscrambled, which sets its scrambled bit again. The second visit
// to X must walk N again rather than trust that it was finished.
TEST_F(WritesAfterChecksTest, ATableChangedAfterItsWalkIsWalkedAgain) {
  TableDescription leaf;
  leaf.scrambled = true;
  leaf.strayFlags = 0x80;
  leaf.entries = {writer::TypedArray(2, {1, 2, 3})};
  const Bytes n = writer::EncodeTableObject(leaf);
  Bytes x = HandObject(false, {{0x9A000018u, 40}, {0xDC000000u, 64}, {0xDC000000u, 64}}, Bytes(24 + n.size(), 0));
  const Bytes y = HandObject(false, {{0x9A000005u, 35}}, {}, 40, FlagDeltaCoded);
  std::copy(y.begin(), y.end(), x.begin() + 40);
  std::copy(n.begin(), n.end(), x.begin() + 64);
  const Bytes p = HandObject(false, {{0xDC000000u, 40}, {0xDC000000u, 80}, {0xDC000000u, 40}}, x);
  EXPECT_EQ(ModelPrepared(p), std::nullopt);
  ExpectModelAnswer(p);
}

}  // namespace
}  // namespace dinfo::test
