// DIGetTable on tables whose nested tables need blocks of their own:
// compressed nested tables spliced into new parents, at one level and at
// several, in both byte orders.
#include "lzw_reference.h"
#include "table_support.h"

namespace dinfo::test {
namespace {

using writer::InlineEntry;
using writer::NestedTable;
using writer::RawRun;
using writer::TypedArray;

TableDescription Coded(bool bigEndian, bool scrambled, bool compressed, bool deltaCoded) {
  TableDescription described;
  described.bigEndian = bigEndian;
  described.scrambled = scrambled;
  described.compressed = compressed;
  described.deltaCoded = deltaCoded;
  described.entries = {TypedArray(2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), RawRun(Bytes(40, 7)),
                  TypedArray(4, {-1, -2, 0x01020304}), TypedArray(1, {1, 1, 1, 1, 1, 1, 1, 1})};
  return described;
}

TableDescription With(TableDescription parent, std::vector<TableDescription> children) {
  for (TableDescription &child : children) parent.entries.push_back(NestedTable(std::move(child)));
  return parent;
}

// A parent of `count` compressed nested tables, each a raw run of
// `length` equal bytes.
TableDescription CompressedRuns(int count, std::size_t length) {
  TableDescription child;
  child.compressed = true;
  child.entries = {RawRun(Bytes(length, 0x41))};
  TableDescription parent;
  for (int i = 0; i < count; ++i) parent.entries.push_back(NestedTable(child));
  return parent;
}

// Raw runs of 0, 5 and 8 bytes, arrays of 6 and 8 bytes and an inline
// entry around a nested table (descriptor 6).
TableDescription Around(bool bigEndian, TableDescription nested) {
  TableDescription described;
  described.bigEndian = bigEndian;
  described.scrambled = true;
  described.entries = {RawRun({}),           RawRun({1, 2, 3, 4, 5}), RawRun({1, 2, 3, 4, 5, 6, 7, 8}),
                  TypedArray(2, {1, 2, 3}), TypedArray(2, {1, 2, 3, 4}), InlineEntry(0x7777),
                  NestedTable(std::move(nested)), TypedArray(1, {9})};
  described.entries[6].tag = 0xDC0000ABu;
  return described;
}

class SplicedTableTest : public TableFileTest {
 protected:
  void ExpectPrepared(const TableDescription &described) {
    const auto table = GetStoredTable(described);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(*table, writer::PreparedTableObject(described));
  }
};

TEST_F(SplicedTableTest, ACompressedObjectComesBackExpanded) {
  for (bool bigEndian : {false, true}) {
    TableDescription described = Coded(bigEndian, true, true, true);
    described.tailBytes = 16;
    ExpectPrepared(described);
    described.deltaCoded = false;
    described.strayFlags = 0x300;
    ExpectPrepared(described);
  }
}

TEST_F(SplicedTableTest, ACompressedNestedTableIsSplicedIntoItsParent) {
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    const TableDescription described = Around(bigEndian, Coded(!bigEndian, true, true, true));
    const auto table = GetStoredTable(described);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(*table, writer::PreparedTableObject(described));
    EXPECT_EQ(WordAt(*table, 4, bigEndian), table->size());
    EXPECT_EQ(WordAt(*table, 12, bigEndian), 0u);
    const auto location = [&](std::size_t i) { return WordAt(*table, 20 + 8 * i, bigEndian); };
    EXPECT_EQ(location(1) - location(0), 8u);
    EXPECT_EQ(location(2) - location(1), 8u);
    EXPECT_EQ(location(3) - location(2), 16u);
    EXPECT_EQ(location(4) - location(3), 8u);
    EXPECT_EQ(location(6) - location(4), 8u);
    EXPECT_EQ(location(5), 0x7777u);
    EXPECT_EQ(WordAt(*table, 16 + 8 * 6, bigEndian), 0xDC000000u);
    const std::uint32_t nested = location(6);
    EXPECT_EQ(WordAt(*table, nested, !bigEndian), TableObjectMagic);
    EXPECT_EQ(WordAt(*table, nested + 12, !bigEndian), 0u);
    EXPECT_EQ(location(7) - nested, WordAt(*table, nested + 4, !bigEndian));
  }
}

TEST_F(SplicedTableTest, SeveralNestedTablesInMixedOrdersAreSplicedOneAfterAnother) {
  for (bool bigEndian : {false, true}) {
    TableDescription inner = With(Coded(bigEndian, false, true, false), {Coded(!bigEndian, true, true, true)});
    const TableDescription described = With(Coded(bigEndian, true, false, true),
                                {Coded(false, false, true, false), Coded(true, true, false, true),
                                 Coded(true, true, true, true), inner, Coded(!bigEndian, true, false, false)});
    ExpectPrepared(described);
  }
}

// A compressed table inside a table inside a table: every level above it
// is rebuilt, and a compressed level in between is expanded first.
TEST_F(SplicedTableTest, RebuildingReachesUpThroughEveryLevel) {
  for (bool bigEndian : {false, true}) {
    TableDescription described = Coded(bigEndian, true, true, true);
    for (int level = 0; level < 6; ++level) {
      TableDescription parent = Coded(level % 2 == 0 ? !bigEndian : bigEndian, level % 2 == 1, level == 3, true);
      described = With(parent, {described, Coded(bigEndian, true, false, false)});
    }
    ExpectPrepared(described);
  }
}

TEST_F(SplicedTableTest, AFaultyCompressedNestedTableFailsTheWholeObject) {
  TableDescription child = Coded(true, false, true, false);
  Bytes stored = writer::EncodeTableObject(With(Coded(false, false, false, false), {child}));
  stored[stored.size() - writer::EncodeTableObject(child).size() + 16] ^= 0xFF;  // its first code
  EXPECT_FALSE(GetTable(FileWithTable(stored)).has_value());
}

// The header stays plain, so descriptorCount is known before expansion;
// a body too short for it, or entries beyond it, are refused.
TEST_F(SplicedTableTest, AnExpansionThatDoesNotHoldItsEntriesIsRefused) {
  TableDescription described = Coded(false, false, true, false);
  described.descriptorCount = 40;
  EXPECT_FALSE(GetStoredTable(described).has_value());
  described = Coded(true, true, true, false);
  described.entries[1].location = 4096;
  EXPECT_FALSE(GetStoredTable(described).has_value());
  described = With(Coded(false, false, false, false), {described});
  EXPECT_FALSE(GetStoredTable(described).has_value());
}

// An expansion whose start shrinks far better than its rest outgrows what
// it was expected to need; it still comes back in a block of about its
// own size (GetTable checks every block's size).
TEST_F(SplicedTableTest, AnExpandedTableComesInABlockOfAboutItsOwnSize) {
  std::vector<std::int64_t> values(1064080, 0);
  std::uint32_t random = 7;
  for (std::size_t i = values.size() / 2; i < values.size(); ++i) {
    random = random * 1103515245u + 12345u;
    values[i] = random >> 30;
  }
  TableDescription described;
  described.compressed = true;
  described.entries = {TypedArray(1, std::move(values))};
  ExpectPrepared(described);
}

// Thirty nested tables of 200,000 equal bytes each, compressed to a record
// of a few kilobytes: a parent of 6 MB, spliced in one pass.
TEST_F(SplicedTableTest, ManyLargeCompressedNestedTablesAreSpliced) {
  ExpectPrepared(CompressedRuns(30, 200000));
}

// Parents laid out by hand more tightly than the aligned layout: the
// rebuild needs room for the entries' bytes, not for the padding after the
// last run, nor for an empty run at the very end.
TEST_F(SplicedTableTest, AParentPackedMoreTightlyIsRebuiltWhenItsBytesFit) {
  const TableDescription child = Coded(true, false, true, false);
  const Bytes stored = writer::EncodeTableObject(child);
  const Bytes prepared = writer::PreparedTableObject(child);
  const Bytes run = {1, 2, 3, 4, 5, 6, 7, 8};
  const auto join = [](Bytes first, const Bytes &second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
  };
  const auto after = [](const Bytes &nested) { return static_cast<std::int32_t>(32 + nested.size()); };
  for (bool bigEndian : {false, true}) {
    EXPECT_EQ(GetTable(FileWithTable(
                  HandObject(bigEndian, {{0xDC000000u, 32}, {0x9A000008u, after(stored)}}, join(stored, run)))),
              HandObject(bigEndian, {{0xDC000000u, 32}, {0x9A000008u, after(prepared)}}, join(prepared, run)));
    EXPECT_EQ(GetTable(FileWithTable(
                  HandObject(bigEndian, {{0xDC000000u, 32}, {0x9A000000u, after(stored)}}, stored))),
              HandObject(bigEndian, {{0xDC000000u, 32}, {0x9A000000u, after(prepared)}}, prepared));
    // The run ends the parent with no zero after it, and an empty array
    // lies at its end: in the rebuilt parent both the run's padding and
    // the empty array's place lie past the new size.
    const std::int32_t end = after(stored) + 16;
    EXPECT_EQ(GetTable(FileWithTable(HandObject(
                  bigEndian, {{0xDC000000u, 40}, {0x9A000008u, end - 8}, {0x04000000u, end}}, join(stored, run)))),
              HandObject(bigEndian, {{0xDC000000u, 40}, {0x9A000008u, after(prepared) + 8}, {0x04000000u, after(prepared) + 24}},
                         join(prepared, run)));
  }
}

// A raw run laid over the stored bytes of a scrambled nested table B, after
// a compressed nested table A. The parent is rebuilt when A comes back
// expanded, while B is still scrambled, so the run keeps B's stored bytes;
// B itself is then prepared in its new place. With A stored plain nothing
// is rebuilt, and the run shows B as it was prepared where it lies.
TEST_F(SplicedTableTest, ARunOverANestedTableHoldsItsBytesAsTheRebuildFoundThem) {
  const auto join = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
  };
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    const TableDescription b = Coded(!bigEndian, true, false, true);
    const Bytes bStored = writer::EncodeTableObject(b);
    const Bytes bPrepared = writer::PreparedTableObject(b);
    const auto size = [](const Bytes &bytes) { return static_cast<std::int32_t>(bytes.size()); };
    const std::uint32_t run = 0x9A000000u | std::uint32_t(bStored.size());
    for (bool compressed : {true, false}) {
      const TableDescription a = Coded(bigEndian, false, compressed, false);
      const Bytes aStored = writer::EncodeTableObject(a);
      const Bytes aPrepared = writer::PreparedTableObject(a);
      const std::int32_t bAt = 40 + size(aStored);
      const Bytes room(bStored.size() + 8, 0);
      const Bytes stored = HandObject(bigEndian, {{0xDC000000u, 40}, {run, bAt}, {0xDC000000u, bAt}},
                                      join({aStored, bStored, room}));
      const std::int32_t runAt = 40 + size(aPrepared);
      const Bytes expected =
          compressed ? HandObject(bigEndian, {{0xDC000000u, 40}, {run, runAt}, {0xDC000000u, runAt + size(bStored) + 8}},
                                  join({aPrepared, bStored, Bytes(8, 0), bPrepared}))
                     : HandObject(bigEndian, {{0xDC000000u, 40}, {run, bAt}, {0xDC000000u, bAt}},
                                  join({aPrepared, bPrepared, room}));
      EXPECT_EQ(GetTable(FileWithTable(stored)), expected) << compressed;
    }
  }
}

