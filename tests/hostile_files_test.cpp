// Hostile information files, end to end through every export: loops and
// long chains, tables that break their own layout, negative numbers in
// every field that holds a count or an offset, directories at their
// limits, an LZW bomb, and records that yield more than their reader's
// buffer. Each must give the documented failure (or the right answer),
// hold nothing afterwards and finish promptly; the sanitizer builds and
// valgrind check that nothing is read or written outside a block.
#include <chrono>
#include <vector>

#include "lzw_reference.h"
#include "sample_file.h"
#include "lzw/lzw_decoder.h"
#include "table_support.h"

namespace dinfo::test {
namespace {

using writer::AddRecord;
using writer::KeyedBlock;
using writer::MainSectionKey;
using writer::PackValues;

// What every export answers for one file (the table only as found or not).
struct Outcome {
  std::int32_t formatType;
  std::int16_t mainInfo;
  std::int16_t categoryV;
  std::int16_t categoryS;
  bool table;
  bool operator==(const Outcome &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Outcome &o) {
  return out << "{" << o.formatType << ", " << o.mainInfo << ", " << o.categoryV << ", "
             << o.categoryS << ", " << o.table << "}";
}

// The sample file answers this with selector 1.
constexpr Outcome Sound{SampleFormatType, 0, SampleCategoryVCount, SampleCategorySCount, true};

// Replaces the record `id` of the main section.
void Replace(writer::InfoFile &file, std::int32_t id, const Bytes &body) {
  std::erase_if(writer::SectionOf(file, MainSectionKey).entries,
                [id](const writer::DirectoryEntry &entry) { return entry.recordId == id; });
  AddRecord(file, MainSectionKey, id, body);
}
void Replace(writer::InfoFile &file, std::int32_t id, const KeyedBlock &block) {
  Replace(file, id, writer::KeyedRecord(block));
}

Bytes FromHex(const std::string &hex) {
  Bytes bytes;
  for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(at, 2), nullptr, 16)));
  }
  return bytes;
}

KeyedBlock IdList(std::vector<std::int32_t> ids) {
  KeyedBlock block;
  block.valuesPerRow = static_cast<std::int16_t>(ids.size());
  block.rows.push_back({{}, PackValues(ids, 4)});
  return block;
}

class HostileFilesTest : public TableFileTest {
 protected:
  void SetUp() override {
    TableFileTest::SetUp();
    entries_.resize(32767);
  }

  // Every export on the bytes, selector 1, no pairs; each call must hold
  // nothing afterwards and the whole round must be prompt.
  Outcome Ask(const Bytes &bytes, std::int32_t selector = 1) {
    Write("hostile.dat", bytes);
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome{};
    outcome.formatType = DIGetTableFormatType("hostile.dat", Folder());
    ExpectNothingHeld();
    std::int16_t named = 0;
    std::int16_t triplets = 0;
    outcome.mainInfo = DIGetMainInfo("hostile.dat", Folder(), entries_.data(),
                                     reinterpret_cast<IntegerTriplet *>(entries_.data()), &named, &triplets);
    ExpectNothingHeld();
    outcome.categoryV = DIGetCategoryInfoV("hostile.dat", Folder(), selector, nullptr, entries_.data(), 0);
    ExpectNothingHeld();
    outcome.categoryS = DIGetCategoryInfoS("hostile.dat", Folder(), selector, nullptr, entries_.data(), 0);
    ExpectNothingHeld();
    void *table = DIGetTable("hostile.dat", Folder(), selector, nullptr, 0);
    outcome.table = table != nullptr;
    if (table != nullptr) TableBytes(table);
    DIFreeTable(table);
    ExpectNothingHeld();
    if (!RUNNING_ON_VALGRIND) {
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "too slow";
    }
    return outcome;
  }
  Outcome Ask(const writer::InfoFile &file, std::int32_t selector = 1) {
    return Ask(writer::Finish(file), selector);
  }

  std::vector<NamedEntry> entries_;
};

TEST_F(HostileFilesTest, TheSampleFileIsSound) { EXPECT_EQ(Ask(SampleFile()), Sound); }

