#include "call_trace.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>

#include "pe_image.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace dinfo::bench {

namespace {

const char *const StepNames[] = {"open", "seek", "read", "allocate", "free", "close"};

// Writes a byte into every page of a block before it is given back, as the
// call fills its blocks: fresh pages cost a fault each (under Wine much
// more than on Linux), and that is the platform's cost, not the library's.
// Pages a read filled are in already; touching them first instead would
// spare Wine's reads their own faults, which the call pays.
void TouchPages(void *block, std::int64_t bytes) {
  constexpr std::int64_t PageSize = 4096;
  auto *bytesOf = static_cast<volatile std::uint8_t *>(block);
  for (std::int64_t at = 0; at < bytes; at += PageSize) bytesOf[at] = 0;
}

std::int64_t BlockBytes(const CallTrace &trace, std::int32_t block) {
  for (const Step &step : trace) {
    if (step.kind == StepKind::Allocate && step.block == block) return step.length;
  }
  return 0;
}

}  // namespace

bool SaveTrace(const std::string &path, const CallTrace &trace) {
  std::FILE *file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  for (const Step &step : trace) {
    std::fprintf(file, "%s %lld %lld %d %lld %u\n", StepNames[int(step.kind)],
                 static_cast<long long>(step.position), static_cast<long long>(step.length), step.block,
                 static_cast<long long>(step.offset), step.flags);
  }
  return std::fclose(file) == 0;
}

bool LoadTrace(const std::string &path, CallTrace &trace) {
  std::FILE *file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return false;
  trace.clear();
  char name[16];
  long long position = 0, length = 0, offset = 0;
  int block = 0;
  unsigned flags = 0;
  while (std::fscanf(file, "%15s %lld %lld %d %lld %u", name, &position, &length, &block, &offset, &flags) == 6) {
    Step step{StepKind::Open, position, length, block, offset, flags};
    for (int kind = 0; kind < 6; ++kind) {
      if (std::string(name) == StepNames[kind]) step.kind = static_cast<StepKind>(kind);
    }
    trace.push_back(step);
  }
  std::fclose(file);
  return !trace.empty();
}

std::int32_t BlocksOf(const CallTrace &trace) {
  std::int32_t blocks = 0;
  for (const Step &step : trace) {
    if (step.kind == StepKind::Allocate && step.block >= blocks) blocks = step.block + 1;
  }
  return blocks;
}

HeldBytes HeldBytesOf(const CallTrace &trace) {
  std::vector<std::int64_t> sizes(static_cast<std::size_t>(BlocksOf(trace)), 0);
  HeldBytes held;
  std::int64_t now = 0;
  for (const Step &step : trace) {
    if (step.kind == StepKind::Read && step.length > held.longestRead) held.longestRead = step.length;
    if (step.block < 0 || std::size_t(step.block) >= sizes.size()) continue;
    std::int64_t &size = sizes[std::size_t(step.block)];
    if (step.kind == StepKind::Allocate) {
      size = step.length;
      now += size;
      if (now > held.peak) held.peak = now;
    } else if (step.kind == StepKind::Free) {
      now -= size;
      held.lastFreed = size;
      size = 0;
    }
  }
  return held;
}

std::int64_t LooseReadBytes(const CallTrace &trace) {
  std::int64_t largest = 1;
  for (const Step &step : trace) {
    if (step.kind == StepKind::Read && step.block < 0 && step.length > largest) largest = step.length;
  }
  return largest;
}

#if defined(_WIN32)

