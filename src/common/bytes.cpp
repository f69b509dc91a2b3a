#include "common/bytes.h"

#include <cstring>

namespace dinfo {

// One loop per unit size, each unit read and written whole, so that the
// compiler turns it into word and vector operations.
void SwapBytes(void *buffer, std::int32_t unitSize, std::int32_t count) {
  if (buffer == nullptr || count <= 0) return;
  auto *bytes = static_cast<std::uint8_t *>(buffer);
  if (unitSize == 2) {
    for (std::int32_t i = 0; i < count; ++i, bytes += 2) {
      WriteU16LittleEndian(bytes, ReadU16BigEndian(bytes));
    }
  } else if (unitSize == 4) {
    // Two units a 64-bit word: swap the bytes of each half-unit, then the
    // half-units. Shifts and masks vectorise where byte reversal may not.
    std::int32_t i = 0;
    for (; i + 2 <= count; i += 2, bytes += 8) {
      const std::uint64_t value = ReadU64LittleEndian(bytes);
      const std::uint64_t bytesSwapped =
          ((value & 0x00FF00FF00FF00FFu) << 8) | ((value >> 8) & 0x00FF00FF00FF00FFu);
      WriteU64LittleEndian(bytes, ((bytesSwapped & 0x0000FFFF0000FFFFu) << 16) |
                                      ((bytesSwapped >> 16) & 0x0000FFFF0000FFFFu));
    }
    if (i < count) WriteU32LittleEndian(bytes, ReadU32BigEndian(bytes));
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