// A compressed table without descriptors whose body expands to `rounds`
// times 7,370,880 zero bytes, about 5 KB a round.
Bytes CompressedZeros(int rounds) {
  Bytes object = HandObject(false, {}, ZeroRounds(rounds), 0, FlagCompressed);
  object.resize((object.size() + 7) / 8 * 8);
  PutWord(object, 4, static_cast<std::uint32_t>(object.size()), false);
  return object;
}

// DIGetTable on the stored table: the returned table's size and the most
// the call held at once beyond what was held before it.
struct TableAndPeak {
  std::int64_t size = -1;
  std::int64_t peak = 0;
};

class SplicedPeakTest : public SplicedTableTest {
 protected:
  TableAndPeak GetMeasured(const Bytes &stored) {
    Write("info.dat", writer::Finish(FileWithTable(stored)));
    const std::int64_t before = seam::LiveBytes();
    seam::ResetPeakLiveBytes();
    void *table = DIGetTable("info.dat", Folder(), 1, nullptr, 0);
    TableAndPeak measured;
    measured.peak = seam::PeakLiveBytes() - before;
    TableHeader header{};
    if (table != nullptr && ReadTableHeader(ConstBlock(static_cast<std::uint8_t *>(table), 16), &header)) {
      measured.size = header.totalSize;
    }
    DIFreeTable(table);
    ExpectNothingHeld();
    return measured;
  }
};

