// DIGetTableFormatType end to end: every outcome of the frame and of the
// status record, on files made by the writer.
#include "test_support.h"

namespace dinfo::test {
namespace {

using writer::AddRecord;
using writer::MainSectionKey;

class FormatTypeTest : public FileTest {
 protected:
  std::int32_t FormatTypeOf(const writer::InfoFile &file) {
    Write("info.dat", writer::Finish(file));
    const std::int32_t result = DIGetTableFormatType("info.dat", Folder());
    ExpectNothingHeld();
    return result;
  }
};

TEST_F(FormatTypeTest, ReportsTheStoredFormatType) {
  EXPECT_EQ(FormatTypeOf(FileWithStatus(0, 7)), 7);
  EXPECT_EQ(FormatTypeOf(FileWithStatus(-3, 0)), 0);
}

TEST_F(FormatTypeTest, IgnoresAPositiveFileStatus) {
  EXPECT_EQ(FormatTypeOf(FileWithStatus(5, 12)), 12);
}

TEST_F(FormatTypeTest, HandsANegativeFormatTypeOverUnchanged) {
  EXPECT_EQ(FormatTypeOf(FileWithStatus(0, -77)), -77);
}

TEST_F(FormatTypeTest, OneRowIsNotEnough) {
  writer::InfoFile file = writer::NewInfoFile();
  AddRecord(file, MainSectionKey, 1000,
            writer::KeyedRecord(writer::SingleValues(4, 1, 1, writer::PackValues({0, 9}, 4))));
  EXPECT_EQ(FormatTypeOf(file), ErrFormatType);
}

// A single block of 80 bytes, its trailer over the header's unread bytes
// 76 to 79: two rows with no payload read as status 0, format type 0.
TEST_F(FormatTypeTest, ASingleBlockOfHeaderAloneIsRead) {
  writer::Bytes block(80, 0);
  block[0] = 1;   // kind: single block
  block[10] = 2;  // rowCount
  writer::ScrambleBlock(block, 0x0BADF00Du);
  writer::InfoFile file = writer::NewInfoFile();
  AddRecord(file, MainSectionKey, 1000, block);
  EXPECT_EQ(FormatTypeOf(file), 0);
  block.resize(76);
  writer::InfoFile shorter = writer::NewInfoFile();
  AddRecord(shorter, MainSectionKey, 1000, block);
  EXPECT_EQ(FormatTypeOf(shorter), ErrFormatType);
}

TEST_F(FormatTypeTest, NoRowAtAllIsNotEnough) {
  writer::KeyedBlock block;
  block.keyIndex = {1};
  block.rows.push_back({{42}, writer::PackValues({0, 1, 2}, 4)});
  writer::InfoFile file = writer::NewInfoFile();
  AddRecord(file, MainSectionKey, 1000, writer::KeyedRecord(block));
  EXPECT_EQ(FormatTypeOf(file), ErrFormatType);
}

TEST_F(FormatTypeTest, ADisabledStatusRecordIsReported) {
  writer::KeyedBlock block = writer::SingleValues(4, 1, 2, writer::PackValues({0, 9}, 4));
  block.disabledFlag = 1;
  writer::InfoFile file = writer::NewInfoFile();
  AddRecord(file, MainSectionKey, 1000, writer::KeyedRecord(block));
  EXPECT_EQ(FormatTypeOf(file), ErrRecordDisabled);
}

TEST_F(FormatTypeTest, AMissingStatusRecordFailsTheLookup) {
  writer::InfoFile file = writer::NewInfoFile();
  AddRecord(file, MainSectionKey, 999, StatusRecord(0, 1));
  EXPECT_EQ(FormatTypeOf(file), ErrFormatType);
}

TEST_F(FormatTypeTest, AFileThatDoesNotOpenGivesErrOpenFile) {
  EXPECT_EQ(DIGetTableFormatType("missing.dat", Folder()), ErrOpenFile);
  EXPECT_EQ(DIGetTableFormatType(nullptr, Folder()), ErrOpenFile);
  const DIWideChar empty[1] = {0};
  Write("info.dat", writer::Finish(FileWithStatus(0, 1)));
  EXPECT_EQ(DIGetTableFormatType("info.dat", empty), ErrOpenFile);
  EXPECT_EQ(DIGetTableFormatType("", Folder()), ErrOpenFile);
  EXPECT_EQ(static_cast<std::uint32_t>(DIGetTableFormatType("missing.dat", Folder())), 0xFFFFF82Au);
}

TEST_F(FormatTypeTest, EveryAllocationFailureGivesAFailureAndLeaksNothing) {
  Write("info.dat", writer::Finish(FileWithStatus(0, 7)));
  InjectEachFailureInTurn(
      &seam::FailAllocationsAfter, [&] { return DIGetTableFormatType("info.dat", Folder()); },
      [&](std::int64_t, bool fired, std::int32_t result) {
        ExpectNothingHeld();
        if (fired) {
          EXPECT_TRUE(result == ErrOpenFile || result == ErrFormatType) << result;
        } else {
          EXPECT_EQ(result, 7);
        }
      });
}

TEST_F(FormatTypeTest, EveryShortReadGivesAFailureAndLeaksNothing) {
  Write("info.dat", writer::Finish(FileWithStatus(0, 7)));
  InjectEachFailureInTurn(
      &seam::ShortenReadsAfter, [&] { return DIGetTableFormatType("info.dat", Folder()); },
      [&](std::int64_t, bool fired, std::int32_t result) {
        ExpectNothingHeld();
        EXPECT_EQ(result, fired ? ErrFormatType : 7);
      });
}

TEST_F(FormatTypeTest, FreeTableAcceptsNull) { DIFreeTable(nullptr); }

}  // namespace
}  // namespace dinfo::test
