#include "test_support.h"

#include <cstdlib>
#include <filesystem>

namespace dinfo::test {

std::u16string ToU16(const std::string &text) {
  std::u16string out;
  for (char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

void FileTest::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dinfo-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  folder_ = pattern;
  folderWide_ = ToU16(folder_);
  blocksAtStart_ = seam::LiveBlocks();
  handlesAtStart_ = seam::OpenHandles();
}

void FileTest::TearDown() {
  seam::FailAllocationsAfter(-1);
  seam::ShortenReadsAfter(-1);
  ExpectNothingHeld();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void FileTest::Write(const std::string &name, const Bytes &bytes) {
  ASSERT_TRUE(writer::WriteBytes(folder_ + "/" + name, bytes));
}

void FileTest::ExpectNothingHeld() const {
  EXPECT_EQ(seam::LiveBlocks(), blocksAtStart_) << "a block outlived the call";
  EXPECT_EQ(seam::OpenHandles(), handlesAtStart_) << "a handle outlived the call";
}

Bytes StatusRecord(std::int32_t fileStatus, std::int32_t formatType) {
  return writer::KeyedRecord(
      writer::SingleValues(4, 1, 2, writer::PackValues({fileStatus, formatType}, 4)));
}

writer::InfoFile FileWithStatus(std::int32_t fileStatus, std::int32_t formatType) {
  writer::InfoFile file = writer::NewInfoFile();
  writer::AddRecord(file, writer::MainSectionKey, 1000, StatusRecord(fileStatus, formatType));
  return file;
}

}  // namespace dinfo::test
