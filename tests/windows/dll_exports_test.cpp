// dinfo.dll as a program loads it: by path with LoadLibraryW, its exports
// found by ordinal and by name, its tables read from the loaded image.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "dinfo/dinfo.h"
#include "pe_image.h"

namespace dinfo::test {
namespace {

struct FixedExport {
  WORD ordinal;
  const char *name;
  void *imported;  // the address this program's own import of it was bound to
};

std::vector<FixedExport> FixedExports() {
  return {{2, "DIGetTableFormatType", reinterpret_cast<void *>(&DIGetTableFormatType)},
          {3, "DIGetMainInfo", reinterpret_cast<void *>(&DIGetMainInfo)},
          {4, "DIGetCategoryInfoV", reinterpret_cast<void *>(&DIGetCategoryInfoV)},
          {5, "DIGetCategoryInfoS", reinterpret_cast<void *>(&DIGetCategoryInfoS)},
          {6, "DIGetTable", reinterpret_cast<void *>(&DIGetTable)},
          {7, "DIFreeTable", reinterpret_cast<void *>(&DIFreeTable)}};
}

// The DLL sits beside this program, where Windows looks for it first.
std::wstring DllPath() {
  wchar_t program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring path(program, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"dinfo.dll";
}

void *ProcAddress(HMODULE module, const char *nameOrOrdinal) {
  return reinterpret_cast<void *>(GetProcAddress(module, nameOrOrdinal));
}

class DllExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(module_, nullptr) << "LoadLibraryW failed: " << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
};

TEST_F(DllExportsTest, LoadsTheDllThisProgramIsBoundTo) {
  EXPECT_EQ(module_, GetModuleHandleW(L"dinfo.dll"));
}

TEST_F(DllExportsTest, EachExportResolvesByOrdinalAndByNameToOneAddress) {
  for (const FixedExport &fixed : FixedExports()) {
    void *byOrdinal = ProcAddress(module_, MAKEINTRESOURCEA(fixed.ordinal));
    void *byName = ProcAddress(module_, fixed.name);
    EXPECT_NE(byName, nullptr) << fixed.name;
    EXPECT_EQ(byOrdinal, byName) << fixed.name << " at ordinal " << fixed.ordinal;
    EXPECT_EQ(fixed.imported, byName) << fixed.name;
  }
}

TEST_F(DllExportsTest, NoOtherOrdinalResolves) {
  EXPECT_EQ(ProcAddress(module_, MAKEINTRESOURCEA(1)), nullptr);
  EXPECT_EQ(ProcAddress(module_, MAKEINTRESOURCEA(8)), nullptr);
  EXPECT_EQ(ProcAddress(module_, "DllMain"), nullptr);
  EXPECT_EQ(ProcAddress(module_, "memcpy"), nullptr);
}

TEST_F(DllExportsTest, ExportTableHoldsExactlyTheSixAtOrdinalsTwoToSeven) {
  std::vector<ExportEntry> expected;
  for (const FixedExport &fixed : FixedExports()) expected.push_back({fixed.ordinal, fixed.name});
  const std::vector<ExportEntry> actual = ExportTable(module_);
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].ordinal, expected[i].ordinal);
    EXPECT_EQ(actual[i].name, expected[i].name);
  }
}

TEST_F(DllExportsTest, ImportsFromKernel32Alone) {
  const std::vector<std::string> dlls = ImportedDlls(module_);
  ASSERT_EQ(dlls.size(), 1u);
  EXPECT_EQ(lstrcmpiA(dlls[0].c_str(), "KERNEL32.dll"), 0) << dlls[0];
}

}  // namespace
}  // namespace dinfo::test
