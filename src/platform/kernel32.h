// The slice of KERNEL32 that the library calls. On Windows it is <windows.h>
// itself; elsewhere linux_kernel32.cpp implements the same names with the
// behaviour the library relies on, so the core reads like Windows code.
#ifndef DINFO_PLATFORM_KERNEL32_H
#define DINFO_PLATFORM_KERNEL32_H

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
using WideChar = wchar_t;
#else
#  include <cstddef>
#  include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using PLONG = LONG *;
using LPDWORD = DWORD *;
using LPVOID = void *;
using LPCVOID = const void *;
using SIZE_T = std::size_t;
using HANDLE = void *;
using HGLOBAL = void *;
using HMODULE = void *;
using HINSTANCE = void *;
using WCHAR = char16_t;
using LPWSTR = WCHAR *;
using LPCWSTR = const WCHAR *;
using LPCSTR = const char *;
using LPCCH = const char *;
using WideChar = char16_t;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES *;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED *;

#  define TRUE 1
#  define FALSE 0
#  define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080u;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_END = 2;
constexpr UINT CP_ACP = 0;
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
constexpr DWORD DLL_PROCESS_ATTACH = 1;

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh,
                     DWORD moveMethod);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE object);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH multiByte, int multiByteCount,
                        LPWSTR wide, int wideCount);
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL GlobalFree(HGLOBAL memory);
BOOL DisableThreadLibraryCalls(HMODULE module);
#endif

#endif  // DINFO_PLATFORM_KERNEL32_H
