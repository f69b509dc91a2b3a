// How many ReadFile calls each export makes on the sample file. A call
// reads each section's pointer, entry count and directory once, and each
// record it needs once (its size, then its body), so the counts follow
// from the records an export visits:
//   main section: 3 reads; the status record 1000: 2 reads.
//   DIGetMainInfo: records 1001 and 1002.
//   DIGetCategoryInfoV/S: the category chain (1003 or 1004, then 50 or 51)
//     and the two listed records (7 and 9, or 20 and 21).
//   DIGetTable: the locator chain (1005, then 60 + selector), the table
//     section (3 reads) and the table record.
#include "sample_file.h"
#include "table_support.h"
#include "test_support.h"

namespace dinfo::test {
namespace {

constexpr std::int64_t SectionReads = 3;
constexpr std::int64_t RecordReads = 2;
constexpr std::int64_t FrameReads = SectionReads + RecordReads;

class ReadCountsTest : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    Write("info.dat", writer::Finish(SampleFile()));
  }

  template <typename Call>
  static std::int64_t ReadsOf(Call call) {
    const std::int64_t before = seam::ReadAttempts();
    call();
    return seam::ReadAttempts() - before;
  }

  NamedEntry named_[16] = {};
  IntegerTriplet triplets_[16] = {};
};

TEST_F(ReadCountsTest, EachExportReadsEverySectionAndRecordOnce) {
  std::int16_t namedCount = 0;
  std::int16_t tripletCount = 0;
  EXPECT_EQ(ReadsOf([&] { EXPECT_EQ(DIGetTableFormatType("info.dat", Folder()), SampleFormatType); }),
            FrameReads);
  EXPECT_EQ(ReadsOf([&] {
              EXPECT_EQ(DIGetMainInfo("info.dat", Folder(), named_, triplets_, &namedCount, &tripletCount), 0);
            }),
            FrameReads + 2 * RecordReads);
  EXPECT_EQ(ReadsOf([&] {
              EXPECT_EQ(DIGetCategoryInfoV("info.dat", Folder(), 1, nullptr, triplets_, 0), SampleCategoryVCount);
            }),
            FrameReads + 4 * RecordReads);
  EXPECT_EQ(ReadsOf([&] {
              EXPECT_EQ(DIGetCategoryInfoS("info.dat", Folder(), 1, nullptr, named_, 0), SampleCategorySCount);
            }),
            FrameReads + 4 * RecordReads);
  for (std::int32_t selector = 1; selector <= SampleTableCount; ++selector) {
    SCOPED_TRACE(selector);
    EXPECT_EQ(ReadsOf([&] {
                void *table = DIGetTable("info.dat", Folder(), selector, nullptr, 0);
                EXPECT_NE(table, nullptr);
                DIFreeTable(table);
              }),
              FrameReads + 2 * RecordReads + SectionReads + RecordReads);
  }
  ExpectNothingHeld();
}

}  // namespace
}  // namespace dinfo::test
