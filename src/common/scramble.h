// Block scrambling. A scrambled block ends in a four-byte trailer that holds
// the key bytes, each masked with the sum of one lane of the stored bytes;
// the key seeds a 32-bit shift register whose low byte is XOR-ed onto each
// data byte. After restoring, the trailer is rewritten with a check sum of
// the restored data folded into the key bytes.
#ifndef DINFO_COMMON_SCRAMBLE_H
#define DINFO_COMMON_SCRAMBLE_H

#include <cstdint>

namespace dinfo {

constexpr std::int32_t ScrambleBadArgument = -128;
constexpr std::uint32_t ScrambleCheckSumStart = 0x5E3A91C7u;

// Restores `length` bytes at `block` in place. 0, or ScrambleBadArgument
// (block untouched) for no block or a length that is below 4 or not a
// multiple of 4.
std::int32_t UnscrambleBlock(std::uint8_t *block, std::int32_t length);

// The key a scrambled block of `length` bytes was scrambled with, read from
// its trailer; 0 for no block or a length that UnscrambleBlock refuses.
std::uint32_t RecoverScrambleKey(const std::uint8_t *block, std::int32_t length);

// One step of the key register: shift left, feed back bit 31 XOR bit 30 of
// the shifted value into bit 0.
constexpr std::uint32_t AdvanceKey(std::uint32_t key) {
  std::uint32_t shifted = key << 1;
  return shifted | (((shifted >> 31) ^ (shifted >> 30)) & 1u);
}

}  // namespace dinfo

#endif  // DINFO_COMMON_SCRAMBLE_H
