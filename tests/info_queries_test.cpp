// DIGetMainInfo, DIGetCategoryInfoV and DIGetCategoryInfoS end to end on
// writer-made files. Caller arrays are filled with a sentinel before each
// call, so a write outside the documented range fails the test.
#include <cstring>
#include <string>
#include <vector>

#include "infofile/information_file.h"
#include "query/query.h"
#include "test_support.h"

namespace dinfo::test {
namespace {

using writer::AddRecord;
using writer::KeyedBlock;
using writer::MainSectionKey;
using writer::PackValues;

constexpr std::int32_t Sentinel = 0x5A5A5A5A;

// A category record: AllMatches on the selector, each row's values a list of record ids.
KeyedBlock Category(std::vector<std::pair<std::int32_t, std::vector<std::int32_t>>> bySelector) {
  KeyedBlock block;
  block.keyIndex = {1};
  block.valuesPerRow = 0;
  for (auto &[selector, ids] : bySelector) {
    block.valuesPerRow = static_cast<std::int16_t>(ids.size());
    block.rows.push_back({{selector}, PackValues(ids, 4)});
  }
  return block;
}

class InfoQueriesTest : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    file_ = FileWithStatus(0, 3);
    Add(1001, writer::NamedEntryRows({{1, "first"}, {2, "second"}}));
    Add(1002, writer::TripletRows(4, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
    Add(1003, Category({{1, {7, 9, 0}}, {2, {11, 0, 0}}, {3, {12, 0, 0}}, {4, {13, 0, 0}}}));
    Add(1004, Category({{1, {20, 21, 0}}}));
    Add(7, writer::TripletRows(4, {{70, 71, 72}, {73, 74, 75}}));
    Add(9, writer::TripletRows(4, {{90, 91, 92}, {93, 94, 95}, {96, 97, 98}}, {5}, {W}));
    Add(11, writer::TripletRows(3, {{1, 2, 3}}));
    Add(12, writer::TripletRows(1, {{0x7F, 0x80, 0xFF}}));
    Add(13, writer::TripletRows(2, {{0x8000, 0x0001, 0xFFFF}}));
    KeyedBlock texts;
    texts.valueType = 256;
    texts.valuesPerRow = 1;
    texts.rows = {{{}, writer::PackText("alpha")}, {{}, writer::PackText("beta")}};
    Add(20, texts);
    Add(21, writer::NamedEntryRows({{40, "gamma"}}));
  }

  // Adds the record, replacing an earlier one of the same id.
  void Add(std::int32_t id, const KeyedBlock &block) {
    std::erase_if(writer::SectionOf(file_, MainSectionKey).entries,
                  [id](const writer::DirectoryEntry &entry) { return entry.recordId == id; });
    AddRecord(file_, MainSectionKey, id, writer::KeyedRecord(block, 0xA5A50000u + std::uint32_t(id)));
  }
  void Save() { Write("info.dat", writer::Finish(file_)); }

  std::int16_t CategoryV(std::int32_t selector, std::vector<ConditionPair> pairs = {}) {
    Save();
    std::fill(std::begin(triplets_), std::end(triplets_), IntegerTriplet{{Sentinel, Sentinel, Sentinel}});
    const std::int16_t result = DIGetCategoryInfoV("info.dat", Folder(), selector, pairs.data(),
                                                   triplets_, static_cast<std::int16_t>(pairs.size()));
    ExpectNothingHeld();
    return result;
  }
  std::int16_t CategoryS(std::int32_t selector) {
    Save();
    std::memset(named_, 0x5A, sizeof named_);
    const std::int16_t result = DIGetCategoryInfoS("info.dat", Folder(), selector, nullptr, named_, 0);
    ExpectNothingHeld();
    return result;
  }
  std::int16_t MainInfo() {
    Save();
    std::memset(named_, 0x5A, sizeof named_);
    std::fill(std::begin(triplets_), std::end(triplets_), IntegerTriplet{{Sentinel, Sentinel, Sentinel}});
    namedCount_ = tripletCount_ = 99;
    const std::int16_t result =
        DIGetMainInfo("info.dat", Folder(), named_, triplets_, &namedCount_, &tripletCount_);
    ExpectNothingHeld();
    return result;
  }
  bool TripletsUntouchedFrom(std::size_t first) const {
    for (std::size_t i = first; i < std::size(triplets_); ++i) {
      if (triplets_[i].values[0] != Sentinel || triplets_[i].values[2] != Sentinel) return false;
    }
    return true;
  }

  writer::InfoFile file_;
  IntegerTriplet triplets_[64];
  NamedEntry named_[16];
  std::int16_t namedCount_ = 0;
  std::int16_t tripletCount_ = 0;
};

TEST_F(InfoQueriesTest, CategoryAppendsListedRecordsInOrder) {
  ASSERT_EQ(CategoryV(1), 5);
  EXPECT_EQ(triplets_[0].values[0], 70);
  EXPECT_EQ(triplets_[1].values[2], 75);
  EXPECT_EQ(triplets_[2].values[0], 90);  // record 9 follows record 7 directly
  EXPECT_EQ(triplets_[4].values[2], 98);
  EXPECT_TRUE(TripletsUntouchedFrom(5));
}

TEST_F(InfoQueriesTest, ConditionsReachTheListedRecords) {
  Add(9, writer::TripletRows(4, {{90, 91, 92}}, {5}, {6}));
  EXPECT_EQ(CategoryV(1, {{5, 6, {}}}), 3);
  EXPECT_EQ(CategoryV(1, {{5, 7, {}}}), 2);  // record 9 selects nothing and adds 0
  EXPECT_TRUE(TripletsUntouchedFrom(2));
}

// A block may compare as many as 16 keys; every one of them decides. The
// first row differs from the caller's conditions in its 16th key only.
TEST_F(InfoQueriesTest, SixteenKeysAreAllCompared) {
  KeyedBlock block;
  block.kind = 2;
  block.keyIndex = {1};
  std::vector<std::int32_t> keys = {1};
  std::vector<ConditionPair> pairs;
  for (std::int32_t k = 0; k < 15; ++k) {
    block.keyIndex.push_back(285 + k);  // up to the last position, 299
    keys.push_back(1000 + k);
    pairs.push_back({285 + k, 1000 + k, {}});
  }
  std::vector<std::int32_t> lastDiffers = keys;
  lastDiffers.back() = 999;
  block.rows = {{lastDiffers, PackValues({1, 1, 1}, 4)}, {keys, PackValues({90, 91, 92}, 4)}};
  Add(9, block);
  ASSERT_EQ(CategoryV(1, pairs), 3);
  EXPECT_EQ(triplets_[2].values[0], 90);
  EXPECT_EQ(triplets_[2].values[2], 92);
  EXPECT_TRUE(TripletsUntouchedFrom(3));
}

TEST_F(InfoQueriesTest, SignIsWidenedForNarrowValues) {
  ASSERT_EQ(CategoryV(3), 1);
  EXPECT_EQ(triplets_[0].values[0], 127);
  EXPECT_EQ(triplets_[0].values[1], -128);
  EXPECT_EQ(triplets_[0].values[2], -1);
  ASSERT_EQ(CategoryV(4), 1);
  EXPECT_EQ(triplets_[0].values[0], -32768);
  EXPECT_EQ(triplets_[0].values[1], 1);
  EXPECT_EQ(triplets_[0].values[2], -1);
}

TEST_F(InfoQueriesTest, AnUnhandledValueTypeGivesNothing) {
  EXPECT_EQ(CategoryV(2), 0);
  EXPECT_TRUE(TripletsUntouchedFrom(0));
}

TEST_F(InfoQueriesTest, CategorySReadsRecord1004AsNamedEntries) {
  ASSERT_EQ(CategoryS(1), 3);
  EXPECT_EQ(named_[0].leadingValue, 0);
  EXPECT_STREQ(reinterpret_cast<const char *>(named_[0].name), "alpha");
  EXPECT_EQ(named_[1].trailingValue, 1);
  // Record 21 holds named entries but is read as texts, the first record's type.
  EXPECT_EQ(named_[2].leadingValue, 0);
  EXPECT_EQ(named_[3].leadingValue, 0x5A5A5A5A);
  EXPECT_EQ(CategoryV(1), 5);  // V still reads 1003
}

TEST_F(InfoQueriesTest, CategoryFailuresGiveTheirCodes) {
  EXPECT_EQ(CategoryV(99), ErrNoCategory);
  EXPECT_EQ(CategoryV(1, {{300, 0, {}}}), ErrConditionIndex);
  EXPECT_EQ(CategoryV(1, {{-1, 0, {}}}), ErrConditionIndex);
  EXPECT_EQ(CategoryV(1, {{299, 0, {}}}), 5);
  EXPECT_EQ(CategoryV(7, {{1, 1, {}}}), 5);  // a pair at index 1 replaces the selector

  KeyedBlock disabled = Category({{1, {7, 0}}});
  disabled.disabledFlag = 1;
  Add(1003, disabled);
  EXPECT_EQ(CategoryV(1), ErrRecordDisabled);
}

TEST_F(InfoQueriesTest, ListedRecordFailuresGiveTheListCode) {
  KeyedBlock disabled = writer::TripletRows(4, {{1, 2, 3}});
  disabled.disabledFlag = 1;
  Add(9, disabled);
  EXPECT_EQ(CategoryV(1), ErrValueList);
  Add(1003, Category({{1, {8, 0}}}));  // record 8 does not exist
  EXPECT_EQ(CategoryV(1), ErrValueList);
  Add(21, writer::TripletRows(4, {{1, 2, 3}}, {1}, {42}));
  Add(1004, Category({{1, {20, 21, 0}}}));
  AddRecord(file_, MainSectionKey, 21, writer::Bytes(8, 0));  // shadowed: first entry wins
  EXPECT_EQ(CategoryS(1), 2);
}

TEST_F(InfoQueriesTest, CategoryFrameFailures) {
  EXPECT_EQ(DIGetCategoryInfoV("missing.dat", Folder(), 1, nullptr, triplets_, 0), ErrOpenFile);
  file_ = FileWithStatus(5, 3);
  Add(1003, Category({{1, {7, 0}}}));
  EXPECT_EQ(CategoryV(1), ErrFileUnusable);
  file_ = FileWithStatus(0, -1);
  Add(1003, Category({{1, {7, 0}}}));
  EXPECT_EQ(CategoryV(1), ErrRecordDisabled);
  file_ = writer::NewInfoFile();
  AddRecord(file_, MainSectionKey, 1000, writer::KeyedRecord(writer::SingleValues(4, 1, 1, PackValues({0}, 4))));
  EXPECT_EQ(CategoryV(1), ErrRecordDisabled);  // one status row: no format type
  file_ = writer::NewInfoFile();
  EXPECT_EQ(CategoryV(1), ErrStatusLookup);
  file_ = FileWithStatus(0, 3);
  EXPECT_EQ(CategoryV(1), ErrCategoryLookup);  // no record 1003
}

// The id buffer holds 40 ids: the list must end with a 0 within them, and
// the 40th place may hold that 0.
TEST_F(InfoQueriesTest, IdListsEndWithinTheirFortyPlaces) {
  std::vector<std::int32_t> listed;
  for (std::int32_t id = 100; id < 139; ++id) {
    Add(id, writer::TripletRows(4, {{id, 0, -id}}));
    listed.push_back(id);
  }
  listed.push_back(0);
  Add(1003, Category({{1, listed}}));
  ASSERT_EQ(CategoryV(1), 39);
  EXPECT_EQ(triplets_[0].values[0], 100);
  EXPECT_EQ(triplets_[38].values[0], 138);
  EXPECT_EQ(triplets_[38].values[2], -138);
  EXPECT_TRUE(TripletsUntouchedFrom(39));

  std::vector<std::int32_t> ids(40, 7);
  Add(1003, Category({{1, ids}}));
  EXPECT_EQ(CategoryV(1), ErrValueList);
  EXPECT_TRUE(TripletsUntouchedFrom(0));
  ids.push_back(0);  // 164 bytes: more than the id buffer holds
  Add(1003, Category({{1, ids}}));
  EXPECT_EQ(CategoryV(1), ErrCategoryLookup);
}

// A null list fails only where elements would be written through it; the
// file is opened and its status checked first. Null counts are refused
// before anything is read.
TEST_F(InfoQueriesTest, NullArgumentsFailOnlyWhereTheyWouldBeWrittenThrough) {
  const auto categoryV = [&] { return DIGetCategoryInfoV("info.dat", Folder(), 1, nullptr, nullptr, 0); };
  const auto categoryS = [&] { return DIGetCategoryInfoS("info.dat", Folder(), 1, nullptr, nullptr, 0); };
  Save();
  EXPECT_EQ(categoryV(), ErrValueList);
  EXPECT_EQ(categoryS(), ErrEntryList);
  EXPECT_EQ(DIGetCategoryInfoV("info.dat", Folder(), 1, nullptr, triplets_, 2), ErrConditionIndex);
  EXPECT_EQ(DIGetCategoryInfoV("info.dat", Folder(), 1, nullptr, triplets_, -2), 5);
  Add(1003, Category({{1, {7, 0}}}));
  Add(7, writer::TripletRows(4, {{1, 2, 3}}, {5}, {42}));  // no row matches
  Save();
  EXPECT_EQ(categoryV(), 0);
  Add(7, writer::TripletRows(3, {{1, 2, 3}}));  // value type 3: nothing to write
  Save();
  EXPECT_EQ(categoryV(), 0);

  std::int16_t named = 99;
  std::int16_t triplets = 99;
  EXPECT_EQ(DIGetMainInfo("info.dat", Folder(), named_, triplets_, &named, nullptr), ErrMainInfo);
  EXPECT_EQ(named, 0);
  EXPECT_EQ(DIGetMainInfo("info.dat", Folder(), nullptr, triplets_, &named, &triplets), ErrMainInfo);
  EXPECT_EQ(DIGetMainInfo("info.dat", Folder(), named_, nullptr, &named, &triplets), ErrMainInfo);
  EXPECT_EQ(named, 2) << "the named entries were written";
  EXPECT_EQ(triplets, 0);
  EXPECT_EQ(DIGetMainInfo("missing.dat", Folder(), nullptr, nullptr, &named, &triplets), ErrOpenFile);
  EXPECT_EQ(named, 0);
  file_ = FileWithStatus(5, 3);
  Save();
  EXPECT_EQ(DIGetMainInfo("info.dat", Folder(), nullptr, nullptr, &named, &triplets), ErrFileUnusable);
  ExpectNothingHeld();
}

TEST_F(InfoQueriesTest, MainInfoFillsBothLists) {
  ASSERT_EQ(MainInfo(), 0);
  EXPECT_EQ(namedCount_, 2);
  EXPECT_EQ(tripletCount_, 3);
  EXPECT_EQ(named_[1].leadingValue, 2);
  EXPECT_STREQ(reinterpret_cast<const char *>(named_[1].name), "second");
  EXPECT_EQ(named_[1].trailingValue, 3);
  EXPECT_EQ(named_[2].leadingValue, 0x5A5A5A5A);
  EXPECT_EQ(triplets_[2].values[2], 9);
  EXPECT_TRUE(TripletsUntouchedFrom(3));
}

TEST_F(InfoQueriesTest, MainInfoReadsRecord1002AsInt32WhateverItsHeaderSays) {
  KeyedBlock block = writer::TripletRows(4, {{-1, 2, 3}});
  block.valueType = 2;  // rows still hold 12 bytes: the header lies about the width
  block.valuesPerRow = 6;
  Add(1002, block);
  ASSERT_EQ(MainInfo(), 0);
  EXPECT_EQ(tripletCount_, 1);
  EXPECT_EQ(triplets_[0].values[0], -1);
}

// Rows narrower than the list's elements are read packed, and whatever an
// element reaches past the rows reads as zero, never as stale memory.
TEST_F(InfoQueriesTest, ElementsReachingPastNarrowRowsReadZeros) {
  Add(1002, writer::TripletRows(1, {{1, 2, 3}, {4, 5, 6}}));
  // A single block claiming two named entries but holding one.
  Add(1001, writer::SingleValues(264, 1, 2, writer::PackNamedEntry(7, "only", 8)));
  ASSERT_EQ(MainInfo(), 0);
  ASSERT_EQ(tripletCount_, 2);
  EXPECT_EQ(triplets_[0].values[0], 0x04030201);
  EXPECT_EQ(triplets_[0].values[1], 0x0605);
  EXPECT_EQ(triplets_[0].values[2], 0);
  EXPECT_EQ(triplets_[1].values[0], 0);
  ASSERT_EQ(namedCount_, 2);
  EXPECT_EQ(named_[0].trailingValue, 8);
  EXPECT_EQ(named_[1].leadingValue, 0);
  EXPECT_EQ(named_[1].name[0], 0);
  EXPECT_EQ(named_[1].trailingValue, 0);
}

TEST_F(InfoQueriesTest, MainInfoPartialFailureKeepsTheNamedCount) {
  Add(1002, writer::TripletRows(4, {{1, 2, 3}}, {1}, {5}));  // no row without conditions
  EXPECT_EQ(MainInfo(), ErrMainInfo);
  EXPECT_EQ(namedCount_, 2);
  EXPECT_EQ(tripletCount_, 0);
  Add(1001, writer::TripletRows(4, {{1, 2, 3}}));  // not a named list
  EXPECT_EQ(MainInfo(), ErrMainInfo);
  EXPECT_EQ(namedCount_, 0);
}

TEST_F(InfoQueriesTest, MainInfoFrameFailures) {
  std::int16_t named = 5;
  std::int16_t triplets = 5;
  EXPECT_EQ(DIGetMainInfo("missing.dat", Folder(), named_, triplets_, &named, &triplets), ErrOpenFile);
  EXPECT_EQ(named, 0);
  EXPECT_EQ(triplets, 0);
  file_ = FileWithStatus(1, 3);
  Add(1001, writer::NamedEntryRows({{1, "x"}}));
  Add(1002, writer::TripletRows(4, {{1, 2, 3}}));
  EXPECT_EQ(MainInfo(), ErrFileUnusable);
  file_ = FileWithStatus(0, -5);  // no format check
  Add(1001, writer::NamedEntryRows({{1, "x"}}));
  Add(1002, writer::TripletRows(4, {{1, 2, 3}}));
  EXPECT_EQ(MainInfo(), 0);
  // Only a positive status makes a file unusable.
  for (std::int32_t status : {-1, -2147483647 - 1}) {
    file_ = FileWithStatus(status, 3);
    Add(1001, writer::NamedEntryRows({{1, "x"}}));
    Add(1002, writer::TripletRows(4, {{1, 2, 3}, {4, 5, 6}}));
    ASSERT_EQ(MainInfo(), 0) << "status " << status;
    EXPECT_EQ(namedCount_, 1);
    EXPECT_EQ(named_[0].leadingValue, 1);
    EXPECT_EQ(tripletCount_, 2);
    EXPECT_EQ(triplets_[1].values[2], 6);
  }
}

// Every allocation of every export made to fail in turn, then every read
// made short in turn: a documented failure each time, nothing held.
class InfoQueriesFaultTest : public InfoQueriesTest {
 protected:
  template <typename Call>
  void EveryFault(void (*inject)(std::int64_t), Call call, std::int16_t success) {
    Save();
    InjectEachFailureInTurn(inject, call, [&](std::int64_t n, bool fired, std::int16_t result) {
      ExpectNothingHeld();
      if (fired) {
        EXPECT_LT(result, 0) << "fault after " << n;
      } else {
        EXPECT_EQ(result, success);
      }
    });
  }
};

TEST_F(InfoQueriesFaultTest, EveryExportFailsCleanly) {
  for (auto inject : {&seam::FailAllocationsAfter, &seam::ShortenReadsAfter}) {
    EveryFault(inject, [&] { return DIGetCategoryInfoV("info.dat", Folder(), 1, nullptr, triplets_, 0); }, 5);
    EveryFault(inject, [&] { return DIGetCategoryInfoS("info.dat", Folder(), 1, nullptr, named_, 0); }, 3);
    EveryFault(inject, [&] {
      std::int16_t a = 0, b = 0;
      return DIGetMainInfo("info.dat", Folder(), named_, triplets_, &a, &b);
    }, 0);
  }
}

TEST_F(InfoQueriesTest, ValueListsRefuseToPassElement32767) {
  Save();
  HANDLE handle = OpenInformationFile(reinterpret_cast<const WideChar *>(Folder()), "info.dat");
  ASSERT_NE(handle, nullptr);
  std::vector<IntegerTriplet> list(32770);
  {
    KeyedFile file(handle);
    EXPECT_EQ(GetValueList(1002, nullptr, list.data(), 32764, file, 4).count, 3);
    EXPECT_EQ(GetValueList(1002, nullptr, list.data(), 32765, file, 4).fault, Fault::ListFailed);
    EXPECT_EQ(GetValueList(1002, nullptr, list.data(), 0, file, 3).fault, Fault::ListFailed);
    seam::FailAllocationsAfter(0);
    EXPECT_EQ(GetValueList(1002, nullptr, list.data(), 0, file, 4).fault, Fault::NoMemory);
    seam::FailAllocationsAfter(-1);
  }
  CloseHandle(handle);
}

// The steps a lookup reports, one line each.
struct StepLog {
  std::vector<std::string> lines;

