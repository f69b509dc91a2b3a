// Block scrambling: the writer's scrambler and UnscrambleBlock are exact
// inverses for every key and length, the word-at-a-time restore agrees
// byte for byte with a plain one-step-a-byte one, and bad arguments change
// nothing.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "common/scramble.h"
#include "writer/writer.h"

namespace dinfo::test {
namespace {

TEST(ScrambleTest, RoundTripsEveryLengthAndKey) {
  std::mt19937 random(7);
  for (std::size_t length = 4; length <= 260; length += 4) {
    writer::Bytes plain(length);
    for (auto &byte : plain) byte = static_cast<std::uint8_t>(random());
    const auto key = static_cast<std::uint32_t>(random());
    writer::Bytes block = plain;
    writer::ScrambleBlock(block, key);
    if (length > 8) {
      EXPECT_NE(block, plain);
    }
    EXPECT_EQ(RecoverScrambleKey(block.data(), static_cast<std::int32_t>(length)), key) << length;
    ASSERT_EQ(UnscrambleBlock(block.data(), static_cast<std::int32_t>(length)), 0);
    EXPECT_TRUE(std::equal(block.begin(), block.end() - 4, plain.begin())) << length;
  }
  std::uint8_t odd[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(RecoverScrambleKey(odd, 6), 0u);
}

// With only a trailer the lane sums are 0, the key bytes are the trailer as
// stored and the check sum keeps its start value 0x5E3A91C7.
TEST(ScrambleTest, TrailerOnlyIsRewrittenFromTheStartSum) {
  std::uint8_t block[4] = {0x10, 0x20, 0x30, 0x40};
  ASSERT_EQ(UnscrambleBlock(block, 4), 0);
  EXPECT_EQ(block[0], std::uint8_t(0x10 - 0x3A));
  EXPECT_EQ(block[1], std::uint8_t(0x20 - 0xC7));
  EXPECT_EQ(block[2], std::uint8_t(0x40 - 0x5E));
  EXPECT_EQ(block[3], std::uint8_t(0x30 - 0x91));
}

// The key register: 0x80000001 shifts to 0x00000002 and feeds back
// bit 31 XOR bit 30 of the shifted value (0 and 0).
TEST(ScrambleTest, KeyStreamFeedsBackTheTopBits) {
  EXPECT_EQ(AdvanceKey(0x80000001u), 0x00000002u);
  EXPECT_EQ(AdvanceKey(0x40000000u), 0x80000001u);
  EXPECT_EQ(AdvanceKey(0x60000000u), 0xC0000000u);
  std::uint8_t block[8] = {0, 0, 0, 0, 0x01, 0x00, 0x00, 0x00};  // key 0x00010000
  ASSERT_EQ(UnscrambleBlock(block, 8), 0);
  EXPECT_EQ(block[0], 0x00);  // low byte of the key, then the register moves on
  EXPECT_EQ(block[1], 0x00);
}

// The restore written the plain way: three passes, one register step a byte.
void ReferenceUnscramble(std::uint8_t *block, std::size_t length) {
  const std::size_t dataLength = length - 4;
  std::array<std::uint8_t, 4> lanes{};
  for (std::size_t i = 0; i < dataLength; ++i) lanes[i % 4] = std::uint8_t(lanes[i % 4] + block[i]);
  std::uint8_t *trailer = block + dataLength;
  const std::uint8_t t0 = trailer[0] ^ lanes[0], t1 = trailer[1] ^ lanes[3];
  const std::uint8_t t2 = trailer[2] ^ lanes[1], t3 = trailer[3] ^ lanes[2];
  std::uint32_t key = (std::uint32_t{t2} << 24) | (std::uint32_t{t0} << 16) | (std::uint32_t{t1} << 8) | t3;
  for (std::size_t i = 0; i < dataLength; ++i) {
    block[i] ^= std::uint8_t(key);
    const std::uint32_t shifted = key << 1;
    key = shifted | (((shifted >> 31) ^ (shifted >> 30)) & 1u);
  }
  std::uint32_t sum = 0x5E3A91C7u;
  for (std::size_t i = 0; i < dataLength; i += 4) {
    sum += 23u * block[i] + 249u * block[i + 1] + 41u * (block[i + 2] % 13u) + 71u * block[i + 3] + 9u;
  }
  trailer[0] = std::uint8_t(t0 - (sum >> 16));
  trailer[1] = std::uint8_t(t1 - sum);
  trailer[2] = std::uint8_t(t3 - (sum >> 24));
  trailer[3] = std::uint8_t(t2 - (sum >> 8));
}

// Lengths around the 31-group key history and the 256-group chunks, random
// ones up to several KiB, contents from all-zero to all-0xFF (the packed
// lane sums at their largest), and blocks that start at every alignment.
TEST(ScrambleTest, AgreesWithTheOneStepAByteRestore) {
  std::mt19937 random(11);
  std::vector<std::size_t> lengths;
  for (std::size_t length = 4; length <= 1200; length += 4) lengths.push_back(length);
  for (std::size_t chunks = 1; chunks <= 9; ++chunks) {
    for (int delta = -8; delta <= 8; delta += 4) lengths.push_back(chunks * 1024 + 124 + std::size_t(4 + delta));
  }
  for (int i = 0; i < 200; ++i) lengths.push_back(4 * (1 + random() % 3000));
  lengths.push_back(1 << 20);
  std::vector<std::uint8_t> storage((1 << 20) + 16);
  for (std::size_t n = 0; n < lengths.size(); ++n) {
    const std::size_t length = lengths[n];
    const std::size_t offset = n % 8;
    // 0: random; 1: zero; 2: 0xFF stored; 3: 12..14 runs; 4: bytes 0..255;
    // 5: 0xFF restored (scrambled from 0xFF with a random key)
    const int fill = int(n % 6);
    std::uint8_t *block = storage.data() + offset;
    for (std::size_t i = 0; i < length; ++i) {
      block[i] = fill == 0 ? std::uint8_t(random()) : fill == 1 ? 0 : fill == 2 || fill == 5 ? 0xFF
               : fill == 3 ? std::uint8_t(12 + i % 3) : std::uint8_t(i);
    }
    if (fill == 5) {
      writer::Bytes plain(block, block + length);
      writer::ScrambleBlock(plain, static_cast<std::uint32_t>(random()));
      std::copy(plain.begin(), plain.end(), block);
    }
    std::vector<std::uint8_t> expected(block, block + length);
    ReferenceUnscramble(expected.data(), length);
    ASSERT_EQ(UnscrambleBlock(block, static_cast<std::int32_t>(length)), 0);
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), block))
        << "length " << length << " offset " << offset << " fill " << fill;
  }
}

TEST(ScrambleTest, BadArgumentsLeaveTheBlockUntouched) {
  std::uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const writer::Bytes before(block, block + 8);
  EXPECT_EQ(UnscrambleBlock(block, 6), ScrambleBadArgument);
  EXPECT_EQ(UnscrambleBlock(block, 0), ScrambleBadArgument);
  EXPECT_EQ(UnscrambleBlock(block, -8), ScrambleBadArgument);
  EXPECT_EQ(UnscrambleBlock(nullptr, 8), ScrambleBadArgument);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), block));
}

TEST(ScrambleTest, SameStoredBytesRestoreAlike) {
  writer::Bytes a(64, 0x5A);
  writer::ScrambleBlock(a, 0xCAFEF00Du);
  writer::Bytes b = a;
  UnscrambleBlock(a.data(), 64);
  UnscrambleBlock(b.data(), 64);
  EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace dinfo::test