TEST_F(HostileFilesTest, ChainLoopsEndWithAFailure) {
  writer::InfoFile file = SampleFile();
  // 1003 -> 70 -> 1003; 1004 names itself; the locator chain loops too.
  Replace(file, 1003, writer::ChainTo({1}, {{{W}, 70}}));
  Replace(file, 70, writer::ChainTo({1}, {{{W}, 1003}}));
  Replace(file, 1004, writer::ChainTo({1}, {{{W}, 1004}}));
  Replace(file, 1005, writer::ChainTo({1}, {{{W}, 1005}}));
  EXPECT_EQ(Ask(file), (Outcome{SampleFormatType, 0, ErrCategoryLookup, ErrCategoryLookup, false}));
}

TEST_F(HostileFilesTest, ChainsOfThousandsOfLinks) {
  constexpr std::int32_t Links = 3000;
  writer::InfoFile file = SampleFile();
  Replace(file, 1003, writer::ChainTo({1}, {{{W}, 10000}}));
  for (std::int32_t i = 0; i < Links; ++i) {
    const std::int32_t next = i + 1 < Links ? 10001 + i : 50;
    AddRecord(file, MainSectionKey, 10000 + i, writer::KeyedRecord(writer::ChainTo({1}, {{{W}, next}})));
  }
  EXPECT_EQ(Ask(file), Sound) << "a long chain that ends is followed to its end";
  // The same chain closed into a loop of thousands of links.
  Replace(file, 10000 + Links - 1, writer::ChainTo({1}, {{{W}, 10000}}));
  EXPECT_EQ(Ask(file), (Outcome{SampleFormatType, 0, ErrCategoryLookup, SampleCategorySCount, true}));
}

// Records 100 to 139 lie in ascending order in one directory, and the
// locator's chain asks for them from 139 down to 100, so that the first
// entry of the directory's sorted index is asked for once the index is
// built: every link must be found.
TEST_F(HostileFilesTest, AChainDownADirectoryFindsItsFirstEntry) {
  TableFile table = NewTableFile(writer::EncodeTableObject(TableDescription{}));
  for (std::int32_t id = 100; id < 140; ++id) {
    const Bytes record = id == 100 ? writer::LocatorRecord({{80, table.section}, {81, TableRecordId}})
                                   : writer::KeyedRecord(writer::ChainTo({1}, {{{W}, id - 1}}));
    AddRecord(table.file, MainSectionKey, id, record);
  }
  Write("info.dat", writer::Finish(WithLocator(table, writer::ChainTo({1}, {{{W}, 139}}))));
  EXPECT_EQ(GetTable(), writer::PreparedTableObject(TableDescription{}));
}

// A chain of thousands of links through a large directory reaches its end,
// each link found through the kept directory's index, and a loop through
// it ends promptly.
TEST_F(HostileFilesTest, ALoopInALargeDirectoryEndsPromptly) {
  constexpr std::int32_t Links = 2000;
  writer::InfoFile file = SampleFile();
  Replace(file, 1003, writer::ChainTo({1}, {{{W}, 10000}}));
  for (std::int32_t i = 0; i < Links; ++i) {
    const std::int32_t next = i + 1 < Links ? 10001 + i : 50;
    AddRecord(file, MainSectionKey, 10000 + i, writer::KeyedRecord(writer::ChainTo({1}, {{{W}, next}})));
  }
  Replace(file, 1004, writer::ChainTo({1}, {{{W}, 70}}));
  Replace(file, 70, writer::ChainTo({1}, {{{W}, 1004}}));
  for (std::int32_t i = 0; i < 100000; ++i) writer::AddEntry(file, MainSectionKey, {MainSectionKey, 200000 + i, -1});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ask(file), (Outcome{SampleFormatType, 0, SampleCategoryVCount, ErrCategoryLookup, true}));
  if (!RUNNING_ON_VALGRIND) {
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "too slow";
  }
}

// A chain block of about `bytes` bytes whose last row names `next`.
KeyedBlock LargeChainBlock(std::int32_t next, std::int32_t bytes) {
  KeyedBlock block = writer::ChainTo({1}, {});
  block.valuesPerRow = 256;
  std::vector<std::int32_t> values(256, 0);
  values[0] = next;
  const std::int32_t rows = (bytes - 84) / (4 + 1024);
  for (std::int32_t row = 0; row < rows; ++row) {
    block.rows.push_back({{row + 1 < rows ? 99 : W}, PackValues(values, 4)});
  }
  return block;
}

