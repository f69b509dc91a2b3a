// Every export of dinfo.dll on one writer-made file, reached through the
// path forms a Windows caller uses: folders with and without a trailing
// separator, forward slashes, no folder at all, and a file name with a byte
// of the ANSI code page above 127. Blocks and handles must be back after
// every call.
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "test_support.h"
#include "writer/table_writer.h"

namespace dinfo::test {
namespace {

using writer::AddRecord;
using writer::MainSectionKey;
using writer::PackValues;
using WideString = std::basic_string<DIWideChar>;

constexpr std::int32_t Selector = 5;
constexpr std::int32_t TableRecordId = 30;

// Rows of three int32 values, each chosen by the selector.
writer::KeyedBlock BySelector(const std::vector<std::vector<std::int32_t>> &rows) {
  writer::KeyedBlock block;
  block.valuesPerRow = 3;
  block.keyIndex = {1};
  for (const auto &values : rows) block.rows.push_back({{Selector}, PackValues(values, 4)});
  return block;
}

// A compressed, scrambled table object: DIGetTable hands it over expanded,
// in a block of its own.
writer::EncodedTable CompressedTable() {
  writer::TableDescription table;
  table.compressed = true;
  table.scrambled = true;
  table.entries = {writer::TypedArray(2, {1, 2, 3, 4}), writer::RawRun({9, 8, 7})};
  return writer::EncodeTable(table);
}

// Format type 7; main lists of two texts and two triplets; category V lists
// record 20 (one triplet), category S record 21 (one text); the locator
// names a compressed table object.
Bytes EveryExportFile() {
  writer::InfoFile file = FileWithStatus(0, 7);
  Bytes texts = writer::PackText("alpha");
  const Bytes beta = writer::PackText("beta");
  texts.insert(texts.end(), beta.begin(), beta.end());
  AddRecord(file, MainSectionKey, 1001, writer::KeyedRecord(writer::SingleValues(256, 1, 2, texts)));
  AddRecord(file, MainSectionKey, 1002,
            writer::KeyedRecord(writer::SingleValues(4, 3, 2, PackValues({1, 2, 3, 4, 5, 6}, 4))));
  AddRecord(file, MainSectionKey, 1003, writer::KeyedRecord(BySelector({{20, 0, 0}})));
  AddRecord(file, MainSectionKey, 1004, writer::KeyedRecord(BySelector({{21, 0, 0}})));
  AddRecord(file, MainSectionKey, 20,
            writer::KeyedRecord(writer::SingleValues(4, 3, 1, PackValues({10, 11, 12}, 4))));
  AddRecord(file, MainSectionKey, 21,
            writer::KeyedRecord(writer::SingleValues(256, 1, 1, writer::PackText("gamma"))));
  AddRecord(file, MainSectionKey, writer::LocatorRecordId,
            writer::LocatorRecord({{writer::LocatorSectionKind, MainSectionKey},
                                   {writer::LocatorRecordKind, TableRecordId}}));
  AddRecord(file, MainSectionKey, TableRecordId, CompressedTable().stored);
  return writer::Finish(file);
}

std::string NameOf(const NamedEntry &entry) {
  return std::string(reinterpret_cast<const char *>(entry.name),
                     strnlen(reinterpret_cast<const char *>(entry.name), sizeof entry.name));
}

class PathsTest : public FileTest {
 protected:
  // Runs every export on `name` in `folder` and checks each answer.
  void ExpectEveryExportAnswers(const char *name, const DIWideChar *folder) {
    EXPECT_EQ(DIGetTableFormatType(name, folder), 7);
    ExpectNothingHeld();

    NamedEntry named[4] = {};
    IntegerTriplet triplets[4] = {};
    std::int16_t namedCount = -1;
    std::int16_t tripletCount = -1;
    EXPECT_EQ(DIGetMainInfo(name, folder, named, triplets, &namedCount, &tripletCount), 0);
    ExpectNothingHeld();
    ASSERT_EQ(namedCount, 2);
    ASSERT_EQ(tripletCount, 2);
    EXPECT_EQ(NameOf(named[0]), "alpha");
    EXPECT_EQ(NameOf(named[1]), "beta");
    EXPECT_EQ(named[1].leadingValue, 0);
    EXPECT_EQ(named[1].trailingValue, 1);
    EXPECT_EQ(triplets[1].values[0], 4);
    EXPECT_EQ(triplets[1].values[2], 6);

    IntegerTriplet categoryV[4] = {};
    EXPECT_EQ(DIGetCategoryInfoV(name, folder, Selector, nullptr, categoryV, 0), 1);
    ExpectNothingHeld();
    EXPECT_EQ(categoryV[0].values[0], 10);
    EXPECT_EQ(categoryV[0].values[2], 12);

    NamedEntry categoryS[4] = {};
    EXPECT_EQ(DIGetCategoryInfoS(name, folder, Selector, nullptr, categoryS, 0), 1);
    ExpectNothingHeld();
    EXPECT_EQ(NameOf(categoryS[0]), "gamma");

    ExpectTableReleasedByFreeTable(name, folder);
  }

