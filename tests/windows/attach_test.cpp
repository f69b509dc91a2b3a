// Copies of dinfo.dll loaded beside the one this program is bound to: a
// copy lands at another address and must work there, and a copy loaded
// without running its entry point lets the test call that entry point
// itself, with DisableThreadLibraryCalls redirected to a recorder.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pe_image.h"
#include "test_support.h"

namespace dinfo::test {
namespace {

using EntryPointFunction = BOOL(WINAPI *)(HINSTANCE, DWORD, LPVOID);

int g_disableCalls = 0;
HMODULE g_disabledModule = nullptr;

BOOL WINAPI RecordDisableThreadLibraryCalls(HMODULE module) {
  ++g_disableCalls;
  g_disabledModule = module;
  return TRUE;
}

class DllCopyTest : public FileTest {
 protected:
  // Copies dinfo.dll into the test's folder as `name`; its full path.
  std::wstring CopyOfDll(const std::wstring &name) {
    wchar_t program[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::filesystem::path dll =
        std::filesystem::path(std::wstring(program, length)).parent_path() / L"dinfo.dll";
    const std::filesystem::path copy = std::filesystem::path(std::wstring(Folder())) / name;
    std::filesystem::copy_file(dll, copy);
    return copy.wstring();
  }

  void TearDown() override {
    for (HMODULE module : loaded_) FreeLibrary(module);
    FileTest::TearDown();
  }

  HMODULE Keep(HMODULE module) {
    if (module != nullptr) loaded_.push_back(module);
    return module;
  }

 private:
  std::vector<HMODULE> loaded_;
};

TEST_F(DllCopyTest, ACopyAtAnotherAddressAnswersAsTheFirst) {
  Write("info.dat", writer::Finish(FileWithStatus(0, 7)));
  HMODULE copy = Keep(LoadLibraryW(CopyOfDll(L"dinfo-copy.dll").c_str()));
  ASSERT_NE(copy, nullptr) << GetLastError();
  EXPECT_NE(copy, GetModuleHandleW(L"dinfo.dll"));
  const auto formatType = reinterpret_cast<decltype(&DIGetTableFormatType)>(
      reinterpret_cast<void *>(GetProcAddress(copy, MAKEINTRESOURCEA(2))));
  ASSERT_NE(formatType, nullptr);
  EXPECT_EQ(formatType("info.dat", Folder()), 7);
  EXPECT_EQ(formatType("missing.dat", Folder()), ErrOpenFile);
}

TEST_F(DllCopyTest, TheEntryPointTurnsThreadNotificationsOffOnProcessAttachOnly) {
  HMODULE image = Keep(LoadLibraryExW(CopyOfDll(L"dinfo-entry.dll").c_str(), nullptr,
                                      DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_NE(image, nullptr) << GetLastError();
  void **slot = ImportSlot(image, "KERNEL32.dll", "DisableThreadLibraryCalls");
  ASSERT_NE(slot, nullptr);
  ASSERT_TRUE(WriteImportSlot(slot, reinterpret_cast<void *>(&RecordDisableThreadLibraryCalls)));
  const auto entryPoint = reinterpret_cast<EntryPointFunction>(EntryPoint(image));
  g_disableCalls = 0;

  EXPECT_EQ(entryPoint(image, DLL_THREAD_ATTACH, nullptr), TRUE);
  EXPECT_EQ(g_disableCalls, 0);
  EXPECT_EQ(entryPoint(image, DLL_PROCESS_ATTACH, nullptr), TRUE);
  EXPECT_EQ(g_disableCalls, 1);
  EXPECT_EQ(g_disabledModule, image);
  EXPECT_EQ(entryPoint(image, DLL_THREAD_DETACH, nullptr), TRUE);
  EXPECT_EQ(entryPoint(image, DLL_PROCESS_DETACH, nullptr), TRUE);
  EXPECT_EQ(g_disableCalls, 1);
}

}  // namespace
}  // namespace dinfo::test
