// DIGetTable end to end on writer-made files: every coding that is undone
// in place, both byte orders, nested tables, the locator's answers, and
// refusals that must leave nothing behind.
#include "table_support.h"

namespace dinfo::test {
namespace {

using writer::InlineEntry;
using writer::LocatorRow;
using writer::NestedTable;
using writer::RawRun;
using writer::TypedArray;
using writer::TypedBytes;

constexpr std::int32_t S = writer::LocatorSectionKind;
constexpr std::int32_t R = writer::LocatorRecordKind;

// Entries that delta coding may cover, with values at the wrapping edges.
TableDescription CodableTable(bool bigEndian, bool scrambled, bool deltaCoded) {
  TableDescription described;
  described.bigEndian = bigEndian;
  described.scrambled = scrambled;
  described.deltaCoded = deltaCoded;
  described.entries = {TypedArray(1, {1, 2, 255, 0, 7}),
                  TypedArray(2, {1, 2, 3, 32767, -32768, 0x0102}),
                  RawRun({9, 8, 7, 250, 6}),
                  InlineEntry(0x12345678),
                  TypedArray(4, {100000, -5, 0x7FFFFFFF, -0x7FFFFFFF - 1, 0x01020304}),
                  RawRun({}),
                  TypedArray(2, {})};
  return described;
}

TableDescription WithNested(TableDescription parent, TableDescription child) {
  parent.entries.insert(parent.entries.begin() + 2, NestedTable(std::move(child)));
  return parent;
}

class GetTableTest : public TableFileTest {};

TEST_F(GetTableTest, EveryInPlaceCodingComesBackAsWrittenInItsStoredOrder) {
  for (bool bigEndian : {false, true}) {
    for (bool scrambled : {false, true}) {
      for (bool deltaCoded : {false, true}) {
        SCOPED_TRACE(testing::Message() << bigEndian << scrambled << deltaCoded);
        const TableDescription described = CodableTable(bigEndian, scrambled, deltaCoded);
        const auto table = GetStoredTable(described);
        ASSERT_TRUE(table.has_value());
        EXPECT_EQ(*table, writer::PreparedTableObject(described));
        EXPECT_EQ(WordAt(*table, 12, bigEndian), 0u);
        // The 16-bit array's last element, 0x0102, in the stored order.
        const std::uint32_t location = WordAt(*table, 16 + 8 + 4, bigEndian);
        const Bytes expected = bigEndian ? Bytes{1, 2} : Bytes{2, 1};
        EXPECT_EQ(Bytes(table->begin() + location + 10, table->begin() + location + 12), expected);
      }
    }
  }
}

TEST_F(GetTableTest, ElementsOfEverySizeKeepTheirBytes) {
  for (bool bigEndian : {false, true}) {
    TableDescription described;
    described.bigEndian = bigEndian;
    described.scrambled = true;
    for (std::int32_t size = 1; size <= 16; ++size) {
      Bytes elements;
      for (std::int32_t k = 0; k < 3 * size; ++k) elements.push_back(static_cast<std::uint8_t>(16 * size + k));
      described.entries.push_back(TypedBytes(size, elements));
    }
    const auto table = GetStoredTable(described);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(*table, writer::PreparedTableObject(described));
    // An element of 3 bytes never turns with the byte order.
    const std::uint32_t location = WordAt(*table, 16 + 8 * 2 + 4, bigEndian);
    EXPECT_EQ((*table)[location], 48);
  }
}

TEST_F(GetTableTest, NestedTablesOfEitherOrderArePreparedWhereTheyLie) {
  for (bool parentBig : {false, true}) {
    TableDescription grandchild = CodableTable(parentBig, true, true);
    TableDescription child = WithNested(CodableTable(!parentBig, true, true), grandchild);
    const TableDescription plainChild = CodableTable(parentBig, false, true);
    const TableDescription parent =
        WithNested(WithNested(CodableTable(parentBig, true, false), child), plainChild);
    const auto table = GetStoredTable(parent);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(*table, writer::PreparedTableObject(parent));
    // The nested table of the other order (descriptor 3) reads in its own.
    const std::uint32_t location = WordAt(*table, 16 + 8 * 3 + 4, parentBig);
    EXPECT_EQ(WordAt(*table, location, !parentBig), TableObjectMagic);
    EXPECT_EQ(WordAt(*table, location + 12, !parentBig), 0u);
  }
}

TEST_F(GetTableTest, StrayFlagBitsStayUnlessTheObjectIsDeltaCoded) {
  TableDescription described = CodableTable(false, true, false);
  described.strayFlags = 0x00000001;
  auto table = GetStoredTable(described);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(WordAt(*table, 12, false), 0x00000001u);
  EXPECT_EQ(*table, writer::PreparedTableObject(described));

  described.bigEndian = true;
  described.strayFlags = 0x1ABCDEF0;
  table = GetStoredTable(described);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(WordAt(*table, 12, true), 0x1ABCDEF0u);

  described.deltaCoded = true;
  described.strayFlags = 0x00000001;
  EXPECT_FALSE(GetStoredTable(described).has_value());
}

// Arrays stored as given, then flagged as delta-coded: the reader's sums
// are checked without the writer's delta coder.
TEST_F(GetTableTest, DeltaSumsWrapAtTheElementWidth) {
  for (bool bigEndian : {false, true}) {
    TableDescription described;
    described.bigEndian = bigEndian;
    described.flags = 0x20000000u;
    described.entries = {TypedArray(2, {32767, 1}), TypedArray(2, {1, 1, 1}), TypedArray(1, {255, 1, 1}),
                    TypedArray(4, {0x7FFFFFFF, 1}), RawRun({200, 100}), RawRun({42})};
    TableDescription expected = described;
    expected.flags = 0;
    expected.entries = {TypedArray(2, {32767, -32768}), TypedArray(2, {1, 2, 3}), TypedArray(1, {255, 0, 1}),
                        TypedArray(4, {0x7FFFFFFF, -0x7FFFFFFF - 1}), RawRun({200, 44}), RawRun({42})};
    const auto table = GetStoredTable(described);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(*table, writer::EncodeTableObject(expected));
  }
}

TEST_F(GetTableTest, DeltaCodingRefusesElementsOtherThanOneTwoOrFourBytes) {
  for (std::int32_t size : {3, 8, 16}) {
    TableDescription described = CodableTable(false, false, true);
    described.entries.push_back(TypedArray(size, {1}));
    EXPECT_FALSE(GetStoredTable(described).has_value()) << size;
    described.deltaCoded = false;
    EXPECT_TRUE(GetStoredTable(described).has_value()) << size;
  }
}

TEST_F(GetTableTest, AFailingNestedTableFailsTheWholeObject) {
  TableDescription child = CodableTable(true, false, true);
  child.strayFlags = 4;
  EXPECT_FALSE(GetStoredTable(WithNested(CodableTable(false, true, true), child)).has_value());
}

TEST_F(GetTableTest, ObjectsBreakingTheFormatAreRefused) {
  const auto refused = [&](TableDescription described) { return !GetStoredTable(described).has_value(); };
  TableDescription described = CodableTable(false, false, false);
  described.totalSize = -1;
  EXPECT_TRUE(refused(described));
  described.totalSize = static_cast<std::int32_t>(writer::EncodeTableObject(CodableTable(false, false, false)).size() + 8);
  EXPECT_TRUE(refused(described)) << "totalSize past the record";
  described = CodableTable(true, false, false);
  described.descriptorCount = -1;
  EXPECT_TRUE(refused(described));
  described.descriptorCount = 1000;
  EXPECT_TRUE(refused(described)) << "descriptors past totalSize";
  described = CodableTable(false, false, false);
  described.entries[0].tag = 0;
  EXPECT_TRUE(refused(described));
  described.entries[0].tag = 0x9A000000u;
  EXPECT_FALSE(refused(described)) << "an empty raw run is valid";
  described.entries[0].tag = 0x0000FFFFu;
  EXPECT_TRUE(refused(described)) << "an array reaching outside the object";
  described = TableDescription{};
  described.scrambled = true;
  described.totalSize = 16;
  EXPECT_TRUE(refused(described)) << "a scrambled empty body";
}

// A scrambled body is unscrambled in whole 8-byte words: a totalSize of 36,
// whose 20-byte body the unscrambling itself would take, is refused; the
// same table in 40 bytes comes back with its run restored.
TEST_F(GetTableTest, AScrambledTableMustBeAWholeNumberOfEightByteWords) {
  for (bool bigEndian : {false, true}) {
    for (std::size_t tail : {8u, 12u}) {
      Bytes data = {1, 2, 3, 4};
      data.resize(4 + tail, 0);
      Bytes object = HandObject(bigEndian, {{0x9A000004u, 24}}, data, 0, FlagScrambled);
      Bytes body(object.begin() + 16, object.end());
      writer::ScrambleBlock(body, 0x13572468u);
      std::copy(body.begin(), body.end(), object.begin() + 16);
      const auto table = GetTable(FileWithTable(object));
      EXPECT_EQ(table.has_value(), object.size() % 8 == 0) << object.size();
      if (!table) continue;
      EXPECT_EQ(WordAt(*table, 12, bigEndian), 0u);
      EXPECT_EQ(Bytes(table->begin() + 24, table->begin() + 28), (Bytes{1, 2, 3, 4}));
    }
  }
}

// An empty raw run or typed array reads nothing, so it may point anywhere,
// 0 included (a producer's "no data"). Laid by hand: the writer places
// every entry in the data area.
TEST_F(GetTableTest, EmptyEntriesMayPointAnywhere) {
  for (const Bytes &object : {HandObject(false, {{0x9A000000u, 0}}, {}),
                              HandObject(true, {{0x04000000u, 0}, {0x9A000003u, 32}}, {1, 2, 3, 0, 0, 0, 0, 0})}) {
    EXPECT_EQ(GetTable(FileWithTable(object)), object);
  }
}

TEST_F(GetTableTest, AnEmptyObjectComesBackUnchanged) {
  const TableDescription described;
  const auto table = GetStoredTable(described);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(*table, writer::EncodeTableObject(described));
  EXPECT_EQ(table->size(), 16u);
}

TEST_F(GetTableTest, TheLocatorRowsMayComeInEitherOrder) {
  const TableDescription described = CodableTable(true, true, true);
  const TableFile file = NewTableFile(writer::EncodeTableObject(described));
  EXPECT_EQ(GetTable(WithLocator(file, writer::LocatorBlock({{S, file.section}, {R, 12}}))),
            writer::PreparedTableObject(described));
  EXPECT_EQ(GetTable(WithLocator(file, writer::LocatorBlock({{R, 12}, {S, file.section}}))),
            writer::PreparedTableObject(described));
}

TEST_F(GetTableTest, TwoSectionRowsReadRecordZero) {
  const TableDescription described = CodableTable(false, false, true);
  TableFile file = NewTableFile(writer::EncodeTableObject(CodableTable(true, false, false)));
  writer::AddRecord(file.file, file.section, 0, writer::EncodeTableObject(described));
  EXPECT_EQ(GetTable(WithLocator(file, writer::LocatorBlock({{S, 999}, {S, file.section}}))),
            writer::PreparedTableObject(described));
}

TEST_F(GetTableTest, LocatorAnswersOtherThanASectionAndARecordGiveNull) {
  const TableFile file = NewTableFile(writer::EncodeTableObject(CodableTable(false, false, false)));
  const std::int32_t section = file.section;
  const std::vector<std::vector<LocatorRow>> answers = {
      {{S, section}},
      {{S, section}, {R, 12}, {R, 12}},
      {{S, section}, {82, 12}},
      {{82, 12}, {S, section}},
      {{R, 12}, {R, 12}},
      {{S, 0}, {R, 12}},
      {{S, 8}, {R, 12}},
      {{S, 12345}, {R, 12}},
      {{S, section}, {R, 13}},
      {},
  };
  for (const auto &rows : answers) {
    EXPECT_FALSE(GetTable(WithLocator(file, writer::LocatorBlock(rows))).has_value()) << rows.size();
  }
  // More rows than the 2400-byte work buffer holds.
  const std::vector<LocatorRow> tooMany(201, LocatorRow{S, section});
  EXPECT_FALSE(GetTable(WithLocator(file, writer::LocatorBlock(tooMany))).has_value());
}

TEST_F(GetTableTest, AFlaggedLocatorGivesNull) {
  const TableFile file = NewTableFile(writer::EncodeTableObject(CodableTable(false, false, false)));
  writer::KeyedBlock locator = writer::LocatorBlock({{S, file.section}, {R, 12}});
  locator.disabledFlag = 1;
  EXPECT_FALSE(GetTable(WithLocator(file, locator)).has_value());
}

TEST_F(GetTableTest, APositiveFileStatusGivesNullEvenWhenTheLocatorMatches) {
  const TableFile file = NewTableFile(writer::EncodeTableObject(CodableTable(false, false, false)), 1);
  EXPECT_FALSE(GetTable(WithLocator(file, writer::LocatorBlock({{S, file.section}, {R, 12}}))).has_value());
}

TEST_F(GetTableTest, TheSelectorAndConditionsChooseTheTable) {
  const TableDescription first = CodableTable(false, false, true);
  const TableDescription second = CodableTable(true, true, false);
  writer::InfoFile file = FileWithStatus(0, 1);
  const std::int32_t section = writer::AddSection(file);
  writer::AddRecord(file, section, 1, writer::EncodeTableObject(first));
  writer::AddRecord(file, section, 2, writer::EncodeTableObject(second));
  writer::AddRecord(file, writer::MainSectionKey, writer::LocatorRecordId,
                    writer::KeyedRecord(writer::ChainTo({1, 7}, {{{5, 70}, 2001}, {{5, -32768}, 2002}})));
  writer::AddRecord(file, writer::MainSectionKey, 2001, writer::LocatorRecord({{S, section}, {R, 1}}));
  writer::AddRecord(file, writer::MainSectionKey, 2002, writer::LocatorRecord({{S, section}, {R, 2}}));
  Write("info.dat", writer::Finish(file));
  const ConditionPair pairs[1] = {{7, 70, {0, 0, 0, 0}}};
  void *table = DIGetTable("info.dat", Folder(), 5, pairs, 1);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(TableBytes(table), writer::PreparedTableObject(first));
  DIFreeTable(table);
  EXPECT_EQ(GetTable(5), writer::PreparedTableObject(second));
  EXPECT_FALSE(GetTable(6).has_value());
  const ConditionPair outside[1] = {{300, 1, {0, 0, 0, 0}}};
  EXPECT_EQ(DIGetTable("info.dat", Folder(), 5, outside, 1), nullptr);
  ExpectNothingHeld();
}

TEST_F(GetTableTest, AFileThatDoesNotOpenGivesNull) {
  EXPECT_EQ(DIGetTable("missing.dat", Folder(), 1, nullptr, 0), nullptr);
  EXPECT_EQ(DIGetTable(nullptr, Folder(), 1, nullptr, 0), nullptr);
  ExpectNothingHeld();
}

TEST_F(GetTableTest, EveryAllocationFailureGivesNullAndLeaksNothing) {
  EXPECT_GT(FailEachAllocationInTurn(WithNested(CodableTable(false, true, true), CodableTable(true, true, true))), 3);
}

}  // namespace
}  // namespace dinfo::test
