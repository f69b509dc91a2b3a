// Paths, directories and records: OpenInformationFile and the read
// operations with their codes, on writer-made files.
#include <filesystem>
#include <vector>

#include "common/bytes.h"
#include "infofile/information_file.h"
#include "test_support.h"

namespace dinfo::test {
namespace {

using writer::AddRecord;
using writer::MainSectionKey;

class InformationFileTest : public FileTest {
 protected:
  // Opens `name` in the test folder, or null.
  HANDLE Open(const std::string &name) {
    return OpenInformationFile(reinterpret_cast<const WideChar *>(Folder()), name.c_str());
  }
  bool Opens(const std::u16string &folder, const std::string &name) {
    HANDLE file = OpenInformationFile(reinterpret_cast<const WideChar *>(folder.c_str()), name.c_str());
    if (file == nullptr) return false;
    CloseHandle(file);
    return true;
  }
  std::u16string FolderWith(const std::string &ending) { return ToU16(FolderPath() + ending); }
};

TEST_F(InformationFileTest, ComposesFolderSeparatorAndName) {
  Write("info.dat", writer::Finish(writer::NewInfoFile()));
  EXPECT_TRUE(Opens(FolderWith(""), "info.dat"));
  EXPECT_TRUE(Opens(FolderWith("\\"), "info.dat"));  // no second separator
  EXPECT_TRUE(Opens(FolderWith("/"), "info.dat"));   // a backslash after the slash
  EXPECT_FALSE(Opens(FolderWith(""), "other.dat"));
  EXPECT_FALSE(Opens(u"", "info.dat"));              // an empty folder opens nothing
  EXPECT_FALSE(Opens(FolderWith(""), ""));           // the folder itself is no file
  ExpectNothingHeld();
}

TEST_F(InformationFileTest, WithoutAFolderTheNameIsOpenedAsItStands) {
  Write("info.dat", writer::Finish(writer::NewInfoFile()));
  HANDLE file = OpenInformationFile(nullptr, (FolderPath() + "/info.dat").c_str());
  ASSERT_NE(file, nullptr);
  CloseHandle(file);
  EXPECT_EQ(OpenInformationFile(reinterpret_cast<const WideChar *>(Folder()), nullptr), nullptr);
}

TEST_F(InformationFileTest, ConvertsANameAboveAsciiBeforeOpening) {
  Write("caf\xC3\xA9.dat", writer::Finish(writer::NewInfoFile()));
  EXPECT_TRUE(Opens(FolderWith(""), "caf\xC3\xA9.dat"));
  EXPECT_FALSE(Opens(FolderWith(""), "caf\xE9.dat"));  // not UTF-8: becomes U+FFFD
}

TEST_F(InformationFileTest, BoundedCopyAndAppendCutWithATerminator) {
  WideChar buffer[6] = {9, 9, 9, 9, 9, 9};
  const WideChar hello[] = {'h', 'e', 'l', 'l', 'o', 0};
  const WideChar xy[] = {'x', 'y', 0};
  EXPECT_EQ(CopyWideString(buffer, sizeof buffer, hello), WideStringOk);
  EXPECT_EQ(AppendWideString(buffer, sizeof buffer, xy), WideStringTruncated);
  EXPECT_EQ(buffer[5], 0);
  EXPECT_EQ(CopyWideString(buffer, 4, hello), WideStringTruncated);  // room for "h" and 0
  EXPECT_EQ(buffer[0], 'h');
  EXPECT_EQ(buffer[1], 0);
  EXPECT_EQ(CopyWideString(buffer, 1, hello), WideStringInvalidArgument);
  WideChar full[2] = {'a', 'b'};
  EXPECT_EQ(AppendWideString(full, sizeof full, xy), WideStringInvalidArgument);
  EXPECT_EQ(full[1], 'b');
}

struct ReadCase {
  const char *what;
  std::int32_t section;
  std::int32_t recordId;
  std::int32_t expected;  // the size, or the code
};

// A read's fault as a number below any size, so that one result says both.
constexpr std::int32_t CodeOf(Fault fault) { return -1000 - static_cast<std::int32_t>(fault); }
constexpr std::int32_t ReadNotFound = CodeOf(Fault::RecordAbsent);
constexpr std::int32_t ReadBadArgument = CodeOf(Fault::BadArgument);
constexpr std::int32_t ReadBadCount = CodeOf(Fault::BadEntryCount);
constexpr std::int32_t ReadFailed = CodeOf(Fault::ReadFailed);
constexpr std::int32_t ReadBadSize = CodeOf(Fault::BadRecordSize);

class RecordReadTest : public InformationFileTest {
 protected:
  std::int32_t ReadCode(const writer::Bytes &bytes, std::int32_t section, std::int32_t recordId) {
    Write("info.dat", bytes);
    HANDLE file = Open("info.dat");
    EXPECT_NE(file, nullptr);
    std::int32_t sizeOrCode = 12345;
    {
      FileView view(file);
      auto [body, fault] = ReadRecord(view, section, recordId);
      EXPECT_EQ(body.empty(), fault != Fault::None);
      sizeOrCode = body.empty() ? CodeOf(fault) : std::int32_t(body.get().size());
    }
    CloseHandle(file);
    ExpectNothingHeld();
    return sizeOrCode;
  }
};

TEST_F(RecordReadTest, DirectoryRules) {
  writer::InfoFile file = writer::NewInfoFile();
  AddRecord(file, MainSectionKey, 5, writer::Bytes(12, 1));
  writer::AddEntry(file, MainSectionKey, {MainSectionKey, 6, -1});                 // absent
  writer::AddEntry(file, MainSectionKey, {MainSectionKey, 6, 12});                 // shadowed
  writer::AddEntry(file, MainSectionKey, {77, 7, 12});                             // foreign key
  AddRecord(file, MainSectionKey, 5, writer::Bytes(20, 2));                        // duplicate: first wins
  const writer::Bytes bytes = writer::Finish(file);
  EXPECT_EQ(ReadCode(bytes, MainSectionKey, 5), 12);
  EXPECT_EQ(ReadCode(bytes, MainSectionKey, 6), ReadNotFound);
  EXPECT_EQ(ReadCode(bytes, MainSectionKey, 7), ReadNotFound);
  EXPECT_EQ(ReadCode(bytes, MainSectionKey, 8), ReadNotFound);
  EXPECT_EQ(ReadCode(bytes, -1, 5), ReadBadArgument);
  EXPECT_EQ(ReadCode(bytes, MainSectionKey, -5), ReadBadArgument);
}

TEST_F(RecordReadTest, DamagedDirectoriesAndRecords) {
  writer::InfoFile empty = writer::NewInfoFile();
  SectionOf(empty, MainSectionKey).entryCount = 0;
  EXPECT_EQ(ReadCode(writer::Finish(empty), MainSectionKey, 1), ReadBadCount);

  writer::InfoFile huge = writer::NewInfoFile();
  SectionOf(huge, MainSectionKey).entryCount = 178956971;  // x 12 passes 2^31 - 1
  EXPECT_EQ(ReadCode(writer::Finish(huge), MainSectionKey, 1), ReadBadCount);

  writer::InfoFile tooMany = writer::NewInfoFile();
  SectionOf(tooMany, MainSectionKey).entryCount = 100000000;  // far more than the file holds
  EXPECT_EQ(ReadCode(writer::Finish(tooMany), MainSectionKey, 1), ReadFailed);

  writer::InfoFile sizes = writer::NewInfoFile();
  const std::int32_t zero = writer::AppendRaw(sizes, writer::PackValues({0}, 4));
  const std::int32_t negative = writer::AppendRaw(sizes, writer::PackValues({-4}, 4));
  const std::int32_t longer = writer::AppendRaw(sizes, writer::PackValues({1000000, 1, 2}, 4));
  const std::int32_t enormous = writer::AppendRaw(sizes, writer::PackValues({0x7FFFFFF0, 1}, 4));
  writer::AddEntry(sizes, MainSectionKey, {MainSectionKey, 1, zero});
  writer::AddEntry(sizes, MainSectionKey, {MainSectionKey, 2, negative});
  writer::AddEntry(sizes, MainSectionKey, {MainSectionKey, 3, longer});
  writer::AddEntry(sizes, MainSectionKey, {MainSectionKey, 4, enormous});
  writer::AddEntry(sizes, MainSectionKey, {MainSectionKey, 5, 1 << 30});
  const writer::Bytes bytes = writer::Finish(sizes);
  EXPECT_EQ(ReadCode(bytes, MainSectionKey, 1), ReadBadSize);
  EXPECT_EQ(ReadCode(bytes, MainSectionKey, 2), ReadBadSize);
  EXPECT_EQ(ReadCode(bytes, MainSectionKey, 3), ReadFailed);
  EXPECT_EQ(ReadCode(bytes, MainSectionKey, 4), ReadFailed);  // refused before any allocation
  EXPECT_EQ(ReadCode(bytes, MainSectionKey, 5), ReadFailed);
}

TEST_F(RecordReadTest, DirectoryPositionsOutsideTheFile) {
  writer::Bytes pastEnd = writer::Finish(writer::NewInfoFile());
  writer::PutI32(pastEnd, 8, 1 << 20);
  EXPECT_EQ(ReadCode(pastEnd, MainSectionKey, 1), ReadFailed);
  writer::Bytes negative = writer::Finish(writer::NewInfoFile());
  writer::PutI32(negative, 8, -16);
  EXPECT_EQ(ReadCode(negative, MainSectionKey, 1), ReadFailed);
  EXPECT_EQ(ReadCode(negative, 1 << 30, 1), ReadFailed);  // the section itself lies past the end
}

TEST_F(RecordReadTest, AllocationFailureGivesTheBlockCode) {
  writer::InfoFile file = writer::NewInfoFile();
  AddRecord(file, MainSectionKey, 5, writer::Bytes(12, 1));
  Write("info.dat", writer::Finish(file));
  HANDLE handle = Open("info.dat");
  ASSERT_NE(handle, nullptr);
  for (std::int64_t successes = 0; successes < 2; ++successes) {
    seam::FailAllocationsAfter(successes);
    FileView view(handle);
    auto [body, fault] = ReadRecord(view, MainSectionKey, 5);
    seam::FailAllocationsAfter(-1);
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(fault, Fault::NoMemory);
  }
  CloseHandle(handle);
}

// The directory is searched four entries a round: the first entry for the
// section and record id wins wherever it stands in a round, entries of
// another section with the same id are passed over, and a later duplicate
// is never consulted.
TEST_F(InformationFileTest, FirstEntryWinsAtEveryPlaceInTheDirectory) {
  for (std::int32_t size = 1; size <= 11; ++size) {
    for (std::int32_t place = 0; place < size; ++place) {
      writer::InfoFile info = writer::NewInfoFile();
      const std::int32_t wanted = writer::AppendRaw(info, {4, 0, 0, 0, 'w', 'a', 'n', 't'});
      const std::int32_t other = writer::AppendRaw(info, {4, 0, 0, 0, 'o', 't', 'h', 'r'});
      for (std::int32_t i = 0; i < size; ++i) {
        writer::DirectoryEntry entry{MainSectionKey + 4, 77, other};  // same id, other section
        if (i == place) entry = {MainSectionKey, 77, wanted};
        if (i > place) entry = {MainSectionKey, 77, other};           // later duplicates
        writer::AddEntry(info, MainSectionKey, entry);
      }
      Write("info.dat", writer::Finish(info));
      HANDLE file = Open("info.dat");
      ASSERT_NE(file, nullptr);
      {
        FileView view(file);
        const OwnedBlock body = ReadRecord(view, MainSection, 77).block;
        ASSERT_EQ(body.get().size(), 4u) << size << " entries, match at " << place;
        EXPECT_EQ(body.get()[0], 'w') << size << " entries, match at " << place;
        EXPECT_EQ(ReadRecord(view, MainSection, 78).fault, Fault::RecordAbsent);
      }
      CloseHandle(file);
    }
  }
  ExpectNothingHeld();
}

}  // namespace
}  // namespace dinfo::test

