// The KERNEL32 subset on Linux, translated call for call: a handle holds a
// file descriptor and the file position (linux_file_handle.h), ReadFile is
// one pread, blocks come from calloc. In the test build (DINFO_TEST_HOOKS)
// every block, handle and read is counted and failures can be injected,
// so that tests can check that nothing outlives a call; the shipped
// library has none of it.
#if !defined(_WIN32)

#include "platform/kernel32.h"
#include "platform/linux_file_handle.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(DINFO_TEST_HOOKS)
#include <atomic>

#include "platform/failure_budget.h"
#include "platform/test_seam.h"
#endif

namespace {

#if defined(DINFO_TEST_HOOKS)

// Allocations are counted once each way: live blocks are those taken less
// those given back, attempts those taken plus those refused. Each thread
// counts in a shard of its own (shared only past ShardCount threads), on
// cache lines of its own, so that threads calling the library side by side
// do not pass the counters' lines back and forth; the totals add up the
// shards.
struct alignas(64) CounterShard {
  std::atomic<std::int64_t> blocksTaken{0};
  std::atomic<std::int64_t> blocksRefused{0};
  std::atomic<std::int64_t> blocksGivenBack{0};
  std::atomic<std::int64_t> openHandles{0};
  std::atomic<std::int64_t> readAttempts{0};
  std::atomic<std::int64_t> systemReads{0};
};
constexpr std::size_t ShardCount = 16;
CounterShard g_shards[ShardCount];
std::atomic<std::size_t> g_shardsHandedOut{0};

CounterShard &Counters() {
  thread_local CounterShard &shard =
      g_shards[g_shardsHandedOut.fetch_add(1, std::memory_order_relaxed) % ShardCount];
  return shard;
}

void Count(std::atomic<std::int64_t> &counter, std::int64_t change) {
  counter.fetch_add(change, std::memory_order_relaxed);
}

std::int64_t Total(std::atomic<std::int64_t> CounterShard::*counter) {
  std::int64_t total = 0;
  for (const CounterShard &shard : g_shards) total += (shard.*counter).load();
  return total;
}

std::atomic<std::int64_t> g_allocationsLeft{-1};
std::atomic<std::int64_t> g_allocationsBeforeOneFailure{-1};
std::atomic<std::int64_t> g_largestAllocation{-1};  // -1: no limit
std::atomic<std::int64_t> g_readsLeft{-1};
std::atomic<bool> g_injectedFired{false};
std::atomic<dinfo::seam::TracedRead *> g_traceReads{nullptr};
std::int64_t g_traceCapacity = 0;
std::int64_t *g_traceCount = nullptr;

void TraceRead(std::int64_t position, std::int64_t length) {
  dinfo::seam::TracedRead *reads = g_traceReads.load(std::memory_order_relaxed);
  if (reads == nullptr) return;
  if (*g_traceCount < g_traceCapacity) reads[*g_traceCount] = {position, length};
  ++*g_traceCount;
}

bool TakeFromBudget(std::atomic<std::int64_t> &budget, bool failOnce = false) {
  return dinfo::seam::TakeFromBudget(budget, g_injectedFired, failOnce);
}

bool AboveAllocationLimit(SIZE_T bytes) {
  const std::int64_t largest = g_largestAllocation.load();
  if (largest < 0 || bytes <= static_cast<std::uint64_t>(largest)) return false;
  g_injectedFired = true;
  return true;
}

// Bytes held in blocks, as the C library sizes them, and the most held at
// once since the peak was last reset: one pair for the whole process.
std::atomic<std::int64_t> g_liveBytes{0};
std::atomic<std::int64_t> g_peakBytes{0};

void CountBytes(void *block, bool taken) {
  const auto bytes = static_cast<std::int64_t>(malloc_usable_size(block));
  if (!taken) {
    g_liveBytes -= bytes;
    return;
  }
  const std::int64_t live = g_liveBytes += bytes;
  std::int64_t peak = g_peakBytes.load();
  while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
  }
}