// A compressed table of 22 MB 240 plain levels down (16 KB in the file),
// and one of 538 MB 7 levels down (0.4 MB): every level above is rebuilt,
// and all are written at once into the table returned. At its peak a call
// holds the expansion and the table, where a rebuild at each level holds
// its new parent and the one before.
TEST_F(SplicedPeakTest, DeepSplicesOfLargeTablesHoldAboutTwiceTheTable) {
  for (auto [levels, rounds] : {std::pair{240, 3}, std::pair{7, 73}}) {
    if (rounds > 3 && RUNNING_ON_VALGRIND) continue;
    Bytes object = CompressedZeros(rounds);
    for (int level = 0; level < levels; ++level) object = HandObject(level % 2 == 0, {{0xDC000000u, 24}}, object);
    const TableAndPeak measured = GetMeasured(object);
    const std::int64_t size = 16 + std::int64_t{7370880} * rounds + 24 * levels;
    EXPECT_EQ(measured.size, size) << levels;
    EXPECT_LE(measured.peak, 9 * size / 4) << levels;
  }
}

// Sixteen compressed nested tables of a megabyte: the expansions and the
// table, about what splicing them one after another holds at its peak
// (the last parent, the one before it and an expansion).
TEST_F(SplicedPeakTest, NestedCompressedTablesHoldAboutTwiceTheTable) {
  const TableDescription parent = CompressedRuns(16, 1000000);
  const TableAndPeak measured = GetMeasured(writer::EncodeTableObject(parent));
  const std::int64_t size = std::int64_t(writer::PreparedTableObject(parent).size());
  EXPECT_EQ(measured.size, size);
  EXPECT_LE(measured.peak, 9 * size / 4);
}