// A loop ends within a few links, however large its blocks and its
// directory: the locator 1005 names 2001, which names 1005 again, both of
// 1 MiB, among 200,000 entries. A loop cut only after as many links as the
// directory has entries would read and restore 200 GB here.
TEST_F(HostileFilesTest, ALoopThroughLargeBlocksEndsAfterAFewLinks) {
  writer::InfoFile file = SampleFile();
  for (std::int32_t i = 0; i < 200000; ++i) writer::AddEntry(file, MainSectionKey, {MainSectionKey, 300000 + i, -1});
  Replace(file, 1005, LargeChainBlock(2001, 1 << 20));
  AddRecord(file, MainSectionKey, 2001, writer::KeyedRecord(LargeChainBlock(1005, 1 << 20)));
  EXPECT_EQ(Ask(file), (Outcome{SampleFormatType, 0, SampleCategoryVCount, SampleCategorySCount, false}));
  const std::int64_t reads = seam::ReadAttempts();
  EXPECT_EQ(DIGetTable("hostile.dat", Folder(), 1, nullptr, 0), nullptr);
  EXPECT_LT(seam::ReadAttempts() - reads, 40);
  ExpectNothingHeld();
}

// One keyed block is held at a time: the locator's chain link, its final
// block and the table record, 4 MiB each, are never held two at once.
TEST_F(HostileFilesTest, OneLargeBlockIsHeldAtATime) {
  constexpr std::int32_t Large = 4 << 20;
  TableDescription described;
  described.entries = {writer::RawRun(Bytes(Large, 7))};
  TableFile table = NewTableFile(writer::EncodeTableObject(described));
  KeyedBlock locator = writer::LocatorBlock({{80, table.section}, {81, TableRecordId}});
  locator.byteCount = std::int32_t(locator.singlePayload.size());
  locator.singlePayload.resize(Large, 0);
  AddRecord(table.file, MainSectionKey, 2001, writer::KeyedRecord(locator));
  Write("info.dat", writer::Finish(WithLocator(table, LargeChainBlock(2001, Large))));
  const std::int64_t before = seam::LiveBytes();
  seam::ResetPeakLiveBytes();
  void *got = DIGetTable("info.dat", Folder(), 1, nullptr, 0);
  const std::int64_t peak = seam::PeakLiveBytes() - before;
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(TableBytes(got), writer::PreparedTableObject(described));
  DIFreeTable(got);
  ExpectNothingHeld();
  EXPECT_LT(peak, Large + Large / 2);
}

TEST_F(HostileFilesTest, NegativeAndOutOfRangeFileOffsets) {
  const Bytes sound = writer::Finish(SampleFile());
  const Outcome unreadable{ErrFormatType, ErrStatusLookup, ErrStatusLookup, ErrStatusLookup, false};
  for (std::int32_t directory : {-1, -2147483647 - 1, 0x7FFFFFFF, std::int32_t(sound.size()), 7}) {
    Bytes bytes = sound;
    writer::PutI32(bytes, 8, directory);
    EXPECT_EQ(Ask(bytes), unreadable) << "directory at " << directory;
  }
  EXPECT_EQ(Ask(Bytes(sound.begin(), sound.begin() + 11)), unreadable) << "a file of 11 bytes";
  EXPECT_EQ(Ask(Bytes{}), unreadable) << "an empty file";
}

TEST_F(HostileFilesTest, DirectoryCountsAtTheirLimits) {
  const Outcome unreadable{ErrFormatType, ErrStatusLookup, ErrStatusLookup, ErrStatusLookup, false};
  // 178956970 entries are allowed but the file cannot hold them; one more,
  // and counts below 1, are refused before anything is read.
  for (std::int32_t count : {0, -1, -2147483647 - 1, 178956970, 178956971, 0x7FFFFFFF}) {
    writer::InfoFile file = SampleFile();
    file.sections[0].entryCount = count;
    const std::int64_t allocations = seam::AllocationAttempts();
    EXPECT_EQ(Ask(file), unreadable) << "entry count " << count;
    EXPECT_LT(seam::AllocationAttempts() - allocations, 40) << "entry count " << count;
  }
  // A count one short of the entries hides the last one (the table record
  // of the sample lies in a section of its own, the locator in the main).
  writer::InfoFile file = SampleFile();
  file.sections[0].entryCount = static_cast<std::int32_t>(file.sections[0].entries.size()) - 1;
  EXPECT_EQ(Ask(file), (Outcome{SampleFormatType, 0, SampleCategoryVCount, SampleCategorySCount, false}));
}

