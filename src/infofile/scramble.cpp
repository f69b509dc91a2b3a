#include "infofile/scramble.h"

#include <array>

namespace dinfo {
namespace {

using Lanes = std::array<std::uint8_t, 4>;

Lanes SumLanes(const std::uint8_t *data, std::int32_t dataLength) {
  Lanes sums{};
  for (std::int32_t i = 0; i < dataLength; ++i) sums[i & 3] = static_cast<std::uint8_t>(sums[i & 3] + data[i]);
  return sums;
}

std::uint32_t CheckSum(const std::uint8_t *data, std::int32_t dataLength) {
  std::uint32_t sum = ScrambleCheckSumStart;
  for (std::int32_t i = 0; i < dataLength; i += 4) {
    sum += 23u * data[i] + 249u * data[i + 1] + 41u * (data[i + 2] % 13u) + 71u * data[i + 3] + 9u;
  }
  return sum;
}

}  // namespace

std::int32_t UnscrambleBlock(std::uint8_t *block, std::int32_t length) {
  if (block == nullptr || length < 4 || length % 4 != 0) return ScrambleBadArgument;
  const std::int32_t dataLength = length - 4;
  std::uint8_t *trailer = block + dataLength;

  const Lanes lanes = SumLanes(block, dataLength);
  const std::uint8_t t0 = trailer[0] ^ lanes[0];
  const std::uint8_t t1 = trailer[1] ^ lanes[3];
  const std::uint8_t t2 = trailer[2] ^ lanes[1];
  const std::uint8_t t3 = trailer[3] ^ lanes[2];

  std::uint32_t key = (std::uint32_t{t2} << 24) | (std::uint32_t{t0} << 16) |
                      (std::uint32_t{t1} << 8) | t3;
  for (std::int32_t i = 0; i < dataLength; ++i) {
    block[i] ^= static_cast<std::uint8_t>(key);
    key = AdvanceKey(key);
  }

  const std::uint32_t sum = CheckSum(block, dataLength);
  trailer[0] = static_cast<std::uint8_t>(t0 - (sum >> 16));
  trailer[1] = static_cast<std::uint8_t>(t1 - sum);
  trailer[2] = static_cast<std::uint8_t>(t3 - (sum >> 24));
  trailer[3] = static_cast<std::uint8_t>(t2 - (sum >> 8));
  return 0;
}

}  // namespace dinfo