void CountBlock(void *block) {
  Count(block != nullptr ? Counters().blocksTaken : Counters().blocksRefused, 1);
  if (block != nullptr) CountBytes(block, true);
}
void CountBlockGivenBack(void *block) {
  Count(Counters().blocksGivenBack, 1);
  CountBytes(block, false);
}
void CountHandle(std::int64_t change) { Count(Counters().openHandles, change); }
void CountReadAttempt() { Count(Counters().readAttempts, 1); }
void CountSystemRead() { Count(Counters().systemReads, 1); }
bool AllocationMustFail(SIZE_T bytes) {
  return AboveAllocationLimit(bytes) || TakeFromBudget(g_allocationsLeft) ||
         TakeFromBudget(g_allocationsBeforeOneFailure, true);
}
// An injected short read asks for one byte less than the caller.
DWORD ReadLength(DWORD wanted) {
  return wanted > 0 && TakeFromBudget(g_readsLeft) ? wanted - 1 : wanted;
}
#else
void CountBlock(void *) {}
void CountBlockGivenBack(void *) {}
void CountHandle(std::int64_t) {}
void CountReadAttempt() {}
void CountSystemRead() {}
void TraceRead(std::int64_t, std::int64_t) {}
bool AllocationMustFail(SIZE_T) { return false; }
DWORD ReadLength(DWORD wanted) { return wanted; }
#endif

using dinfo::platform::FileHandle;

FileHandle *FileOf(HANDLE handle) { return static_cast<FileHandle *>(handle); }

// Appends the UTF-8 form of one code point; returns the new length.
std::size_t PutUtf8(char *out, std::size_t at, char32_t point) {
  if (point < 0x80) {
    out[at++] = static_cast<char>(point);
  } else if (point < 0x800) {
    out[at++] = static_cast<char>(0xC0 | (point >> 6));
    out[at++] = static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out[at++] = static_cast<char>(0xE0 | (point >> 12));
    out[at++] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out[at++] = static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out[at++] = static_cast<char>(0xF0 | (point >> 18));
    out[at++] = static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out[at++] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out[at++] = static_cast<char>(0x80 | (point & 0x3F));
  }
  return at;
}

// Paths whose UTF-8 form surely fits this go through a buffer on the stack.
constexpr std::size_t ShortPathBytes = 1024;

// Writes the `units` UTF-16 units of `path` as UTF-8 into `out` (room for
// 3 bytes a unit and the terminator), backslashes turned into slashes and
// unpaired surrogates into U+FFFD.
void WriteUtf8Path(LPCWSTR path, std::size_t units, char *out) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < units; ++i) {
    char32_t point = path[i];
    if (point < 0x80 && point != u'\\') {
      out[at++] = static_cast<char>(point);
      continue;
    }
    if (point >= 0xD800 && point <= 0xDBFF && i + 1 < units && path[i + 1] >= 0xDC00 &&
        path[i + 1] <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (path[i + 1] - 0xDC00);
      ++i;
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      point = 0xFFFD;
    } else if (point == u'\\') {
      point = u'/';
    }
    at = PutUtf8(out, at, point);
  }
  out[at] = '\0';
}

// A path in UTF-8: on the stack when it is short, else in memory of its
// own, given back with it. get() is null when that memory was refused.
class Utf8Path {
 public:
  explicit Utf8Path(LPCWSTR path) {
    std::size_t units = 0;
    while (path[units] != 0) ++units;
    if (units * 3 + 1 > ShortPathBytes) {
      longPath_ = static_cast<char *>(std::malloc(units * 3 + 1));
      if (longPath_ == nullptr) return;
    }
    text_ = longPath_ != nullptr ? longPath_ : shortPath_;
    WriteUtf8Path(path, units, text_);
  }
  Utf8Path(const Utf8Path &) = delete;
  Utf8Path &operator=(const Utf8Path &) = delete;
  ~Utf8Path() { std::free(longPath_); }

  const char *get() const { return text_; }