namespace {

// KERNEL32's own functions, which the recorders call on.
decltype(&CreateFileW) g_createFileW;
decltype(&SetFilePointer) g_setFilePointer;
decltype(&ReadFile) g_readFile;
decltype(&GlobalAlloc) g_globalAlloc;
decltype(&GlobalFree) g_globalFree;
decltype(&CloseHandle) g_closeHandle;

bool g_recording = false;
CallTrace g_trace;
struct LiveBlock {
  std::uint8_t *start;
  std::int64_t size;
  std::int32_t id;
};
std::vector<LiveBlock> g_live;
std::int32_t g_nextBlock = 0;

void Note(const Step &step) {
  if (g_recording) g_trace.push_back(step);
}

// Where the file pointer stands; asked only while recording, so that the
// timed calls pay nothing for the recorders but an indirect call.
std::int64_t PositionOf(HANDLE file) {
  LARGE_INTEGER now{};
  if (g_recording) SetFilePointerEx(file, LARGE_INTEGER{}, &now, FILE_CURRENT);
  return now.QuadPart;
}

HANDLE WINAPI RecordCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD attributes, HANDLE templateFile) {
  HANDLE file = g_createFileW(name, access, share, security, disposition, attributes, templateFile);
  if (file != INVALID_HANDLE_VALUE) Note({StepKind::Open});
  return file;
}

DWORD WINAPI RecordSetFilePointer(HANDLE file, LONG low, PLONG high, DWORD method) {
  const DWORD result = g_setFilePointer(file, low, high, method);
  Note({StepKind::Seek, PositionOf(file)});
  return result;
}

BOOL WINAPI RecordReadFile(HANDLE file, LPVOID buffer, DWORD wanted, LPDWORD done, LPOVERLAPPED overlapped) {
  Step step{StepKind::Read, PositionOf(file), wanted};
  auto *at = static_cast<std::uint8_t *>(buffer);
  for (const LiveBlock &block : g_live) {
    if (at >= block.start && at < block.start + block.size) {
      step.block = block.id;
      step.offset = at - block.start;
    }
  }
  Note(step);
  return g_readFile(file, buffer, wanted, done, overlapped);
}

HGLOBAL WINAPI RecordGlobalAlloc(UINT flags, SIZE_T bytes) {
  HGLOBAL block = g_globalAlloc(flags, bytes);
  if (block != nullptr && g_recording) {
    const std::int32_t id = g_nextBlock++;
    g_live.push_back({static_cast<std::uint8_t *>(block), static_cast<std::int64_t>(bytes), id});
    Note({StepKind::Allocate, 0, static_cast<std::int64_t>(bytes), id, 0, flags});
  }
  return block;
}

HGLOBAL WINAPI RecordGlobalFree(HGLOBAL memory) {
  for (std::size_t i = 0; g_recording && i < g_live.size(); ++i) {
    if (g_live[i].start == memory) {
      Note({StepKind::Free, 0, 0, g_live[i].id});
      g_live.erase(g_live.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  return g_globalFree(memory);
}

BOOL WINAPI RecordCloseHandle(HANDLE object) {
  Note({StepKind::Close});
  return g_closeHandle(object);
}

template <typename Function>
bool Resolve(HMODULE kernel32, const char *name, Function *function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(kernel32, name)));
  return *function != nullptr;
}

bool Hook(HMODULE library, const char *name, void *recorder) {
  void **slot = dinfo::test::ImportSlot(library, "KERNEL32.dll", name);
  return slot != nullptr && dinfo::test::WriteImportSlot(slot, recorder);
}

}  // namespace

bool HookLibraryImports() {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  HMODULE library = GetModuleHandleW(L"dinfo.dll");
  if (kernel32 == nullptr || library == nullptr) return false;
  return Resolve(kernel32, "CreateFileW", &g_createFileW) && Resolve(kernel32, "SetFilePointer", &g_setFilePointer) &&
         Resolve(kernel32, "ReadFile", &g_readFile) && Resolve(kernel32, "GlobalAlloc", &g_globalAlloc) &&
         Resolve(kernel32, "GlobalFree", &g_globalFree) && Resolve(kernel32, "CloseHandle", &g_closeHandle) &&
         Hook(library, "CreateFileW", reinterpret_cast<void *>(&RecordCreateFileW)) &&
         Hook(library, "SetFilePointer", reinterpret_cast<void *>(&RecordSetFilePointer)) &&
         Hook(library, "ReadFile", reinterpret_cast<void *>(&RecordReadFile)) &&
         Hook(library, "GlobalAlloc", reinterpret_cast<void *>(&RecordGlobalAlloc)) &&
         Hook(library, "GlobalFree", reinterpret_cast<void *>(&RecordGlobalFree)) &&
         Hook(library, "CloseHandle", reinterpret_cast<void *>(&RecordCloseHandle));
}

