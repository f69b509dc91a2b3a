// A file opened by the Linux CreateFileW. Besides the descriptor and the
// position that ReadFile reads from, a handle keeps a few windows of the
// file's bytes: one call reads the same header, directory and record
// lengths again for every lookup, and small reads served from a window
// cost no system call. A handle is opened for reading with other writers
// shut out (FILE_SHARE_READ), so the bytes cannot change while it is open.
#ifndef DINFO_PLATFORM_LINUX_FILE_HANDLE_H
#define DINFO_PLATFORM_LINUX_FILE_HANDLE_H

#include <sys/types.h>

#include <cstdint>

namespace dinfo::platform {

constexpr std::uint32_t WindowBytes = 4096;
// Reads up to this size go through a window; larger ones go straight to
// the file. A window starts at a multiple of WindowAlign at or below the
// read, so every such read fits the window it loads.
constexpr std::uint32_t LargestWindowedRead = 2048;
constexpr std::uint32_t WindowAlign = 512;
constexpr int WindowCount = 4;

struct ReadWindow {
  off_t start;
  std::uint32_t length;
  // The read that filled it stopped short at the end of the file, so no
  // bytes lie beyond start + length.
  bool reachesEnd;
  std::uint64_t lastUse;
  unsigned char bytes[WindowBytes];
};

struct FileHandle {
  int descriptor;
  off_t position;
  std::uint64_t uses;
  ReadWindow windows[WindowCount];
};

// Counts one read of the file system for the test seam's SystemReads.
void CountSystemRead();

// Reads up to `length` bytes at `position` with pread, retrying after
// signals and short reads; the bytes read, or -1 (errno set) on failure.
ssize_t ReadAt(int descriptor, void *buffer, std::size_t length, off_t position);

// Fills the window that was used longest ago with the bytes at `start`.
// False (errno set) when the read fails; the window is then empty.
bool LoadWindow(FileHandle *file, off_t start, ReadWindow **loaded);

// Serves a read of `length` bytes at the handle's position: from a window
// when it is small, loading one if none holds it, else from the file.
// The bytes read, or -1 when the read fails.
ssize_t ReadThroughWindows(FileHandle *file, void *buffer, std::uint32_t length);

}  // namespace dinfo::platform

#endif  // DINFO_PLATFORM_LINUX_FILE_HANDLE_H
