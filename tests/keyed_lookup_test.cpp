// Keyed blocks and lookups along chains: the selection rule, wildcards,
// value widths, single blocks, chains, and blocks whose header disagrees
// with their record.
#include <type_traits>

#include "common/bytes.h"
#include "infofile/information_file.h"
#include "keyed/keyed_block.h"
#include "test_support.h"

namespace dinfo::test {
namespace {

using writer::KeyedBlock;
using writer::PackValues;

struct LookupResult {
  Fault status = Fault::None;
  std::int16_t count = -99;
  std::int16_t disabledFlag = -99;
  std::vector<std::int32_t> words;  // the output area as int32 words
};

class KeyedLookupTest : public FileTest {
 protected:
  // Conditions: (index, value) pairs on top of an all -1 vector.
  LookupResult Lookup(const writer::InfoFile &file, std::int32_t recordId,
                      std::vector<std::pair<int, std::int32_t>> conditions, bool withVector = true,
                      std::size_t outputBytes = 64) {
    Write("keyed.dat", writer::Finish(file));
    HANDLE handle = OpenInformationFile(reinterpret_cast<const WideChar *>(Folder()), "keyed.dat");
    EXPECT_NE(handle, nullptr);
    ConditionVector vector;
    for (auto &entry : vector.entries) entry = -1;
    for (auto [index, value] : conditions) vector.entries[index] = value;
    std::vector<std::uint8_t> output(outputBytes, 0xEE);
    LookupResult result;
    {
      KeyedFile keyed(handle);
      result.status = LookupKeyedRecord(withVector ? &vector : nullptr, keyed, MainSection, recordId,
                                        &result.count, &result.disabledFlag, Block(output));
    }
    CloseHandle(handle);
    ExpectNothingHeld();
    for (std::size_t i = 0; i + 4 <= output.size(); i += 4) {
      result.words.push_back(static_cast<std::int32_t>(output[i] | output[i + 1] << 8 |
                                                       output[i + 2] << 16 | output[i + 3] << 24));
    }
    return result;
  }

  static writer::InfoFile FileWith(std::vector<std::pair<std::int32_t, KeyedBlock>> records) {
    writer::InfoFile file = writer::NewInfoFile();
    for (auto &[id, block] : records) {
      writer::AddRecord(file, writer::MainSectionKey, id, writer::KeyedRecord(block, 0x9E3779B9u ^ std::uint32_t(id)));
    }
    return file;
  }

