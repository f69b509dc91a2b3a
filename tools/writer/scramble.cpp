#include "common/scramble.h"
#include "writer/writer.h"

#include <array>

namespace dinfo::writer {

// XOR-ing the key stream is its own inverse; the trailer then holds each
// key byte masked with the lane sum of the stored (scrambled) data.
void ScrambleBlock(Bytes &block, std::uint32_t key) {
  const std::size_t dataLength = block.size() - 4;
  const auto t2 = static_cast<std::uint8_t>(key >> 24);
  const auto t0 = static_cast<std::uint8_t>(key >> 16);
  const auto t1 = static_cast<std::uint8_t>(key >> 8);
  const auto t3 = static_cast<std::uint8_t>(key);
  for (std::size_t i = 0; i < dataLength; ++i) {
    block[i] ^= static_cast<std::uint8_t>(key);
    key = AdvanceKey(key);
  }
  std::array<std::uint8_t, 4> lanes{};
  for (std::size_t i = 0; i < dataLength; ++i) lanes[i & 3] = static_cast<std::uint8_t>(lanes[i & 3] + block[i]);
  block[dataLength + 0] = t0 ^ lanes[0];
  block[dataLength + 1] = t1 ^ lanes[3];
  block[dataLength + 2] = t2 ^ lanes[1];
  block[dataLength + 3] = t3 ^ lanes[2];
}

}  // namespace dinfo::writer
