// Installs the counting wrappers behind the test seam (platform/test_seam.h)
// into a module's imports from KERNEL32.
#ifndef DINFO_TESTS_WINDOWS_KERNEL32_HOOKS_H
#define DINFO_TESTS_WINDOWS_KERNEL32_HOOKS_H

#include <windows.h>

namespace dinfo::test {

// Redirects the module's GlobalAlloc, GlobalFree, CreateFileW, ReadFile and
// CloseHandle imports; returns how many of the five it imports and now
// calls through the wrappers.
int HookKernel32Imports(HMODULE module);

}  // namespace dinfo::test

#endif  // DINFO_TESTS_WINDOWS_KERNEL32_HOOKS_H