  // kind 2, keys at vector positions 1 and 7, three int32 values a row.
  static KeyedBlock WorkedBlock(std::int16_t kind = 2) {
    KeyedBlock block;
    block.kind = kind;
    block.keyIndex = {1, 7};
    block.rows.push_back({{W, 3}, PackValues({10, 20, 30}, 4)});
    block.rows.push_back({{5, W}, PackValues({40, 50, 60}, 4)});
    return block;
  }
};

constexpr std::int32_t Untouched = static_cast<std::int32_t>(0xEEEEEEEEu);

TEST_F(KeyedLookupTest, WorkedBlockSelectsByKeysAndWildcards) {
  const writer::InfoFile file = FileWith({{50, WorkedBlock()}});
  LookupResult first = Lookup(file, 50, {{1, 5}, {7, 3}});
  EXPECT_EQ(first.status, Fault::None);
  EXPECT_EQ(first.count, 1);
  EXPECT_EQ(first.disabledFlag, 0);
  EXPECT_EQ((std::vector<std::int32_t>(first.words.begin(), first.words.begin() + 4)),
            (std::vector<std::int32_t>{10, 20, 30, Untouched}));

  LookupResult second = Lookup(file, 50, {{1, 5}, {7, 4}});
  EXPECT_EQ(second.count, 1);
  EXPECT_EQ(second.words[0], 40);

  LookupResult none = Lookup(file, 50, {{1, 6}, {7, 4}});
  EXPECT_EQ(none.status, Fault::None);
  EXPECT_EQ(none.count, 0);
  EXPECT_EQ(none.words[0], Untouched);
}

TEST_F(KeyedLookupTest, AllMatchesBlockTakesEveryMatchInOrder) {
  LookupResult all = Lookup(FileWith({{50, WorkedBlock(3)}}), 50, {{1, 5}, {7, 3}});
  EXPECT_EQ(all.count, 2);
  EXPECT_EQ((std::vector<std::int32_t>(all.words.begin(), all.words.begin() + 7)),
            (std::vector<std::int32_t>{10, 20, 30, 40, 50, 60, Untouched}));
}

TEST_F(KeyedLookupTest, UnsetPositionsMatchKeyMinusOneAndWildcardsMatchAnything) {
  KeyedBlock block;
  block.keyIndex = {9, 10};
  block.rows.push_back({{-1, W}, PackValues({1, 2, 3}, 4)});
  block.rows.push_back({{W, W}, PackValues({4, 5, 6}, 4)});
  LookupResult result = Lookup(FileWith({{50, block}}), 50, {});
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(result.words[3], 4);
}

TEST_F(KeyedLookupTest, FirstMatchBlockStopsAtTheFirstMatch) {
  KeyedBlock block;
  block.kind = 2;
  block.keyIndex = {4};
  for (std::int32_t r = 0; r < 6; ++r) {
    block.rows.push_back({{r == 2 || r == 4 ? 8 : 0}, PackValues({r, r, r}, 4)});
  }
  LookupResult result = Lookup(FileWith({{50, block}}), 50, {{4, 8}});
  EXPECT_EQ(result.count, 1);
  EXPECT_EQ(result.words[0], 2);
  EXPECT_EQ(result.words[3], Untouched);
}

TEST_F(KeyedLookupTest, NarrowValuesArePackedWithoutTheirFill) {
  KeyedBlock block;
  block.valueType = 2;
  block.rows.push_back({{}, PackValues({1, 2, 3}, 2)});  // 6 bytes, stored in 8
  block.rows.push_back({{}, PackValues({4, 5, 6}, 2)});
  LookupResult result = Lookup(FileWith({{50, block}}), 50, {});
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(result.words[0], 0x00020001);
  EXPECT_EQ(result.words[1], 0x00040003);  // the second row starts at output byte 6
  EXPECT_EQ(result.words[2], 0x00060005);

  block.valueType = 1;
  block.rows = {{{}, PackValues({1, 2, 3}, 1)}, {{}, PackValues({4, 5, 6}, 1)}};
  result = Lookup(FileWith({{50, block}}), 50, {});
  EXPECT_EQ(result.words[0], 0x04030201);
}

TEST_F(KeyedLookupTest, UnknownValueTypeCountsRowsAndWritesNothing) {
  KeyedBlock block;
  block.valueType = 3;
  block.keyIndex = {1};
  block.rows = {{{7}, {}}, {{7}, {}}, {{8}, {}}};
  LookupResult result = Lookup(FileWith({{50, block}}), 50, {{1, 7}});
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(result.words[0], Untouched);
}

TEST_F(KeyedLookupTest, SingleBlockIgnoresConditions) {
  const writer::InfoFile file =
      FileWith({{50, writer::SingleValues(4, 3, 2, PackValues({1, 2, 3, 4, 5, 6}, 4))}});
  LookupResult result = Lookup(file, 50, {{1, 99}});
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(result.words[5], 6);
  EXPECT_EQ(result.words[6], Untouched);

  KeyedBlock empty = writer::SingleValues(4, 3, 7, {});
  empty.byteCount = -5;
  result = Lookup(FileWith({{50, empty}}), 50, {});
  EXPECT_EQ(result.status, Fault::None);
  EXPECT_EQ(result.count, 7);
  EXPECT_EQ(result.words[0], Untouched);
}

TEST_F(KeyedLookupTest, DisabledFlagIsReportedWithTheValues) {
  KeyedBlock block = WorkedBlock();
  block.disabledFlag = 3;
  LookupResult result = Lookup(FileWith({{50, block}}), 50, {{1, 5}, {7, 3}});
  EXPECT_EQ(result.status, Fault::None);
  EXPECT_EQ(result.disabledFlag, 3);
  EXPECT_EQ(result.words[0], 10);
}

TEST_F(KeyedLookupTest, ChainsAreFollowedToTheFirstBlockThatIsNoChain) {
  const writer::InfoFile file = FileWith({
      {50, writer::ChainTo({1}, {{{1}, 60}, {{2}, 61}})},
      {60, writer::ChainTo({2}, {{{W}, 70}})},
      {61, writer::ChainTo({2}, {{{5}, 99}})},
      {70, WorkedBlock()},
  });
  LookupResult result = Lookup(file, 50, {{1, 1}, {2, 0}, {7, 3}});
  EXPECT_EQ(result.status, Fault::None);
  EXPECT_EQ(result.words[0], 10);
  EXPECT_EQ(Lookup(file, 50, {{1, 2}, {2, 5}}).status, Fault::RecordUnreadable);  // 99 is missing
  EXPECT_EQ(Lookup(file, 50, {{1, 2}, {2, 6}}).status, Fault::ChainSelection);
  EXPECT_EQ(Lookup(file, 50, {{1, 3}}).status, Fault::ChainSelection);
}

// A chain whose directory or records cannot be given a block fails for
// want of memory, which its callers tell apart from a missing record.
TEST_F(KeyedLookupTest, MemoryThatCannotBeHadIsNoUnreadableRecord) {
  const writer::InfoFile file = FileWith({{50, writer::ChainTo({1}, {{{1}, 60}})}, {60, WorkedBlock()}});
  const std::int64_t allocations = InjectEachFailureInTurn(
      &seam::FailAllocationsAfter, [&] { return Lookup(file, 50, {{1, 1}, {7, 3}}); },
      [](std::int64_t n, bool fired, const LookupResult &result) {
        EXPECT_EQ(result.status, fired ? Fault::NoMemory : Fault::None) << "allocation " << n;
      });
  EXPECT_GT(allocations, 1);  // the directory and a record at least
}

TEST_F(KeyedLookupTest, WithoutConditionsAChainBlockIsFinal) {
  const writer::InfoFile file = FileWith({{50, writer::ChainTo({}, {{{}, 60}, {{}, 61}})}});
  LookupResult result = Lookup(file, 50, {}, /*withVector=*/false);
  EXPECT_EQ(result.status, Fault::None);
  EXPECT_EQ(result.count, 1);
  EXPECT_EQ(result.words[0], 60);
  // Without a vector, a key other than the wildcard never matches.
  const writer::InfoFile keyed = FileWith({{50, WorkedBlock(3)}});
  EXPECT_EQ(Lookup(keyed, 50, {}, false).count, 0);
}

TEST_F(KeyedLookupTest, ALongChainIsFollowedToItsEnd) {
  std::vector<std::pair<std::int32_t, KeyedBlock>> records;
  for (std::int32_t id = 100; id < 700; ++id) records.push_back({id, writer::ChainTo({}, {{{}, id + 1}})});
  records.push_back({700, WorkedBlock()});
  LookupResult result = Lookup(FileWith(records), 100, {{1, 5}, {7, 3}});
  EXPECT_EQ(result.status, Fault::None);
  EXPECT_EQ(result.words[0], 10);
}

TEST_F(KeyedLookupTest, AChainThatComesBackOnItselfIsCutOff) {
  const writer::InfoFile file = FileWith({
      {50, writer::ChainTo({}, {{{}, 60}})},
      {60, writer::ChainTo({}, {{{}, 70}})},
      {70, writer::ChainTo({}, {{{}, 50}})},
      {80, writer::ChainTo({}, {{{}, 80}})},
  });
  EXPECT_EQ(Lookup(file, 50, {}).status, Fault::RecordDamaged);
  EXPECT_EQ(Lookup(file, 80, {}).status, Fault::RecordDamaged);
}

// Blocks whose header disagrees with their record are refused as damaged,
// never read past.
TEST_F(KeyedLookupTest, UnsoundBlocksAreRefused) {
  auto damaged = [&](KeyedBlock block, bool withVector = true) {
    return Lookup(FileWith({{50, block}}), 50, {{1, 5}, {7, 3}}, withVector).status;
  };
  KeyedBlock block = WorkedBlock();
  block.keyCount = 17;
  EXPECT_EQ(damaged(block), Fault::RecordDamaged);
  block.keyCount = -1;
  EXPECT_EQ(damaged(block), Fault::RecordDamaged);
  block = WorkedBlock();
  block.keyIndex = {1, 300};
  EXPECT_EQ(damaged(block), Fault::RecordDamaged);
  block.keyIndex = {-1, 7};
  EXPECT_EQ(damaged(block), Fault::RecordDamaged);
  block = WorkedBlock();
  block.valuesPerRow = -3;
  EXPECT_EQ(damaged(block), Fault::RecordDamaged);
  KeyedBlock named;
  named.valueType = 264;
  named.valuesPerRow = -3;  // plays no part for named entries
  named.rows.push_back({{}, writer::PackNamedEntry(1, "a", 2)});
  EXPECT_EQ(Lookup(FileWith({{50, named}}), 50, {}, true, 264).status, Fault::None);
  block = WorkedBlock();
  block.rowCount = 3;  // one row more than the record holds
  EXPECT_EQ(damaged(block), Fault::RecordDamaged);
  KeyedBlock single = writer::SingleValues(4, 3, 1, PackValues({1, 2, 3}, 4));
  single.byteCount = 16;
  EXPECT_EQ(damaged(single), Fault::RecordDamaged);
  KeyedBlock chain = writer::ChainTo({1}, {{{5}, 60}});
  chain.valueType = 2;
  EXPECT_EQ(damaged(chain), Fault::RecordDamaged);
  chain = writer::ChainTo({1}, {{{5}, 60}});
  chain.valuesPerRow = 0;
  chain.rows[0].values.clear();
  EXPECT_EQ(damaged(chain), Fault::RecordDamaged);
}

// A loop through a large directory ends within a few links, not after as
// many as the directory has entries.
TEST_F(KeyedLookupTest, ALoopInALargeDirectoryEndsPromptly) {
  writer::InfoFile file = FileWith({
      {50, writer::ChainTo({}, {{{}, 60}})},
      {60, writer::ChainTo({}, {{{}, 50}})},
  });
  for (std::int32_t i = 0; i < 200000; ++i) {
    writer::AddEntry(file, writer::MainSectionKey, {writer::MainSectionKey, 100000 + i, -1});
  }
  const std::int64_t reads = seam::ReadAttempts();
  EXPECT_EQ(Lookup(file, 50, {}).status, Fault::RecordDamaged);
  EXPECT_LT(seam::ReadAttempts() - reads, 40);
}

TEST_F(KeyedLookupTest, SelectionsLargerThanTheOutputAreRefused) {
  KeyedBlock block = WorkedBlock(3);
  EXPECT_EQ(Lookup(FileWith({{50, block}}), 50, {{1, 5}, {7, 3}}, true, 20).status, Fault::RecordDamaged);
  EXPECT_EQ(Lookup(FileWith({{50, block}}), 50, {{1, 5}, {7, 3}}, true, 24).status, Fault::None);
  const writer::InfoFile single =
      FileWith({{50, writer::SingleValues(4, 3, 2, PackValues({1, 2, 3, 4, 5, 6}, 4))}});
  EXPECT_EQ(Lookup(single, 50, {}, true, 20).status, Fault::RecordDamaged);
}

TEST_F(KeyedLookupTest, RecordsTooShortForAHeaderAreDamaged) {
  writer::InfoFile file = writer::NewInfoFile();
  writer::AddRecord(file, writer::MainSectionKey, 50, writer::Bytes(80, 0));
  writer::AddRecord(file, writer::MainSectionKey, 51, writer::Bytes(6, 0));
  EXPECT_EQ(Lookup(file, 50, {}).status, Fault::RecordDamaged);
  EXPECT_EQ(Lookup(file, 51, {}).status, Fault::RecordDamaged);
  EXPECT_EQ(Lookup(file, 52, {}).status, Fault::RecordUnreadable);
}

TEST_F(KeyedLookupTest, ReadKeyedHeaderDescribesTheFinalBlock) {
  const writer::InfoFile file = FileWith({
      {50, writer::ChainTo({1}, {{{1}, 60}})},
      {60, writer::SingleValues(256, 1, 1, writer::PackText("x"))},
  });
  Write("keyed.dat", writer::Finish(file));
  HANDLE handle = OpenInformationFile(reinterpret_cast<const WideChar *>(Folder()), "keyed.dat");
  ConditionVector vector;
  for (auto &entry : vector.entries) entry = -1;
  vector.entries[1] = 1;
  KeyedFields header{};
  {
    KeyedFile keyed(handle);
    EXPECT_EQ(ReadKeyedHeader(&vector, keyed, MainSection, 50, &header), Fault::None);
  }
  EXPECT_EQ(header.kind, SingleBlock);
  EXPECT_EQ(header.valueType, 256);
  CloseHandle(handle);
}

}  // namespace
}  // namespace dinfo::test

