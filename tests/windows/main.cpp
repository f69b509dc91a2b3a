// The Windows suite runs against dinfo.dll as a program loads it. Before any
// test, the counting wrappers of the test seam go into the KERNEL32 imports
// of the DLL and of this program.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "kernel32_hooks.h"

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  HMODULE dll = GetModuleHandleW(L"dinfo.dll");
  if (dll == nullptr || dinfo::test::HookKernel32Imports(dll) != 5) {
    std::fprintf(stderr, "dinfo.dll is not loaded, or does not import the five counted functions\n");
    return 1;
  }
  dinfo::test::HookKernel32Imports(GetModuleHandleW(nullptr));
  return RUN_ALL_TESTS();
}
