#include "test_support.h"

#include <filesystem>
#include <random>

namespace dinfo::test {

std::basic_string<DIWideChar> ToU16(const std::string &text) {
  std::basic_string<DIWideChar> out;
  for (char c : text) out.push_back(static_cast<DIWideChar>(static_cast<unsigned char>(c)));
  return out;
}

// A fresh folder under the temporary folder; create_directory fails when the
// name is taken, so tests running side by side never share one.
void FileTest::SetUp() {
  std::random_device random;
  for (int attempt = 0; folder_.empty() && attempt < 100; ++attempt) {
    const auto candidate =
        std::filesystem::temp_directory_path() / ("dinfo-test-" + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) folder_ = candidate.string();
  }
  ASSERT_FALSE(folder_.empty());
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