  // The table is the one block left after DIGetTable; DIFreeTable gives it
  // back.
  void ExpectTableReleasedByFreeTable(const char *name, const DIWideChar *folder) {
    const std::int64_t blocksBefore = seam::LiveBlocks();
    const std::int64_t handlesBefore = seam::OpenHandles();
    void *table = DIGetTable(name, folder, Selector, nullptr, 0);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(seam::LiveBlocks(), blocksBefore + 1);
    EXPECT_EQ(seam::OpenHandles(), handlesBefore);
    const Bytes prepared = CompressedTable().prepared;
    EXPECT_EQ(std::memcmp(table, prepared.data(), prepared.size()), 0);
    DIFreeTable(table);
    ExpectNothingHeld();
  }

  void ExpectEveryExportFails(const char *name, const DIWideChar *folder) {
    EXPECT_EQ(DIGetTableFormatType(name, folder), ErrOpenFile);
    NamedEntry named[1] = {};
    IntegerTriplet triplets[1] = {};
    std::int16_t namedCount = -1;
    std::int16_t tripletCount = -1;
    EXPECT_EQ(DIGetMainInfo(name, folder, named, triplets, &namedCount, &tripletCount), ErrOpenFile);
    EXPECT_EQ(namedCount, 0);
    EXPECT_EQ(tripletCount, 0);
    IntegerTriplet entries[1] = {};
    EXPECT_EQ(DIGetCategoryInfoV(name, folder, Selector, nullptr, entries, 0), ErrOpenFile);
    EXPECT_EQ(DIGetCategoryInfoS(name, folder, Selector, nullptr, entries, 0), ErrOpenFile);
    EXPECT_EQ(DIGetTable(name, folder, Selector, nullptr, 0), nullptr);
    ExpectNothingHeld();
  }

  WideString FolderWith(const std::wstring &ending) const {
    return WideString(Folder()) + WideString(ending.begin(), ending.end());
  }
};

TEST_F(PathsTest, AFolderWithoutATrailingBackslashGetsOne) {
  Write("info.dat", EveryExportFile());
  ASSERT_NE(WideString(Folder()).back(), L'\\');
  ExpectEveryExportAnswers("info.dat", Folder());
}

TEST_F(PathsTest, AFolderWithATrailingBackslashGetsNoSecondOne) {
  Write("info.dat", EveryExportFile());
  ExpectEveryExportAnswers("info.dat", FolderWith(L"\\").c_str());
}

TEST_F(PathsTest, ForwardSlashesServeAsSeparators) {
  Write("info.dat", EveryExportFile());
  ExpectEveryExportAnswers("info.dat", FolderWith(L"/").c_str());
  WideString forward = Folder();
  for (DIWideChar &unit : forward) {
    if (unit == L'\\') unit = L'/';
  }
  ExpectEveryExportAnswers("info.dat", forward.c_str());
}

TEST_F(PathsTest, WithoutAFolderTheNameIsOpenedInTheCurrentFolder) {
  Write("info.dat", EveryExportFile());
  wchar_t previous[MAX_PATH] = {};
  ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(Folder()));
  ExpectEveryExportAnswers("info.dat", nullptr);
  const DIWideChar empty[1] = {0};
  ExpectEveryExportFails("info.dat", empty);
  ASSERT_TRUE(SetCurrentDirectoryW(previous));
  ExpectEveryExportFails("info.dat", nullptr);
}

TEST_F(PathsTest, ANameInTheAnsiCodePageOpensTheFileOfThatName) {
  ASSERT_EQ(GetACP(), 1252u) << "the Wine environment of the tests fixes code page 1252";
  Write("plain.dat", EveryExportFile());
  const std::filesystem::path folder{std::wstring(Folder())};
  std::filesystem::rename(folder / L"plain.dat", folder / L"caf\u00e9.dat");
  ExpectEveryExportAnswers("caf\xE9.dat", Folder());
  // The same letter in UTF-8 is two letters of code page 1252: no such file.
  ExpectEveryExportFails("caf\xC3\xA9.dat", Folder());
}

TEST_F(PathsTest, AFolderThatIsAFileOrMissingDoesNotOpen) {
  Write("info.dat", EveryExportFile());
  ExpectEveryExportFails("info.dat", FolderWith(L"\\info.dat").c_str());
  ExpectEveryExportFails("info.dat", FolderWith(L"\\missing").c_str());
  ExpectEveryExportFails("", Folder());
}

}  // namespace
}  // namespace dinfo::test
