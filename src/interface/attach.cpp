// The entry point Windows calls when the library is attached or detached.
// Per-thread notifications are turned off on attach; nothing else happens.
#if defined(_WIN32)
#include "platform/kernel32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
  return TRUE;
}
#endif