  static void Read(void *context, const RecordReadStep &step) {
    static_cast<StepLog *>(context)->lines.push_back(
        "read " + std::to_string(step.recordId) + (step.kept ? " kept" : "") +
        (step.fault == Fault::None ? "" : " fault " + std::to_string(static_cast<int>(step.fault))));
  }
  static void Link(void *context, const ChainLinkStep &step) {
    std::string line = "link " + std::to_string(step.recordId) + " keys";
    for (std::int32_t j = 0; j < step.header->fields().keyCount; ++j) {
      const std::int32_t index = step.header->fields().keyIndex[j];
      line += ' ';
      line += std::to_string(index);
      line += '=';
      line += std::to_string(step.conditions->entries[index]);
    }
    line += step.matchedRow >= 0
                ? " row " + std::to_string(step.matchedRow) + " to " + std::to_string(step.nextRecordId)
                : " no row, condition " + std::to_string(step.miss.index) + "=" + std::to_string(step.miss.value);
    static_cast<StepLog *>(context)->lines.push_back(line);
  }
  static void Final(void *context, const FinalBlockStep &step) {
    static_cast<StepLog *>(context)->lines.push_back("final " + std::to_string(step.recordId) + " rows " +
                                                     std::to_string(step.rowsSelected));
  }
  static void Stop(void *context, const LookupStop &stop) {
    static_cast<StepLog *>(context)->lines.push_back("stop " + std::to_string(stop.recordId) + " fault " +
                                                     std::to_string(static_cast<int>(stop.fault)));
  }
};

// A category reached through a two-link chain, the second link keyed on
// the selector and condition 9. The observer is told each record read,
// what each link compared, and, where no row matched, the condition that
// no row accepts; a successful query's trace ends at the final block.
TEST_F(InfoQueriesTest, AnObserverSeesTheChainLinkThatFailed) {
  Add(1003, writer::ChainTo({1}, {{{1}, 3000}}));
  Add(3000, writer::ChainTo({1, 9}, {{{W, 5}, 3001}, {{W, 6}, 3001}, {{2, 8}, 3001}}));
  Add(3001, Category({{1, {7, 0}}}));
  Save();
  HANDLE handle = OpenInformationFile(reinterpret_cast<const WideChar *>(Folder()), "info.dat");
  ASSERT_NE(handle, nullptr);
  auto trace = [&](std::int32_t condition9) {
    StepLog log;
    const LookupObserver observer{&log, &StepLog::Read, &StepLog::Link, &StepLog::Final, &StepLog::Stop};
    KeyedFile file(handle);
    file.observer = &observer;
    ConditionVector vector;
    const ConditionPair pair{9, condition9, {}};
    EXPECT_TRUE(BuildConditionVector(1, &pair, 1, &vector));
    const CategoryAnswer answer = GatherCategory(file, vector, CategoryVariant::V, triplets_);
    log.lines.push_back("answer " + std::to_string(static_cast<int>(answer.stop)) + " count " +
                        std::to_string(answer.count));
    return log.lines;
  };
  const int selection = static_cast<int>(Fault::ChainSelection);
  const int gathered = static_cast<int>(CategoryStop::Gathered);
  EXPECT_EQ(trace(7), (std::vector<std::string>{
                          "read 1003", "link 1003 keys 1=1 row 0 to 3000",
                          "read 3000", "link 3000 keys 1=1 9=7 no row, condition 9=7",
                          "stop 3000 fault " + std::to_string(selection),
                          "answer " + std::to_string(static_cast<int>(CategoryStop::LookupFailed)) + " count 0"}));
  EXPECT_EQ(trace(6), (std::vector<std::string>{
                          "read 1003", "link 1003 keys 1=1 row 0 to 3000",
                          "read 3000", "link 3000 keys 1=1 9=6 row 1 to 3001",
                          "read 3001", "final 3001 rows 1", "stop 3001 fault 0",
                          // the header of record 7, then its values from the kept block
                          "read 7", "stop 7 fault 0", "read 7 kept", "final 7 rows 2", "stop 7 fault 0",
                          "answer " + std::to_string(gathered) + " count 2"}));
  CloseHandle(handle);
  ExpectNothingHeld();
}

TEST_F(InfoQueriesTest, SingleBlocksClaimingMoreRowsThanTheWorkAreaAreRefused) {
  Add(1002, writer::SingleValues(4, 3, 201, PackValues({1, 2, 3}, 4)));
  EXPECT_EQ(MainInfo(), ErrMainInfo);
  Add(1002, writer::SingleValues(4, 3, 200, PackValues({1, 2, 3}, 4)));
  EXPECT_EQ(MainInfo(), 0);
  EXPECT_EQ(tripletCount_, 200);
}

}  // namespace
}  // namespace dinfo::test
