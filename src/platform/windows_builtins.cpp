// The DLL links no C runtime, yet the compiler turns block copies, struct
// copies, zero fills and byte-counting loops into calls to memcpy, memmove,
// memset and strlen; these are the library's own (the block ones in
// windows_block_ops.cpp). They are built without loop-to-call rewriting
// (see cmake/windows_dll.cmake), which would turn a loop back into a call to
// itself.
#if defined(_WIN32)

#include <cstddef>

#include "platform/windows_block_ops.h"

extern "C" {

void *memmove(void *destination, const void *source, std::size_t length) {
  return dinfo::BlockMove(destination, source, length);
}

// A move serves as the copy: telling overlap apart costs a compare.
void *memcpy(void *destination, const void *source, std::size_t length) {
  return dinfo::BlockMove(destination, source, length);
}

void *memset(void *destination, int byteValue, std::size_t length) {
  return dinfo::BlockFill(destination, byteValue, length);
}

std::size_t strlen(const char *text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

}  // extern "C"

#endif  // _WIN32
