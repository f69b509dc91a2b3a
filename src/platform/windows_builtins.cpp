// The DLL links no C runtime, yet the compiler turns block copies, struct
// copies, zero fills and byte-counting loops into calls to memcpy, memmove,
// memset and strlen; these are the library's own. They are built without loop-to-call rewriting (see
// cmake/windows_dll.cmake), which would turn each loop back into a call to
// itself.
#if defined(_WIN32)

#include <cstddef>
#include <cstdint>

namespace {

using Bytes = unsigned char;

// A copy from the front is safe unless the destination starts inside the
// source; then it runs from the end backwards.
void MoveBytes(Bytes *destination, const Bytes *source, std::size_t length) {
  const auto to = reinterpret_cast<std::uintptr_t>(destination);
  const auto from = reinterpret_cast<std::uintptr_t>(source);
  if (to == from || length == 0) return;
  if (to - from >= length) {
    for (std::size_t i = 0; i < length; ++i) destination[i] = source[i];
  } else {
    for (std::size_t i = length; i > 0; --i) destination[i - 1] = source[i - 1];
  }
}

}  // namespace

extern "C" {

void *memmove(void *destination, const void *source, std::size_t length) {
  MoveBytes(static_cast<Bytes *>(destination), static_cast<const Bytes *>(source), length);
  return destination;
}

void *memcpy(void *destination, const void *source, std::size_t length) {
  MoveBytes(static_cast<Bytes *>(destination), static_cast<const Bytes *>(source), length);
  return destination;
}

void *memset(void *destination, int byteValue, std::size_t length) {
  auto *bytes = static_cast<Bytes *>(destination);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<Bytes>(byteValue);
  return destination;
}

std::size_t strlen(const char *text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

}  // extern "C"

#endif  // _WIN32
