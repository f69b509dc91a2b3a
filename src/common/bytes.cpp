#include "common/bytes.h"

#include <cstring>

namespace dinfo {

void SwapBytes(void *buffer, std::int32_t unitSize, std::int32_t count) {
  if (buffer == nullptr || count <= 0 || (unitSize != 2 && unitSize != 4)) return;
  auto *bytes = static_cast<std::uint8_t *>(buffer);
  for (std::int32_t i = 0; i < count; ++i, bytes += unitSize) {
    if (unitSize == 2) {
      WriteU16LittleEndian(bytes, ReadU16BigEndian(bytes));
    } else {
      WriteU32LittleEndian(bytes, ReadU32BigEndian(bytes));
    }
  }
}

// memmove already gives "as the source was" for every overlap, which is what
// the backwards copy of a destination inside the source range guarantees.
void CopyBytes(const void *source, void *destination, std::int32_t length) {
  if (source == nullptr || destination == nullptr || source == destination || length <= 0) {
    return;
  }
  std::memmove(destination, source, static_cast<std::size_t>(length));
}

void FillBytes(void *destination, std::uint8_t byteValue, std::int32_t length) {
  if (destination == nullptr || length <= 0) return;
  std::memset(destination, byteValue, static_cast<std::size_t>(length));
}

}  // namespace dinfo
