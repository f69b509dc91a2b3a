// Byte helpers shared by every subsystem: the three block operations the
// format's readers are written in, and byte-order-named integer reads and
// writes that copy instead of casting file pointers.
#ifndef DINFO_COMMON_BYTES_H
#define DINFO_COMMON_BYTES_H

#include <bit>
#include <cstdint>
#include <cstring>

namespace dinfo {

// Reverses the bytes of each of `count` units of `unitSize` bytes, in place.
// Only unit sizes 2 and 4 do anything; null or a count of 0 or less does
// nothing.
void SwapBytes(void *buffer, std::int32_t unitSize, std::int32_t count);

// Copies `length` bytes; overlapping ranges come out as the source was.
// Null pointers, equal pointers or a length of 0 or less do nothing.
void CopyBytes(const void *source, void *destination, std::int32_t length);

// Sets `length` bytes to `byteValue`; a length of 0 or less does nothing.
void FillBytes(void *destination, std::uint8_t byteValue, std::int32_t length);

// Reverse the byte order of a value; compilers make each one instruction.
// The reads and writes below copy whole units, so that loops over them
// vectorise; the byte order is fixed by the name, not by the machine.
constexpr std::uint16_t ReverseBytes16(std::uint16_t value) {
  return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}
constexpr std::uint32_t ReverseBytes32(std::uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
         (value << 24);
}
constexpr std::uint64_t ReverseBytes64(std::uint64_t value) {
  return (std::uint64_t{ReverseBytes32(static_cast<std::uint32_t>(value))} << 32) |
         ReverseBytes32(static_cast<std::uint32_t>(value >> 32));
}

inline std::uint16_t ReadU16LittleEndian(const std::uint8_t *p) {
  std::uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return std::endian::native == std::endian::little ? value : ReverseBytes16(value);
}
inline std::int16_t ReadI16LittleEndian(const std::uint8_t *p) {
  return static_cast<std::int16_t>(ReadU16LittleEndian(p));
}
inline std::uint32_t ReadU32LittleEndian(const std::uint8_t *p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return std::endian::native == std::endian::little ? value : ReverseBytes32(value);
}
inline std::int32_t ReadI32LittleEndian(const std::uint8_t *p) {
  return static_cast<std::int32_t>(ReadU32LittleEndian(p));
}
inline std::uint64_t ReadU64LittleEndian(const std::uint8_t *p) {
  std::uint64_t value;
  std::memcpy(&value, p, sizeof value);
  return std::endian::native == std::endian::little ? value : ReverseBytes64(value);
}
inline std::uint16_t ReadU16BigEndian(const std::uint8_t *p) {
  return ReverseBytes16(ReadU16LittleEndian(p));
}
inline std::uint32_t ReadU32BigEndian(const std::uint8_t *p) {
  return ReverseBytes32(ReadU32LittleEndian(p));
}
inline std::uint64_t ReadU64BigEndian(const std::uint8_t *p) {
  return ReverseBytes64(ReadU64LittleEndian(p));
}
inline void WriteU16LittleEndian(std::uint8_t *p, std::uint16_t value) {
  if constexpr (std::endian::native != std::endian::little) value = ReverseBytes16(value);
  std::memcpy(p, &value, sizeof value);
}
inline void WriteU16BigEndian(std::uint8_t *p, std::uint16_t value) {
  WriteU16LittleEndian(p, ReverseBytes16(value));
}
inline void WriteU32LittleEndian(std::uint8_t *p, std::uint32_t value) {
  if constexpr (std::endian::native != std::endian::little) value = ReverseBytes32(value);
  std::memcpy(p, &value, sizeof value);
}
inline void WriteU64LittleEndian(std::uint8_t *p, std::uint64_t value) {
  if constexpr (std::endian::native != std::endian::little) value = ReverseBytes64(value);
  std::memcpy(p, &value, sizeof value);
}
inline void WriteU32BigEndian(std::uint8_t *p, std::uint32_t value) {
  WriteU32LittleEndian(p, ReverseBytes32(value));
}

}  // namespace dinfo

#endif  // DINFO_COMMON_BYTES_H
