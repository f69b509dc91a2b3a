// The DLL's block moves and fills (behind its memcpy, memmove and memset)
// agree with a byte at a time, for every length to 300 and a spread of long
// ones across the 256-bit and string-move thresholds, every pair of 16-byte
// alignments (long blocks: each 32-byte alignment of either end), and moves
// that overlap either way; nothing outside the block changes.
// The processor features read with cpuid agree with the compiler's own.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/cpu_features.h"
#include "platform/windows_block_ops.h"

namespace dinfo::test {
namespace {

using Buffer = std::vector<std::uint8_t>;

constexpr std::size_t Margin = 80;  // bytes before and after each block

std::vector<std::size_t> Lengths() {
  std::vector<std::size_t> lengths;
  for (std::size_t length = 0; length <= 300; ++length) lengths.push_back(length);
  for (std::size_t length : {511u, 512u, 513u, 639u, 767u, 1000u, 2047u, 2048u, 2049u, 4111u, 65543u, 1048579u}) {
    lengths.push_back(length);
  }
  return lengths;
}

Buffer RandomBuffer(std::size_t size, std::mt19937 &random) {
  Buffer buffer(size);
  for (auto &byte : buffer) byte = static_cast<std::uint8_t>(random());
  return buffer;
}

// Long blocks take every source alignment against one destination and
// every destination against one source; short ones all 16 x 16 pairs.
bool TakesAlignments(std::size_t length, std::size_t from, std::size_t to) {
  if (length <= 300) return from < 16 && to < 16;
  return from == 3 || to == 5;
}

TEST(BlockOpsTest, MovesApartMatchAByteAtATime) {
  std::mt19937 random(5);
  for (std::size_t length : Lengths()) {
    const Buffer source = RandomBuffer(length + 2 * Margin, random);
    const Buffer before = RandomBuffer(length + 2 * Margin, random);
    for (std::size_t from = 0; from < 32; ++from) {
      for (std::size_t to = 0; to < 32; ++to) {
        if (!TakesAlignments(length, from, to)) continue;
        Buffer destination = before;
        Buffer expected = before;
        for (std::size_t i = 0; i < length; ++i) expected[Margin + to + i] = source[Margin + from + i];
        BlockMove(destination.data() + Margin + to, source.data() + Margin + from, length);
        ASSERT_EQ(destination, expected) << "length " << length << ", from " << from << ", to " << to;
      }
    }
  }
}

// The destination starts `shift` bytes after (or before) the source, within
// one buffer; the result is the source as it was before the move.
TEST(BlockOpsTest, OverlappingMovesEitherWayKeepTheSource) {
  std::mt19937 random(6);
  const std::vector<std::size_t> shifts = {1, 2, 3, 7, 8, 15, 16, 17, 31, 33, 63, 64, 65, 100, 129, 299};
  for (std::size_t length : Lengths()) {
    const Buffer start = RandomBuffer(length + 2 * Margin + 300, random);
    for (std::size_t shift : shifts) {
      if (shift >= length && length > 0) continue;
      for (std::size_t alignment = 0; alignment < 32; ++alignment) {
        if (length <= 300 ? alignment >= 16 : alignment % 5 != 0) continue;
        for (bool forward : {true, false}) {
          const std::size_t low = Margin + alignment;
          const std::size_t from = forward ? low + shift : low;
          const std::size_t to = forward ? low : low + shift;
          Buffer buffer = start;
          Buffer expected = start;
          for (std::size_t i = 0; i < length; ++i) expected[to + i] = start[from + i];
          BlockMove(buffer.data() + to, buffer.data() + from, length);
          ASSERT_EQ(buffer, expected) << "length " << length << ", shift " << shift << ", alignment "
                                      << alignment << (forward ? ", down" : ", up");
        }
      }
    }
  }
}

TEST(BlockOpsTest, FillsMatchAByteAtATime) {
  std::mt19937 random(7);
  for (std::size_t length : Lengths()) {
    const Buffer before = RandomBuffer(length + 2 * Margin, random);
    for (std::size_t to = 0; to < 32; ++to) {
      if (length <= 300 ? to >= 16 : to % 5 != 0) continue;
      for (int value : {0x00, 0xA5, 0x1FF}) {
        Buffer buffer = before;
        Buffer expected = before;
        for (std::size_t i = 0; i < length; ++i) expected[Margin + to + i] = std::uint8_t(value);
        BlockFill(buffer.data() + Margin + to, value, length);
        ASSERT_EQ(buffer, expected) << "length " << length << ", to " << to << ", value " << value;
      }
    }
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
TEST(CpuFeaturesTest, Avx2AgreesWithTheCompilersOwnCheck) {
  __builtin_cpu_init();
  EXPECT_EQ(CpuHasAvx2(), __builtin_cpu_supports("avx2") != 0);
  EXPECT_EQ(CpuHasAvx2(), CpuHasAvx2());
}
#endif

}  // namespace
}  // namespace dinfo::test
