// Block scrambling: the writer's scrambler and UnscrambleBlock are exact
// inverses for every key and length, and bad arguments change nothing.
#include <gtest/gtest.h>

#include <random>

#include "infofile/scramble.h"
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
    ASSERT_EQ(UnscrambleBlock(block.data(), static_cast<std::int32_t>(length)), 0);
    EXPECT_TRUE(std::equal(block.begin(), block.end() - 4, plain.begin())) << length;
  }
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