TEST_F(HostileFilesTest, NegativeAndOversizedRecordEntries) {
  const Outcome noStatus{ErrFormatType, ErrStatusLookup, ErrStatusLookup, ErrStatusLookup, false};
  for (std::int32_t offset : {-1, -2147483647 - 1, 0x7FFFFFFF}) {
    writer::InfoFile file = SampleFile();
    std::erase_if(file.sections[0].entries, [](const auto &entry) { return entry.recordId == 1000; });
    writer::AddEntry(file, MainSectionKey, {MainSectionKey, 1000, offset});
    EXPECT_EQ(Ask(file), noStatus) << "status record at " << offset;
  }
  for (std::int32_t size : {0, -1, -2147483647 - 1, 0x7FFFFFFF, 1 << 30, 12}) {
    writer::InfoFile file = SampleFile();
    std::erase_if(file.sections[0].entries, [](const auto &entry) { return entry.recordId == 1000; });
    Bytes raw;
    writer::AppendI32(raw, size);
    for (int i = 0; i < 3; ++i) writer::AppendI32(raw, 0);
    writer::AddEntry(file, MainSectionKey, {MainSectionKey, 1000, writer::AppendRaw(file, raw)});
    EXPECT_EQ(Ask(file), noStatus) << "status record of " << size << " bytes";
  }
}

TEST_F(HostileFilesTest, NegativeCountsInKeyedBlocks) {
  const auto damaged = [](auto change) {
    writer::InfoFile file = SampleFile();
    KeyedBlock block = IdList({7, 9, 0});
    block.keyIndex = {1};
    block.rows[0].keys = {W};
    change(block);
    Replace(file, 50, block);
    return file;
  };
  // Record 50 is the id list of the V query; the S query never reads it.
  const Outcome refused{SampleFormatType, 0, ErrCategoryLookup, SampleCategorySCount, true};
  EXPECT_EQ(Ask(damaged([](KeyedBlock &b) { b.keyCount = -1; })), refused);
  EXPECT_EQ(Ask(damaged([](KeyedBlock &b) { b.keyCount = 17; })), refused);
  EXPECT_EQ(Ask(damaged([](KeyedBlock &b) { b.valuesPerRow = -3; })), refused);
  EXPECT_EQ(Ask(damaged([](KeyedBlock &b) { b.keyIndex = {-1}; })), refused);
  EXPECT_EQ(Ask(damaged([](KeyedBlock &b) { b.keyIndex = {300}; })), refused);
  EXPECT_EQ(Ask(damaged([](KeyedBlock &b) { b.rowCount = 2; })), refused) << "rows past the record";
  // A negative row count selects nothing.
  EXPECT_EQ(Ask(damaged([](KeyedBlock &b) { b.rowCount = -1; })),
            (Outcome{SampleFormatType, 0, ErrNoCategory, SampleCategorySCount, true}));
  // A single block whose byteCount is negative copies nothing; one that
  // reaches past its record is refused.
  writer::InfoFile file = SampleFile();
  KeyedBlock status = writer::SingleValues(4, 1, 2, PackValues({0, 6}, 4));
  status.byteCount = -8;
  Replace(file, 1000, status);
  EXPECT_EQ(Ask(file), (Outcome{0, 0, SampleCategoryVCount, SampleCategorySCount, true}));
  status.byteCount = 12;
  Replace(file, 1000, status);
  EXPECT_EQ(Ask(file), (Outcome{ErrFormatType, ErrStatusLookup, ErrStatusLookup, ErrStatusLookup, false}));
}

