// Small reads through a handle's windows (see linux_file_handle.h).
#if !defined(_WIN32)

#include "platform/linux_file_handle.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace dinfo::platform {
namespace {

// How many of `length` bytes at `position` the window holds, counting only
// up to the end of the file when the window reaches it; -1 when it cannot
// serve the read.
std::int64_t BytesHeld(const ReadWindow &window, off_t position, std::uint32_t length) {
  const off_t end = window.start + static_cast<off_t>(window.length);
  if (position < window.start || position > end) return -1;
  if (position + static_cast<off_t>(length) <= end) return length;
  return window.reachesEnd ? end - position : -1;
}

ReadWindow *WindowHolding(FileHandle *file, off_t position, std::uint32_t length) {
  for (ReadWindow &window : file->windows) {
    if (BytesHeld(window, position, length) >= 0) return &window;
  }
  return nullptr;
}

ReadWindow *WindowUsedLongestAgo(FileHandle *file) {
  ReadWindow *oldest = &file->windows[0];
  for (ReadWindow &window : file->windows) {
    if (window.lastUse < oldest->lastUse) oldest = &window;
  }
  return oldest;
}

}  // namespace

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

bool LoadWindow(FileHandle *file, off_t start, ReadWindow **loaded) {
  ReadWindow *window = WindowUsedLongestAgo(file);
  const ssize_t got = ReadAt(file->descriptor, window->bytes, WindowBytes, start);
  window->start = start;
  window->length = got < 0 ? 0 : static_cast<std::uint32_t>(got);
  window->reachesEnd = got >= 0 && window->length < WindowBytes;
  window->lastUse = ++file->uses;
  *loaded = window;
  return got >= 0;
}

ssize_t ReadThroughWindows(FileHandle *file, void *buffer, std::uint32_t length) {
  if (length == 0) return 0;
  if (length > LargestWindowedRead) {
    return ReadAt(file->descriptor, buffer, length, file->position);
  }
  ReadWindow *window = WindowHolding(file, file->position, length);
  if (window == nullptr) {
    const off_t start = file->position - file->position % WindowAlign;
    if (!LoadWindow(file, start, &window)) return -1;
  }
  window->lastUse = ++file->uses;
  const std::int64_t held = BytesHeld(*window, file->position, length);
  if (held <= 0) return 0;
  std::memcpy(buffer, window->bytes + (file->position - window->start),
              static_cast<std::size_t>(held));
  return static_cast<ssize_t>(held);
}

}  // namespace dinfo::platform

#endif  // !_WIN32
