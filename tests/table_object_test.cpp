// Table object preparation on library blocks: what comes back in place,
// the two coding steps on their own, and hostile objects that break the
// format's limits.
#include <type_traits>

#include "table_support.h"
#include "tableobj/table_entry.h"

namespace dinfo::test {
namespace {

// Only the allocations make an owner, so no borrowed span can be freed;
// the checked views come only from their checks, so nothing fills one in.
static_assert(!std::is_constructible_v<OwnedBlock, Block>);
static_assert(!std::is_constructible_v<TableLayout, ConstBlock, TableHeader, std::int32_t>);
static_assert(!std::is_constructible_v<StoredTable, Block, TableHeader>);
static_assert(!std::is_aggregate_v<TableLayout> && !std::is_aggregate_v<StoredTable>);

using writer::NestedTable;
using writer::RawRun;
using writer::TypedArray;

TableDescription Leaf(bool bigEndian) {
  TableDescription described;
  described.bigEndian = bigEndian;
  described.scrambled = true;
  described.deltaCoded = true;
  described.entries = {TypedArray(2, {1, 2, 3}), RawRun({4, 5, 6})};
  return described;
}

// An owned block is given back exactly once, whichever way it leaves:
// moved on, replaced by another, or handed over.
TEST(OwnedBlockTest, GivesEachBlockBackExactlyOnce) {
  const std::int64_t before = seam::LiveBlocks();
  {
    OwnedBlock first = AllocateBlock(8);
    OwnedBlock second(std::move(first));
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(seam::LiveBlocks(), before + 1);
    second = AllocateBlock(16);
    EXPECT_EQ(seam::LiveBlocks(), before + 1);
    EXPECT_EQ(second.get().size(), 16u);
    const Block handed = second.HandOut();
    EXPECT_TRUE(second.empty());
    EXPECT_EQ(seam::LiveBlocks(), before + 1);
    GlobalFree(handed.data());
  }
  EXPECT_EQ(seam::LiveBlocks(), before);
}

// In-place work takes no block, nested tables included.
TEST(PrepareTableObjectTest, InPlaceWorkReturnsTheSameBlock) {
  TableDescription described = Leaf(false);
  described.entries.push_back(NestedTable(Leaf(true)));
  const Bytes stored = writer::EncodeTableObject(described);
  const OwnedBlock block = ToBlock(stored);
  const std::int64_t allocations = seam::AllocationAttempts();
  const TableInBlock prepared = PrepareTableObject(block.get());
  EXPECT_EQ(prepared.fault, Fault::None);
  EXPECT_EQ(seam::AllocationAttempts(), allocations);
  EXPECT_TRUE(prepared.made.empty());
  EXPECT_EQ(prepared.object.data(), block.get().data());
  EXPECT_EQ(Bytes(block.get().begin(), block.get().end()), writer::PreparedTableObject(described));

  const Bytes empty = writer::EncodeTableObject(TableDescription{});
  EXPECT_TRUE(Prepare(empty).inPlace);
  EXPECT_EQ(Prepare(empty).bytes, empty);
}

TEST(PrepareTableObjectTest, ARecordLongerThanTheObjectIsFine) {
  Bytes stored = writer::EncodeTableObject(Leaf(true));
  const Bytes expected = writer::PreparedTableObject(Leaf(true));
  stored.resize(stored.size() + 13, 0xEE);
  EXPECT_EQ(Prepare(stored).bytes, expected);
}

TEST(PrepareTableObjectTest, RefusesObjectsOutsideTheirBlock) {
  const Bytes stored = writer::EncodeTableObject(Leaf(false));
  EXPECT_FALSE(Prepare({}).bytes);
  EXPECT_FALSE(Prepare(Bytes(stored.begin(), stored.begin() + 12)).bytes) << "shorter than a header";
  EXPECT_FALSE(Prepare(Bytes(stored.begin(), stored.end() - 8)).bytes) << "totalSize past the record";
  EXPECT_FALSE(Prepare(HandObject(false, {{0x9A000000u, 24}}, {}, 8)).bytes) << "totalSize below a header";
  EXPECT_FALSE(Prepare(HandObject(true, {{0x9A000000u, 24}}, {}, 16)).bytes) << "descriptors past totalSize";
  EXPECT_FALSE(Prepare(HandObject(false, {{0x9A000009u, 24}}, Bytes(8, 0))).bytes) << "run past totalSize";
  EXPECT_FALSE(Prepare(HandObject(false, {{0x9A000001u, 20}}, Bytes(8, 0))).bytes) << "run in the descriptors";
  EXPECT_FALSE(Prepare(HandObject(false, {{0x04000004u, -8}}, Bytes(8, 0))).bytes) << "negative location";
  EXPECT_TRUE(Prepare(HandObject(true, {{0x9A000000u, 32}, {0xF8000000u, -5}}, Bytes(8, 0))).bytes)
      << "an empty run at the end, an inline entry anywhere";
  // An empty array or run reads nothing, wherever it points.
  for (std::int32_t location : {0, -8, 40, 0x7FFFFFF8}) {
    for (std::uint32_t tag : {0x9A000000u, 0x04000000u}) {
      const Bytes object = HandObject(true, {{tag, location}, {0x04000001u, 32}}, {0, 7, 0, 0, 0, 0, 0, 0});
      EXPECT_EQ(Prepare(object).bytes, object) << location;
      Bytes delta = object;
      PutWord(delta, 12, FlagDeltaCoded, true);
      EXPECT_EQ(Prepare(delta).bytes, object) << location;
    }
  }
}

// Without descriptors nothing past the header is read: a totalSize below
// 16 stands unless a coding step needs it.
TEST(PrepareTableObjectTest, AnObjectWithoutDescriptorsMayUnderstateItsSize) {
  for (std::int32_t totalSize : {8, 1, -8}) {
    const Bytes object = HandObject(true, {}, {}, totalSize);
    EXPECT_TRUE(Prepare(object).inPlace) << totalSize;
    const Bytes delta = HandObject(true, {}, {}, totalSize, FlagDeltaCoded);
    const OwnedBlock block = ToBlock(delta);
    const TableInBlock prepared = PrepareTableObject(block.get());
    EXPECT_EQ(prepared.fault, Fault::None);
    EXPECT_TRUE(prepared.made.empty());
    EXPECT_EQ(Bytes(block.get().begin(), block.get().end()), object);
    for (std::uint32_t flags : {0x20000001u, FlagScrambled, FlagCompressed}) {
      EXPECT_FALSE(Prepare(HandObject(true, {}, {}, totalSize, flags)).bytes) << flags;
    }
  }
  EXPECT_FALSE(Prepare(HandObject(true, {}, {}, -1)).bytes);
}

TEST(PrepareTableObjectTest, RefusesNestedTablesOutsideTheirParentsDataArea) {
  const Bytes child = writer::EncodeTableObject(Leaf(true));
  const std::int32_t dataStart = 16 + 8;
  // Overlapping the header, the descriptors, and reaching past the parent.
  for (std::int32_t location : {0, 8, 16}) {
    Bytes data = child;
    EXPECT_FALSE(Prepare(HandObject(false, {{0xDC000000u, location}}, data)).bytes) << location;
  }
  EXPECT_TRUE(Prepare(HandObject(false, {{0xDC000000u, dataStart}}, child)).bytes);
  const Bytes cut(child.begin(), child.end() - 8);
  EXPECT_FALSE(Prepare(HandObject(false, {{0xDC000000u, dataStart}}, cut)).bytes);
  Bytes longer = child;
  longer.resize(child.size() + 8, 0);
  EXPECT_FALSE(Prepare(HandObject(false, {{0xDC000000u, dataStart}}, longer, dataStart + std::int32_t(child.size()) - 8)).bytes)
      << "parent totalSize ends inside the child";
  EXPECT_FALSE(Prepare(HandObject(false, {{0xDC000000u, std::int32_t(dataStart + child.size() - 8)}}, child)).bytes)
      << "child header at the very end";
}

// Each level holds one nested table and nothing else; the innermost one
// is delta-coded, so every level is walked.
TableDescription Nesting(std::int32_t levels, bool alternateOrder) {
  TableDescription described = Leaf(false);
  for (std::int32_t level = 0; level < levels; ++level) {
    TableDescription parent;
    parent.bigEndian = alternateOrder && level % 2 == 0;
    parent.scrambled = level % 3 == 0;
    parent.entries = {NestedTable(std::move(described))};
    described = std::move(parent);
  }
  return described;
}

// `levels` tables, each the only entry of the one before, in one buffer.
Bytes Chain(std::size_t levels) {
  const std::size_t size = 24 * levels + 16;
  Bytes bytes(size, 0);
  for (std::size_t level = 0; level <= levels; ++level) {
    const std::size_t at = 24 * level;
    PutWord(bytes, at, TableObjectMagic, false);
    PutWord(bytes, at + 4, std::uint32_t(size - at), false);
    if (level == levels) break;
    PutWord(bytes, at + 8, 1, false);
    PutWord(bytes, at + 16, 0xDC000000u, false);
    PutWord(bytes, at + 20, 24, false);
  }
  return bytes;
}

// Nesting has no depth limit of its own: each level takes at least a
// header and a descriptor of the record, and the walk keeps its own stack.
TEST(PrepareTableObjectTest, NestingIsAsDeepAsTheRecordHolds) {
  for (std::int32_t levels : {257, 300, 1000}) {
    const TableDescription described = Nesting(levels, true);
    const Prepared prepared = Prepare(writer::EncodeTableObject(described));
    EXPECT_TRUE(prepared.inPlace) << levels;
    EXPECT_EQ(prepared.bytes, writer::PreparedTableObject(described)) << levels;
  }
  const Bytes chain = Chain(100000);
  EXPECT_EQ(Prepare(chain).bytes, chain);
}

// Damage of every kind to a table with nested tables of both orders.
TEST(PrepareTableObjectTest, DamagedObjectsNeverLeaveTheirBlock) {
  TableDescription child = Leaf(true);
  child.entries.push_back(NestedTable(Leaf(false)));
  TableDescription described = Leaf(false);
  described.scrambled = false;
  described.entries.push_back(NestedTable(child));
  described.entries.push_back(writer::InlineEntry(3));
  PrepareDamagedCopies(writer::EncodeTableObject(described), 3000);
}

TEST(UnscrambleTableObjectTest, ReportsBadArgumentsAndKeepsTheFlagOnFailure) {
  const auto unscramble = [](Bytes bytes, Bytes *after = nullptr) {
    const OwnedBlock block = ToBlock(bytes);
    const Fault result = UnscrambleTableObject(block.get());
    if (after != nullptr) *after = Bytes(block.get().begin(), block.get().end());
    return result;
  };
  EXPECT_EQ(unscramble({}), Fault::BadArgument);
  EXPECT_EQ(unscramble(Bytes(16, 0)), Fault::BadData);
  EXPECT_EQ(unscramble(HandObject(false, {}, Bytes(8, 0), -1, FlagScrambled)), Fault::BadArgument);
  EXPECT_EQ(unscramble(HandObject(false, {}, Bytes(8, 0), 12, FlagScrambled)), Fault::BadArgument);
  EXPECT_EQ(unscramble(HandObject(true, {}, Bytes(8, 0), 20, FlagScrambled)), Fault::BadArgument);
  EXPECT_EQ(unscramble(HandObject(true, {}, Bytes(8, 0), 32, FlagScrambled)), Fault::BadArgument);

  Bytes after;
  const Bytes plain = HandObject(true, {}, Bytes(8, 3), 0, 0x11);
  EXPECT_EQ(unscramble(plain, &after), Fault::None);
  EXPECT_EQ(after, plain);
  const Bytes empty = HandObject(false, {}, {}, 16, FlagScrambled);
  EXPECT_EQ(unscramble(empty, &after), Fault::ScrambleRefused);
  EXPECT_EQ(after, empty);

  TableDescription described = Leaf(true);
  described.deltaCoded = false;
  described.strayFlags = 0x100;
  EXPECT_EQ(unscramble(writer::EncodeTableObject(described), &after), Fault::None);
  EXPECT_EQ(after, writer::PreparedTableObject(described));
}

TEST(RestoreDeltasTest, RefusesWhatItCannotRestore) {
  const auto restore = [](Bytes bytes, Bytes *after = nullptr) {
    const OwnedBlock block = ToBlock(bytes);
    const Fault result = RestoreDeltas(block.get());
    if (after != nullptr) *after = Bytes(block.get().begin(), block.get().end());
    return result;
  };
  const Bytes data = {1, 1, 1, 1, 0, 0, 0, 0};
  EXPECT_EQ(restore({}), Fault::BadArgument);
  EXPECT_EQ(restore(Bytes(16, 1)), Fault::BadData);
  EXPECT_EQ(restore(HandObject(false, {}, data, -1, FlagDeltaCoded)), Fault::BadArgument);
  EXPECT_EQ(restore(HandObject(false, {}, data, 0, FlagDeltaCoded | 1)), Fault::BadArgument);
  EXPECT_EQ(restore(HandObject(false, {}, data, 0, FlagDeltaCoded | FlagScrambled)), Fault::BadArgument);
  EXPECT_EQ(restore(HandObject(false, {}, data, 0, 0)), Fault::BadArgument);
  EXPECT_EQ(restore(HandObject(false, {{0x9A000004u, 16}}, data, 16, FlagDeltaCoded)), Fault::BadData);

  Bytes after;
  // The first array is restored before the element size 8 is refused.
  const Bytes sized8 = HandObject(true, {{0x9A000004u, 32}, {0x1C000001u, 32}}, data, 0, FlagDeltaCoded);
  EXPECT_EQ(restore(sized8, &after), Fault::BadData);
  EXPECT_EQ(Bytes(after.begin() + 32, after.begin() + 36), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(WordAt(after, 12, true), FlagDeltaCoded);
  EXPECT_EQ(restore(HandObject(true, {{0u, 32}}, data, 0, FlagDeltaCoded)), Fault::BadData);
  EXPECT_EQ(restore(HandObject(true, {{0x9A000004u, 36}}, data, 0, FlagDeltaCoded)), Fault::BadData);

  // Nested tables and inline entries are left alone; flags become 0.
  const Bytes mixed = HandObject(false, {{0xDC000000u, 40}, {0xF8000000u, 40}, {0x04000002u, 44}},
                                 {1, 1, 1, 1, 1, 0, 1, 0}, 0, FlagDeltaCoded);
  EXPECT_EQ(restore(mixed, &after), Fault::None);
  Bytes expected = mixed;
  PutWord(expected, 12, 0, false);
  expected[46] = 2;
  EXPECT_EQ(after, expected);
}

// Arrays long enough for the vector loops that overlap: a raw run of 64
// bytes, and big-endian 16-bit elements from an odd place inside it. Each
// array is summed in turn, the second over the first one's sums.
TEST(RestoreDeltasTest, OverlappingArraysAreSummedOneAfterTheOther) {
  Bytes data(104);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 11);
  const Bytes object = HandObject(true, {{0x9A000040u, 32}, {0x04000020u, 65}}, data, 0, FlagDeltaCoded);
  Bytes expected = object;
  PutWord(expected, 12, 0, true);
  for (std::size_t at = 33; at < 96; ++at) expected[at] = static_cast<std::uint8_t>(expected[at] + expected[at - 1]);
  for (std::size_t at = 67; at < 129; at += 2) {
    const auto sum = static_cast<std::uint16_t>(((expected[at] + expected[at - 2]) << 8) + expected[at + 1] +
                                                expected[at - 1]);
    expected[at] = static_cast<std::uint8_t>(sum >> 8);
    expected[at + 1] = static_cast<std::uint8_t>(sum);
  }
  const OwnedBlock block = ToBlock(object);
  EXPECT_EQ(RestoreDeltas(block.get()), Fault::None);
  EXPECT_EQ(Bytes(block.get().begin(), block.get().end()), expected);
}

}  // namespace
}  // namespace dinfo::test