TEST_F(HostileFilesTest, RecordsYieldingMoreThanTheirBuffer) {
  const Outcome noStatus{ErrFormatType, ErrStatusLookup, ErrStatusLookup, ErrStatusLookup, false};
  std::vector<std::int32_t> values(100, 0);
  values[1] = 9;
  writer::InfoFile file = SampleFile();
  Replace(file, 1000, writer::SingleValues(4, 1, 100, PackValues(values, 4)));
  EXPECT_EQ(Ask(file), (Outcome{9, 0, SampleCategoryVCount, SampleCategorySCount, true})) << "400 bytes fit";
  values.push_back(0);
  Replace(file, 1000, writer::SingleValues(4, 1, 101, PackValues(values, 4)));
  EXPECT_EQ(Ask(file), noStatus) << "404 bytes do not";
  KeyedBlock rows;
  rows.valuesPerRow = 1;
  for (int i = 0; i < 101; ++i) rows.rows.push_back({{}, PackValues({i == 1 ? 9 : 0}, 4)});
  Replace(file, 1000, rows);
  EXPECT_EQ(Ask(file), noStatus) << "nor do 101 selected rows";

  // The locator's buffer holds 200 triplets; the category's 40 record ids,
  // of which one must be 0.
  file = SampleFile();
  std::vector<std::int32_t> locator;
  for (int i = 0; i < 201; ++i) locator.insert(locator.end(), {80, 8, 0});
  Replace(file, 61, writer::SingleValues(4, 3, 201, PackValues(locator, 4)));
  std::vector<std::int32_t> ids(41, 7);
  Replace(file, 50, IdList(ids));
  ids.resize(40);
  Replace(file, 51, IdList(ids));
  EXPECT_EQ(Ask(file), (Outcome{SampleFormatType, 0, ErrCategoryLookup, ErrValueList, false}));
}

TEST_F(HostileFilesTest, LocatorsNamingNegativeOrMissingPlaces) {
  for (auto [section, record] : std::vector<std::pair<std::int32_t, std::int32_t>>{
           {-8, 101}, {8, -1}, {-2147483647 - 1, 101}, {0x7FFFFFF0, 101}, {8, 0x7FFFFFFF}}) {
    writer::InfoFile file = SampleFile();
    Replace(file, 61, writer::SingleValues(4, 3, 2, PackValues({80, section, 0, 81, record, 0}, 4)));
    EXPECT_FALSE(Ask(file).table) << section << ", " << record;
  }
}

TEST_F(HostileFilesTest, ConditionPairsOutsideTheVector) {
  Write("hostile.dat", writer::Finish(SampleFile()));
  for (std::int32_t index : {-1, 300, -2147483647 - 1}) {
    const ConditionPair pairs[2] = {{5, 1, {}}, {index, 1, {}}};
    EXPECT_EQ(DIGetCategoryInfoV("hostile.dat", Folder(), 1, pairs, entries_.data(), 2), ErrConditionIndex);
    EXPECT_EQ(DIGetTable("hostile.dat", Folder(), 1, pairs, 2), nullptr);
    EXPECT_EQ(DIGetCategoryInfoV("hostile.dat", Folder(), 1, pairs, entries_.data(), -2), SampleCategoryVCount)
        << "a negative pair count reads no pair";
  }
  ExpectNothingHeld();
}

// Table objects that break their own layout, stored behind the sample's
// locator for selector 1: each is refused with nothing held.
TEST_F(HostileFilesTest, TablesBreakingTheirLayout) {
  const auto withTable = [](const Bytes &object) {
    TableFile table = NewTableFile(object);
    return WithLocator(table, writer::LocatorBlock({{80, table.section}, {81, TableRecordId}}));
  };
  const Bytes array = {1, 0, 2, 0, 3, 0, 0, 0};
  const std::uint32_t int16s = 0x04000003u;
  const std::vector<std::pair<const char *, Bytes>> cases = {
      {"totalSize past the record", HandObject(false, {{int16s, 24}}, array, 40)},
      {"totalSize past the record, opposite order", HandObject(true, {{int16s, 24}}, array, 0x7FFFFFF8)},
      {"totalSize below a header", HandObject(false, {{int16s, 24}}, array, 8)},
      {"negative totalSize", HandObject(false, {{int16s, 24}}, array, -16)},
      {"descriptors past the object", HandObject(false, {{int16s, 24}}, array, 24)},
      {"negative descriptorCount", [] { Bytes b = HandObject(false, {}, {}); PutWord(b, 8, 0xFFFFFFFFu, false); return b; }()},
      {"huge descriptorCount", [] { Bytes b = HandObject(true, {}, {}); PutWord(b, 8, 0x7FFFFFFFu, true); return b; }()},
      {"entry in the header", HandObject(false, {{int16s, 0}}, array)},
      {"entry in the descriptors", HandObject(false, {{int16s, 16}}, array)},
      {"entry before the object", HandObject(false, {{int16s, -8}}, array)},
      {"entry past the object", HandObject(false, {{int16s, 32}}, array)},
      {"entry reaching past the object", HandObject(false, {{int16s + 2, 24}}, array)},
      {"huge typed array", HandObject(false, {{0x7FFFFFFFu, 24}}, array)},
      {"huge raw run", HandObject(true, {{0x9AFFFFFFu, 24}}, array)},
      {"nested table on its parent", HandObject(false, {{0xDC000000u, 0}}, array)},
      {"nested table in the descriptors", HandObject(false, {{0xDC000000u, 16}}, array)},
      {"nested table past its parent",
       HandObject(false, {{0xDC000000u, 24}}, HandObject(false, {{int16s, 24}}, array, 64))},
      {"invalid tag", HandObject(false, {{0, 24}}, array)},
      {"compressed body shorter than its descriptors", [] {
         TableDescription shorter;
         shorter.entries = {writer::RawRun({1, 2})};
         shorter.compressed = true;
         shorter.descriptorCount = 4;
         return writer::EncodeTableObject(shorter);
       }()},
  };
  for (const auto &[name, object] : cases) {
    EXPECT_EQ(Ask(withTable(object)), (Outcome{1, ErrMainInfo, ErrCategoryLookup, ErrCategoryLookup, false}))
        << name;
  }
}