void StartRecording() {
  g_trace.clear();
  g_live.clear();
  g_nextBlock = 0;
  g_recording = true;
}

CallTrace StopRecording() {
  g_recording = false;
  g_live.clear();
  return g_trace;
}

bool ReplayTrace(const CallTrace &trace, const std::string &path) {
  static std::vector<HGLOBAL> blocks;
  static std::vector<std::uint8_t> loose;
  blocks.assign(static_cast<std::size_t>(BlocksOf(trace)), nullptr);
  if (loose.size() < static_cast<std::size_t>(LooseReadBytes(trace))) loose.resize(std::size_t(LooseReadBytes(trace)));
  const std::wstring widePath(path.begin(), path.end());
  HANDLE file = INVALID_HANDLE_VALUE;
  bool fine = true;
  for (const Step &step : trace) {
    switch (step.kind) {
      case StepKind::Open:
        file = CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        fine = fine && file != INVALID_HANDLE_VALUE;
        break;
      case StepKind::Seek: {
        LONG high = static_cast<LONG>(step.position >> 32);
        SetFilePointer(file, static_cast<LONG>(step.position), &high, FILE_BEGIN);
        break;
      }
      case StepKind::Read: {
        DWORD got = 0;
        auto *into = step.block < 0 ? loose.data() : static_cast<std::uint8_t *>(blocks[std::size_t(step.block)]) + step.offset;
        fine = ReadFile(file, into, static_cast<DWORD>(step.length), &got, nullptr) && fine;
        break;
      }
      case StepKind::Allocate:
        blocks[std::size_t(step.block)] = GlobalAlloc(step.flags, static_cast<SIZE_T>(step.length));
        fine = fine && blocks[std::size_t(step.block)] != nullptr;
        break;
      case StepKind::Free:
        TouchPages(blocks[std::size_t(step.block)], BlockBytes(trace, step.block));
        GlobalFree(blocks[std::size_t(step.block)]);
        break;
      case StepKind::Close:
        CloseHandle(file);
        break;
    }
  }
  return fine;
}

#else

bool ReplayTrace(const CallTrace &trace, const std::string &path) {
  static std::vector<void *> blocks;
  static std::vector<std::uint8_t> loose;
  blocks.assign(static_cast<std::size_t>(BlocksOf(trace)), nullptr);
  if (loose.size() < static_cast<std::size_t>(LooseReadBytes(trace))) loose.resize(std::size_t(LooseReadBytes(trace)));
  int file = -1;
  bool fine = true;
  for (const Step &step : trace) {
    switch (step.kind) {
      case StepKind::Open:
        file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        fine = fine && file >= 0;
        break;
      case StepKind::Seek:
        break;  // a read says where it reads
      case StepKind::Read: {
        auto *into = step.block < 0 ? loose.data() : static_cast<std::uint8_t *>(blocks[std::size_t(step.block)]) + step.offset;
        fine = pread(file, into, static_cast<std::size_t>(step.length), step.position) >= 0 && fine;
        break;
      }
      case StepKind::Allocate: {
        const auto bytes = static_cast<std::size_t>(step.length == 0 ? 1 : step.length);
        constexpr std::uint32_t ZeroFilled = 0x40;
        blocks[std::size_t(step.block)] = (step.flags & ZeroFilled) != 0 ? std::calloc(1, bytes) : std::malloc(bytes);
        fine = fine && blocks[std::size_t(step.block)] != nullptr;
        break;
      }
      case StepKind::Free:
        TouchPages(blocks[std::size_t(step.block)], BlockBytes(trace, step.block));
        std::free(blocks[std::size_t(step.block)]);
        break;
      case StepKind::Close:
        close(file);
        break;
    }
  }
  return fine;
}

#endif

}  // namespace dinfo::bench