TEST(SplicedPrepareTest, ARebuiltObjectComesInANewBlockAndTheGivenOneStays) {
  const TableDescription described = With(Coded(true, true, false, true), {Coded(false, true, true, true)});
  const Prepared prepared = Prepare(writer::EncodeTableObject(described));
  EXPECT_FALSE(prepared.inPlace);
  EXPECT_EQ(prepared.bytes, writer::PreparedTableObject(described));
}

TEST(SplicedDamageTest, DamagedCompressedNestedTablesNeverLeaveTheirBlock) {
  TableDescription described = With(Coded(false, false, false, true), {Coded(true, false, true, false)});
  described = With(Coded(true, false, false, false), {described, Coded(false, false, true, true)});
  PrepareDamagedCopies(writer::EncodeTableObject(described), 3000);
}

TEST_F(SplicedTableTest, EveryAllocationFailureGivesNullAndLeaksNothing) {
  TableDescription described = With(Coded(false, true, false, true), {Coded(true, true, true, true)});
  described = With(Coded(true, true, true, false), {described, Coded(false, false, true, false)});
  EXPECT_GT(FailEachAllocationInTurn(described), 10);
}

}  // namespace
}  // namespace dinfo::test

namespace dinfo::test {
namespace {

// A little-endian parent whose entries are `count` copies of one stored
// nested table, assembled directly: the writer would encode each copy anew.
Bytes ParentOfCopies(const Bytes &nested, std::int32_t count) {
  const auto dataStart = static_cast<std::int32_t>(16 + 8 * count);
  const auto nestedSize = static_cast<std::int32_t>(nested.size());
  Bytes parent;
  for (std::int32_t word : {0x50178516, dataStart + count * nestedSize, count, 0}) {
    writer::AppendI32(parent, word);
  }
  for (std::int32_t i = 0; i < count; ++i) {
    writer::AppendI32(parent, static_cast<std::int32_t>(0xDC000000u));
    writer::AppendI32(parent, dataStart + i * nestedSize);
  }
  for (std::int32_t i = 0; i < count; ++i) parent.insert(parent.end(), nested.begin(), nested.end());
  return parent;
}

// Every nested table that needs a block of its own is spliced into one
// new parent, each byte copied once: thousands of them take no longer than
// their bytes do.
TEST(SplicedManyTest, ThousandsOfCompressedNestedTablesAreSplicedInOnePass) {
  TableDescription child;
  child.compressed = true;
  child.entries = {RawRun({1, 2, 3})};
  EXPECT_EQ(Prepare(ParentOfCopies(writer::EncodeTableObject(child), 3000)).bytes,
            ParentOfCopies(writer::PreparedTableObject(child), 3000));
}

}  // namespace
}  // namespace dinfo::test