// Entries may overlap: an array over a nested table, two descriptors on
// one nested table. Whatever comes back, nothing is touched outside the
// block and nothing is held.
TEST_F(HostileFilesTest, OverlappingEntriesStayInsideTheirBlock) {
  TableDescription layout;
  layout.bigEndian = true;
  layout.deltaCoded = true;
  layout.entries = {writer::TypedArray(4, {1, 2})};
  const Bytes child = writer::EncodeTableObject(layout);
  layout.compressed = true;
  const Bytes compressed = writer::EncodeTableObject(layout);
  for (const Bytes &nested : {child, compressed}) {
    const auto size = static_cast<std::int32_t>(nested.size());
    const std::uint32_t overTheChild = 0x04000000u | std::uint32_t(size / 2);
    for (const Bytes &object :
         {HandObject(false, {{0xDC000000u, 32}, {0xDC000000u, 32}}, nested, 0, 0),
          HandObject(false, {{overTheChild, 32}, {0xDC000000u, 32}}, nested, 0, 0x20000000u),
          HandObject(true, {{0xDC000000u, 32}, {0x9A000000u | std::uint32_t(size), 32}}, nested, 0, 0x20000000u)}) {
      TableFile table = NewTableFile(object);
      Ask(WithLocator(table, writer::LocatorBlock({{80, table.section}, {81, TableRecordId}})));
    }
  }
}

// A delta-coded parent whose three descriptors name one compressed nested
// table, in a data area that holds it once: the rebuild at the first
// expansion has no room for the other two, and is refused without a byte
// written outside its block (found by the prepare-table fuzzer).
TEST_F(HostileFilesTest, ARebuildWithoutRoomForItsEntriesIsRefused) {
  const Bytes record = FromHex(
      "16851750800000000100000000000020000000dc1800000050178516000000680000000300000000dc000000"
      "00000030dc00000000000030dc0000000000003004053f000000000016851750300000000000000000000060"
      "80fbc01030440c000481800610681000083883003fcc9068dc0e3b178080000040ea0300c0600000");
  ASSERT_EQ(record.size(), 128u);
  TableFile table = NewTableFile(record);
  EXPECT_FALSE(Ask(WithLocator(table, writer::LocatorBlock({{80, table.section}, {81, TableRecordId}}))).table);
}