 private:
  char shortPath_[ShortPathBytes];
  char *longPath_ = nullptr;
  char *text_ = nullptr;
};

// Decodes one UTF-8 sequence at text[i]; returns its length in bytes, or 0
// when the byte at i does not start a valid sequence.
int DecodeUtf8(const unsigned char *text, int count, int i, char32_t *point) {
  unsigned char lead = text[i];
  int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
             : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || i + length > count) return 0;
  char32_t value = length == 1 ? lead : static_cast<char32_t>(lead & (0x7F >> length));
  for (int k = 1; k < length; ++k) {
    if ((text[i + k] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (text[i + k] & 0x3F);
  }
  bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
  if (overlong || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *point = value;
  return length;
}

// Up to `length` bytes at `position`, retrying after signals and short
// reads (pread stops short only at the end of a regular file); the bytes
// read, or -1 on failure.
ssize_t ReadAt(int descriptor, void *buffer, std::size_t length, off_t position) {
  std::size_t done = 0;
  while (done < length) {
    CountSystemRead();
    const ssize_t got = pread(descriptor, static_cast<char *>(buffer) + done, length - done,
                              position + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

// A folder opens on Linux but not on Windows. Reading nothing from it
// fails with EISDIR, found at half the cost of an fstat in every open.
bool IsFolder(int descriptor) {
  char none[1];
  return pread(descriptor, none, 0, 0) < 0 && errno == EISDIR;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
  if (fileName == nullptr || fileName[0] == 0 || desiredAccess != GENERIC_READ ||
      creationDisposition != OPEN_EXISTING) {
    return INVALID_HANDLE_VALUE;
  }
  int fd = -1;
  {
    const Utf8Path path(fileName);
    if (path.get() == nullptr) return INVALID_HANDLE_VALUE;
    fd = open(path.get(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) return INVALID_HANDLE_VALUE;
  auto *file = IsFolder(fd) ? nullptr : static_cast<FileHandle *>(std::malloc(sizeof(FileHandle)));
  if (file == nullptr) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  *file = {fd, 0};
  CountHandle(1);
  return file;
}

DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh,
                     DWORD moveMethod) {
  if (file == nullptr || file == INVALID_HANDLE_VALUE || distanceToMoveHigh != nullptr ||
      (moveMethod != FILE_BEGIN && moveMethod != FILE_END)) {
    return INVALID_SET_FILE_POINTER;
  }
  off_t position = distanceToMove;
  if (moveMethod == FILE_END) {
    struct stat info {};
    if (fstat(FileOf(file)->descriptor, &info) != 0) return INVALID_SET_FILE_POINTER;
    position += info.st_size;
  }
  if (position < 0 || position >= static_cast<off_t>(INVALID_SET_FILE_POINTER)) {
    return INVALID_SET_FILE_POINTER;
  }
  FileOf(file)->position = position;
  return static_cast<DWORD>(position);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED) {
  if (bytesRead != nullptr) *bytesRead = 0;
  if (file == nullptr || file == INVALID_HANDLE_VALUE || (buffer == nullptr && bytesToRead > 0)) {
    return FALSE;
  }
  CountReadAttempt();
  FileHandle *handle = FileOf(file);
  TraceRead(handle->position, bytesToRead);
  const ssize_t done = ReadAt(handle->descriptor, buffer, ReadLength(bytesToRead), handle->position);
  if (done < 0) return FALSE;
  handle->position += done;
  if (bytesRead != nullptr) *bytesRead = static_cast<DWORD>(done);
  return TRUE;
}

// The handle is gone whatever close reports, as on Windows.
BOOL CloseHandle(HANDLE object) {
  if (object == nullptr || object == INVALID_HANDLE_VALUE) return FALSE;
  const int result = close(FileOf(object)->descriptor);
  std::free(object);
  CountHandle(-1);
  return result == 0 ? TRUE : FALSE;
}

// The ANSI code page is UTF-8 here. Every valid sequence gives one unit (two
// for code points above U+FFFF, which take four bytes), and every byte that
// starts no valid sequence gives U+FFFD, so never more units come out than
// bytes go in.
int MultiByteToWideChar(UINT codePage, DWORD, LPCCH multiByte, int multiByteCount, LPWSTR wide,
                        int wideCount) {
  if (codePage != CP_ACP || multiByte == nullptr || multiByteCount <= 0 || wideCount < 0) return 0;
  const auto *text = reinterpret_cast<const unsigned char *>(multiByte);
  int written = 0;
  for (int i = 0; i < multiByteCount;) {
    char32_t point = 0xFFFD;
    int length = DecodeUtf8(text, multiByteCount, i, &point);
    i += length == 0 ? 1 : length;
    int units = point >= 0x10000 ? 2 : 1;
    if (wideCount == 0) {
      written += units;
      continue;
    }
    if (written + units > wideCount) return 0;
    if (units == 2) {
      wide[written++] = static_cast<WCHAR>(0xD800 + ((point - 0x10000) >> 10));
      wide[written++] = static_cast<WCHAR>(0xDC00 + ((point - 0x10000) & 0x3FF));
    } else {
      wide[written++] = static_cast<WCHAR>(point);
    }
  }
  return written;
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  void *block = nullptr;
  if (!AllocationMustFail(bytes)) {
    block = (flags & GMEM_ZEROINIT) != 0 ? std::calloc(1, bytes == 0 ? 1 : bytes)
                                         : std::malloc(bytes == 0 ? 1 : bytes);
  }
  CountBlock(block);
  return block;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  if (memory != nullptr) {
    CountBlockGivenBack(memory);
    std::free(memory);
  }
  return nullptr;
}

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }

#if defined(DINFO_TEST_HOOKS)
namespace dinfo::seam {

// A block is given back only after it was taken, so reading the returns
// first never makes the difference negative.
std::int64_t LiveBlocks() {
  const std::int64_t givenBack = Total(&CounterShard::blocksGivenBack);
  return Total(&CounterShard::blocksTaken) - givenBack;
}
std::int64_t OpenHandles() { return Total(&CounterShard::openHandles); }
std::int64_t AllocationAttempts() {
  return Total(&CounterShard::blocksTaken) + Total(&CounterShard::blocksRefused);
}
std::int64_t ReadAttempts() { return Total(&CounterShard::readAttempts); }
std::int64_t SystemReads() { return Total(&CounterShard::systemReads); }
std::int64_t BlockBytes(const void *block) {
  return static_cast<std::int64_t>(malloc_usable_size(const_cast<void *>(block)));
}

std::int64_t LiveBytes() { return g_liveBytes.load(); }
std::int64_t PeakLiveBytes() { return g_peakBytes.load(); }
void ResetPeakLiveBytes() { g_peakBytes = g_liveBytes.load(); }

void FailAllocationsAfter(std::int64_t successes) {
  g_injectedFired = false;
  g_allocationsLeft = successes < 0 ? -1 : successes;
}

void FailOneAllocationAfter(std::int64_t successes) {
  g_injectedFired = false;
  g_allocationsBeforeOneFailure = successes < 0 ? -1 : successes;
}

void FailAllocationsLargerThan(std::int64_t bytes) {
  g_injectedFired = false;
  g_largestAllocation = bytes < 0 ? -1 : bytes;
}

void ShortenReadsAfter(std::int64_t successes) {
  g_injectedFired = false;
  g_readsLeft = successes < 0 ? -1 : successes;
}

bool InjectedFailureFired() { return g_injectedFired.load(); }

void TraceReads(TracedRead *reads, std::int64_t capacity, std::int64_t *count) {
  g_traceReads = nullptr;
  if (reads == nullptr || count == nullptr) return;
  g_traceCapacity = capacity;
  g_traceCount = count;
  *count = 0;
  g_traceReads = reads;
}

}  // namespace dinfo::seam
#endif  // DINFO_TEST_HOOKS

#endif  // !_WIN32