namespace dinfo::test {
namespace {

// A large directory is looked up through a sorted index once a few
// records were asked for: ids that differ in any byte, duplicates whose first
// entry decides (absent or not), entries of another section and negative
// ids must all answer as a scan from the first entry does, and as they do
// when the index cannot be had.
TEST_F(InformationFileTest, LargeDirectoriesAnswerAsAScanDoes) {
  writer::InfoFile info = writer::NewInfoFile();
  std::vector<writer::DirectoryEntry> entries;
  std::uint32_t state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u; };
  for (std::int32_t i = 0; i < 3000; ++i) {
    std::int32_t id = static_cast<std::int32_t>(next() >> 1);
    if (i % 3 == 1) id = entries[next() % entries.size()].recordId;   // a duplicate
    if (i % 7 == 2) id = static_cast<std::int32_t>(next() % 64) << 24;  // only the top byte
    std::int32_t key = i % 11 == 5 ? MainSectionKey + 4 : MainSectionKey;
    std::int32_t offset = writer::AppendRaw(info, writer::PackValues({4, i}, 4));
    if (i % 13 == 3) offset = -1;
    if (i % 17 == 4) id = -id - 1;
    entries.push_back({key, id, offset});
    writer::AddEntry(info, MainSectionKey, entries.back());
  }
  Write("info.dat", writer::Finish(info));
  HANDLE file = Open("info.dat");
  ASSERT_NE(file, nullptr);
  // Sorted once the first lookups have scanned; and, when the index's
  // blocks cannot be had, scanned for every lookup of the call.
  for (bool indexRefused : {false, true}) {
    SCOPED_TRACE(indexRefused ? "index refused" : "index built");
    FileView view(file);
    if (indexRefused) {
      EXPECT_EQ(ReadRecord(view, MainSection, 1).fault, Fault::RecordAbsent);  // reads the directory
      seam::FailAllocationsAfter(0);
      for (int i = 0; i < 64; ++i) EXPECT_EQ(ReadRecord(view, MainSection, 1).fault, Fault::RecordAbsent);
      EXPECT_TRUE(seam::InjectedFailureFired());
      seam::FailAllocationsAfter(-1);
    }
    for (std::size_t asked = 0; asked < entries.size() + 50; ++asked) {
      const std::int32_t id = asked < entries.size() ? entries[asked].recordId
                                                     : static_cast<std::int32_t>(next() >> 1);
      std::int32_t expected = -1;  // the entry a scan takes, as its body tells
      for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].sectionKey == MainSectionKey && entries[i].recordId == id) {
          expected = entries[i].recordOffset < 0 ? -1 : std::int32_t(i);
          break;
        }
      }
      auto [body, fault] = ReadRecord(view, MainSection, id);
      if (id < 0) {
        EXPECT_EQ(fault, Fault::BadArgument);
      } else if (expected < 0) {
        EXPECT_EQ(fault, Fault::RecordAbsent) << "id " << id;
      } else {
        ASSERT_EQ(body.get().size(), 4u) << "id " << id;
        EXPECT_EQ(ReadI32LittleEndian(body.get().data()), expected) << "id " << id;
      }
    }
  }
  CloseHandle(file);
  ExpectNothingHeld();
}

}  // namespace
}  // namespace dinfo::test