// Descriptors naming one nested table at every level, wide and deep: a
// table prepared in place is walked once however many descriptors name it,
// where walking each descriptor would take 64 x 128, or 16^30, walks.
TEST_F(HostileFilesTest, SharedNestedTablesAreWalkedOnce) {
  const auto shared = [](Bytes inner, int count) {
    return HandObject(count % 2 == 0, std::vector<Descriptor>(std::size_t(count), Descriptor{0xDC000000u, 16 + 8 * count}),
                      inner);
  };
  TableDescription leaf;
  leaf.scrambled = true;
  leaf.deltaCoded = true;
  leaf.entries = {writer::TypedArray(2, {1, 1, 1})};
  const Bytes leafStored = writer::EncodeTableObject(leaf);
  const Bytes leafPrepared = writer::PreparedTableObject(leaf);
  for (auto [outer, inner] : {std::pair{64, 128}, std::pair{40, 100}, std::pair{100, 100}}) {
    const auto start = std::chrono::steady_clock::now();
    const auto table = GetTable(FileWithTable(shared(shared(leafStored, inner), outer)));
    EXPECT_EQ(table, shared(shared(leafPrepared, inner), outer)) << outer << " x " << inner;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
  // 130 descriptors naming 65 tables twice each: more tables than the
  // walked set's first room holds.
  std::vector<Descriptor> twice;
  Bytes leaves;
  Bytes leavesPrepared;
  for (int i = 0; i < 130; ++i) twice.push_back({0xDC000000u, 16 + 8 * 130 + std::int32_t(leafStored.size()) * (i % 65)});
  for (int i = 0; i < 65; ++i) {
    leaves.insert(leaves.end(), leafStored.begin(), leafStored.end());
    leavesPrepared.insert(leavesPrepared.end(), leafPrepared.begin(), leafPrepared.end());
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(GetTable(FileWithTable(HandObject(false, twice, leaves))), HandObject(false, twice, leavesPrepared));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  // A leaf named `width` times at each of 30 levels comes back prepared,
  // promptly.
  const auto expectDeepShared = [&](const Bytes &leafIn, const Bytes &leafOut, int width) {
    Bytes stored = leafIn;
    Bytes prepared = leafOut;
    for (int level = 0; level < 30; ++level) {
      stored = shared(stored, width);
      prepared = shared(prepared, width);
    }
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(GetTable(FileWithTable(stored)), prepared);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
  };
  expectDeepShared(leafStored, leafPrepared, 16);
  // A leaf whose two runs overlap, plain and delta-coded: its walk is never
  // clean, yet once a walk writes nothing it is done.
  for (std::uint32_t flags : {0u, FlagDeltaCoded}) {
    const Bytes overlapping = HandObject(false, {{0x9A000008u, 32}, {0x9A000008u, 36}}, Bytes(16, 1), 0, flags);
    expectDeepShared(overlapping, *Prepare(overlapping).bytes, 2);
  }
}

// Nesting far deeper than a stack of calls would go, with a compressed
// table at the bottom so that every level is rebuilt.
TEST_F(HostileFilesTest, DeepNestingWithASpliceAtEveryLevel) {
  TableDescription bottom;
  bottom.entries = {writer::RawRun({7, 7, 7})};
  bottom.compressed = true;
  Bytes object = writer::EncodeTableObject(bottom);
  for (int level = 0; level < 5000; ++level) object = HandObject(level % 2 == 0, {{0xDC000000u, 24}}, object);
  TableFile table = NewTableFile(object);
  EXPECT_TRUE(Ask(WithLocator(table, writer::LocatorBlock({{80, table.section}, {81, TableRecordId}}))).table);
}

// A compressed table whose body would expand past 2^30 bytes: every code
// repeats the previous string plus one byte, so each clear's table of codes
// spells out 7 MB of zeros, and 150 of them go past the limit. Expansion
// must stop at the limit with nothing held, the output buffer having
// doubled its way up without any larger allocation.
TEST_F(HostileFilesTest, AnLzwBombStopsAtTheOutputLimit) {
  if (RUNNING_ON_VALGRIND) GTEST_SKIP() << "a gigabyte of output is too much for valgrind";
  const auto bomb = ZeroRounds;
  // One round: 1 + 2 + 3 + ... + 3839 bytes.
  const Bytes round = bomb(1);
  {
    const LzwExpansion expansion = ExpandLzw(round.data(), std::int32_t(round.size()));
    EXPECT_EQ(expansion.fault, Fault::None);
    EXPECT_EQ(expansion.output.get().size(), std::size_t{3839 * 3840 / 2 + OutputHeaderRoom});
  }

  Bytes object = HandObject(false, {}, bomb(150), 0, 0x40000000u);
  object.resize((object.size() + 7) / 8 * 8);
  PutWord(object, 4, static_cast<std::uint32_t>(object.size()), false);
  TableFile table = NewTableFile(object);
  Write("bomb.dat", writer::Finish(WithLocator(table, writer::LocatorBlock({{80, table.section}, {81, TableRecordId}}))));
  const std::int64_t allocations = seam::AllocationAttempts();
  EXPECT_EQ(DIGetTable("bomb.dat", Folder(), 1, nullptr, 0), nullptr);
  EXPECT_LT(seam::AllocationAttempts() - allocations, 40) << "one allocation per doubling at most";
  ExpectNothingHeld();
}

}  // namespace
}  // namespace dinfo::test