namespace dinfo::test {
namespace {

// Within one call the view reads each keyed record once: a block looked up
// again is the one restored before, checked anew against the lookup at
// hand, and a plain record read of it still gives the stored bytes.
TEST_F(KeyedLookupTest, ABlockLookedUpAgainInOneViewIsNotReadAgain) {
  KeyedBlock wrongChain = writer::ChainTo({1}, {{{1}, 60}});
  wrongChain.valueType = 2;  // sound only where no vector makes it a chain
  const KeyedBlock final = writer::SingleValues(4, 3, 1, PackValues({7, 8, 9}, 4));
  Write("keyed.dat", writer::Finish(FileWith({{50, writer::ChainTo({1}, {{{1}, 60}})},
                                              {60, final},
                                              {70, wrongChain}})));
  HANDLE handle = OpenInformationFile(reinterpret_cast<const WideChar *>(Folder()), "keyed.dat");
  ASSERT_NE(handle, nullptr);
  ConditionVector vector;
  for (auto &entry : vector.entries) entry = -1;
  vector.entries[1] = 1;
  {
    KeyedFile keyed(handle);
    auto lookup = [&](const ConditionVector *conditions, std::int32_t recordId, std::int64_t reads) {
      std::int16_t count = -1;
      std::int16_t flag = -1;
      std::uint8_t output[64] = {};
      const std::int64_t before = seam::ReadAttempts();
      const Fault fault =
          LookupKeyedRecord(conditions, keyed, MainSection, recordId, &count, &flag, Block(output));
      EXPECT_EQ(seam::ReadAttempts() - before, reads) << "record " << recordId;
      return fault == Fault::None ? count * 1000 + output[8] : -static_cast<std::int32_t>(fault);
    };
    // The directory (3 reads) and record 50, a final block without a vector.
    EXPECT_EQ(lookup(nullptr, 50, 5), 0);
    // 50 again, kept, now a chain to 60; then 60, kept in its turn.
    EXPECT_EQ(lookup(&vector, 50, 2), 1009);
    EXPECT_EQ(lookup(&vector, 60, 0), 1009);
    EXPECT_EQ(lookup(nullptr, 70, 2), 0);
    EXPECT_EQ(lookup(&vector, 70, 0), -static_cast<std::int32_t>(Fault::RecordDamaged));
    const OwnedBlock stored = ReadRecord(keyed.view, MainSection, 60).block;
    EXPECT_EQ(Bytes(stored.get().begin(), stored.get().end()),
              writer::KeyedRecord(final, 0x9E3779B9u ^ 60u));
  }
  CloseHandle(handle);
  ExpectNothingHeld();
}

// A header is read through rows only once it is checked against its block.
static_assert(!std::is_constructible_v<KeyedHeader, KeyedFields, RowLayout>);
static_assert(!std::is_aggregate_v<KeyedHeader>);

// A reader that reports instead of refusing sees every flaw of a header at
// once; the rows are measured only once the columns are sound.
TEST(KeyedHeaderFlawsTest, EveryFlawIsNamedAtOnce) {
  std::uint8_t rows[8] = {};
  KeyedFields header{};
  header.rows = ConstBlock(rows, sizeof rows);
  header.kind = ChainBlock;
  header.keyCount = 17;
  header.valueType = ValueTypeInt16;
  header.valuesPerRow = -1;
  header.keyIndex[0] = 300;
  header.rowCount = 100;
  EXPECT_EQ(FindKeyedHeaderFlaws(header),
            KeyCountOutOfRange | ValuesPerRowNegative | KeyIndexOutOfRange | ChainWithoutIds);
  header.keyCount = 1;
  header.keyIndex[0] = 0;
  header.valuesPerRow = 1;  // a row: one key and one int16 padded to 4 bytes
  EXPECT_EQ(FindKeyedHeaderFlaws(header), RowsPastBlock | ChainWithoutIds);
  header.rowCount = 1;
  EXPECT_EQ(FindKeyedHeaderFlaws(header), std::uint32_t{ChainWithoutIds});

  // The same header laid out in a block: a chain block without ids passes
  // the check only for a lookup without conditions.
  std::uint8_t block[KeyedHeaderSize + 8 + KeyedTrailerSize] = {};
  WriteU16LittleEndian(block + 4, 1);   // keyCount
  WriteU16LittleEndian(block + 6, 1);   // valuesPerRow
  WriteU16LittleEndian(block + 8, ValueTypeInt16);
  WriteU16LittleEndian(block + 10, 1);  // rowCount
  KeyedHeader checked;
  EXPECT_TRUE(CheckKeyedBlock(ConstBlock(block, sizeof block), false, &checked));
  EXPECT_EQ(checked.Row(0), block + KeyedHeaderSize);
  EXPECT_FALSE(CheckKeyedBlock(ConstBlock(block, sizeof block), true, &checked));
  WriteU16LittleEndian(block + 10, 2);  // a second row would pass the trailer
  EXPECT_FALSE(CheckKeyedBlock(ConstBlock(block, sizeof block), false, &checked));
}

}  // namespace
}  // namespace dinfo::test
