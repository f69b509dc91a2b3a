// The test seam on Windows. The library's calls to GlobalAlloc, GlobalFree,
// CreateFileW, ReadFile and CloseHandle are redirected, through the import
// address tables of dinfo.dll and of this program (which links the
// library's objects for unit tests), to wrappers that count blocks and
// handles and inject failures before calling KERNEL32.
#include "kernel32_hooks.h"

#include <atomic>
#include <mutex>
#include <set>

#include "pe_image.h"
#include "platform/test_seam.h"
#include "platform/failure_budget.h"

namespace dinfo::test {
namespace {

std::atomic<std::int64_t> g_liveBlocks{0};
std::atomic<std::int64_t> g_liveBytes{0};
std::atomic<std::int64_t> g_peakBytes{0};
std::atomic<std::int64_t> g_allocationAttempts{0};
std::atomic<std::int64_t> g_readAttempts{0};
std::atomic<std::int64_t> g_allocationsLeft{-1};
std::atomic<std::int64_t> g_allocationsBeforeOneFailure{-1};
std::atomic<std::int64_t> g_readsLeft{-1};
std::atomic<bool> g_injectedFired{false};

// Only handles that a hooked CreateFileW gave out are counted: runtime code
// in this program closes handles of its own through the same table.
std::mutex g_handlesMutex;
std::set<HANDLE> g_openHandles;

// KERNEL32's own functions: the wrappers must not call through the tables
// they are written into.
struct Kernel32 {
  decltype(&GlobalAlloc) globalAlloc;
  decltype(&GlobalFree) globalFree;
  decltype(&CreateFileW) createFileW;
  decltype(&ReadFile) readFile;
  decltype(&CloseHandle) closeHandle;
};
Kernel32 g_kernel32{};

template <typename Function>
bool Resolve(HMODULE kernel32, const char *name, Function *function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(kernel32, name)));
  return *function != nullptr;
}

bool ResolveKernel32() {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  return kernel32 != nullptr && Resolve(kernel32, "GlobalAlloc", &g_kernel32.globalAlloc) &&
         Resolve(kernel32, "GlobalFree", &g_kernel32.globalFree) &&
         Resolve(kernel32, "CreateFileW", &g_kernel32.createFileW) &&
         Resolve(kernel32, "ReadFile", &g_kernel32.readFile) &&
         Resolve(kernel32, "CloseHandle", &g_kernel32.closeHandle);
}

bool TakeFromBudget(std::atomic<std::int64_t> &budget, bool failOnce = false) {
  return dinfo::seam::TakeFromBudget(budget, g_injectedFired, failOnce);
}

void CountBytes(std::int64_t bytes) {
  const std::int64_t live = g_liveBytes += bytes;
  std::int64_t peak = g_peakBytes.load();
  while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
  }
}

HGLOBAL WINAPI CountingGlobalAlloc(UINT flags, SIZE_T bytes) {
  ++g_allocationAttempts;
  if (TakeFromBudget(g_allocationsLeft) || TakeFromBudget(g_allocationsBeforeOneFailure, true)) {
    return nullptr;
  }
  HGLOBAL block = g_kernel32.globalAlloc(flags, bytes);
  if (block != nullptr) {
    ++g_liveBlocks;
    CountBytes(static_cast<std::int64_t>(GlobalSize(block)));
  }
  return block;
}

HGLOBAL WINAPI CountingGlobalFree(HGLOBAL block) {
  const auto bytes = block != nullptr ? static_cast<std::int64_t>(GlobalSize(block)) : 0;
  HGLOBAL result = g_kernel32.globalFree(block);
  if (block != nullptr && result == nullptr) {
    --g_liveBlocks;
    g_liveBytes -= bytes;
  }
  return result;
}

HANDLE WINAPI CountingCreateFileW(LPCWSTR name, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                  DWORD attributes, HANDLE templateFile) {
  HANDLE file = g_kernel32.createFileW(name, access, share, security, disposition, attributes, templateFile);
  if (file != INVALID_HANDLE_VALUE) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    g_openHandles.insert(file);
  }
  return file;
}

// An injected short read asks KERNEL32 for one byte less than the caller.
BOOL WINAPI CountingReadFile(HANDLE file, LPVOID buffer, DWORD wanted, LPDWORD done,
                             LPOVERLAPPED overlapped) {
  ++g_readAttempts;
  if (wanted > 0 && TakeFromBudget(g_readsLeft)) --wanted;
  return g_kernel32.readFile(file, buffer, wanted, done, overlapped);
}

BOOL WINAPI CountingCloseHandle(HANDLE object) {
  const BOOL closed = g_kernel32.closeHandle(object);
  if (closed) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    g_openHandles.erase(object);
  }
  return closed;
}

struct Hook {
  const char *name;
  void *wrapper;
};

}  // namespace

int HookKernel32Imports(HMODULE module) {
  const Hook hooks[] = {
      {"GlobalAlloc", reinterpret_cast<void *>(&CountingGlobalAlloc)},
      {"GlobalFree", reinterpret_cast<void *>(&CountingGlobalFree)},
      {"CreateFileW", reinterpret_cast<void *>(&CountingCreateFileW)},
      {"ReadFile", reinterpret_cast<void *>(&CountingReadFile)},
      {"CloseHandle", reinterpret_cast<void *>(&CountingCloseHandle)},
  };
  if (g_kernel32.globalAlloc == nullptr && !ResolveKernel32()) return 0;
  int patched = 0;
  for (const Hook &hook : hooks) {
    void **slot = ImportSlot(module, "KERNEL32.dll", hook.name);
    if (slot != nullptr && WriteImportSlot(slot, hook.wrapper)) ++patched;
  }
  return patched;
}

}  // namespace dinfo::test

namespace dinfo::seam {

std::int64_t LiveBlocks() { return test::g_liveBlocks.load(); }

std::int64_t OpenHandles() {
  std::lock_guard<std::mutex> lock(test::g_handlesMutex);
  return static_cast<std::int64_t>(test::g_openHandles.size());
}

std::int64_t AllocationAttempts() { return test::g_allocationAttempts.load(); }
std::int64_t ReadAttempts() { return test::g_readAttempts.load(); }
std::int64_t BlockBytes(const void *block) {
  return static_cast<std::int64_t>(GlobalSize(const_cast<void *>(block)));
}

std::int64_t LiveBytes() { return test::g_liveBytes.load(); }
std::int64_t PeakLiveBytes() { return test::g_peakBytes.load(); }
void ResetPeakLiveBytes() { test::g_peakBytes = test::g_liveBytes.load(); }

void FailAllocationsAfter(std::int64_t successes) {
  test::g_injectedFired = false;
  test::g_allocationsLeft = successes < 0 ? -1 : successes;
}

void FailOneAllocationAfter(std::int64_t successes) {
  test::g_injectedFired = false;
  test::g_allocationsBeforeOneFailure = successes < 0 ? -1 : successes;
}

void ShortenReadsAfter(std::int64_t successes) {
  test::g_injectedFired = false;
  test::g_readsLeft = successes < 0 ? -1 : successes;
}

bool InjectedFailureFired() { return test::g_injectedFired.load(); }

}  // namespace dinfo::seam
