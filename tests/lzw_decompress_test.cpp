// DecompressTableObject: compressed table objects come back expanded in a
// new block, in their stored byte order; every bad object or failed
// allocation gives null with nothing held, and the stored block is never
// touched.
#include <gtest/gtest.h>

#include <algorithm>

#include <random>

#include "each_failure.h"
#include "lzw_reference.h"
#include "platform/test_seam.h"
#include "tableobj/table_object.h"
#include "writer/lzw_encoder.h"

namespace dinfo::test {
namespace {

using writer::Bytes;

constexpr std::uint32_t Magic = 0x50178516u;

void PutWord(Bytes &bytes, std::size_t at, std::uint32_t value, bool swapped) {
  for (int k = 0; k < 4; ++k) {
    const int shift = swapped ? 24 - 8 * k : 8 * k;
    bytes[at + std::size_t(k)] = static_cast<std::uint8_t>(value >> shift);
  }
}
std::uint32_t GetWord(const std::uint8_t *at, bool swapped) {
  std::uint32_t value = 0;
  for (int k = 0; k < 4; ++k) {
    const int shift = swapped ? 24 - 8 * k : 8 * k;
    value |= std::uint32_t{at[k]} << shift;
  }
  return value;
}

// A stored object: header, then the body as given, padded to 8 bytes.
Bytes StoredObject(const Bytes &body, std::int32_t descriptorCount, std::uint32_t flags,
                   bool swapped = false) {
  Bytes object((16 + body.size() + 7) / 8 * 8, 0);
  std::copy(body.begin(), body.end(), object.begin() + 16);
  PutWord(object, 0, Magic, swapped);
  PutWord(object, 4, static_cast<std::uint32_t>(object.size()), swapped);
  PutWord(object, 8, static_cast<std::uint32_t>(descriptorCount), swapped);
  PutWord(object, 12, flags, swapped);
  return object;
}

// A plain body: descriptors, then data.
Bytes PlainBody(std::size_t descriptors, std::size_t dataBytes, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes body(8 * descriptors + dataBytes);
  for (std::size_t i = 0; i < body.size(); ++i) {
    body[i] = static_cast<std::uint8_t>(i < 8 * descriptors ? random() : (i / 64) + random() % 4);
  }
  return body;
}

class DecompressTest : public ::testing::Test {
 protected:
  void SetUp() override { blocks_ = seam::LiveBlocks(); }
  void TearDown() override { EXPECT_EQ(seam::LiveBlocks(), blocks_); }

  // Expands a copy of `stored`; checks the copy is untouched. Gives the
  // result's bytes, or nothing for null.
  std::optional<Bytes> Expand(const Bytes &stored, std::size_t blockSize = 0) {
    Bytes copy = stored;
    copy.resize(std::max(blockSize, stored.size()));
    const Bytes before = copy;
    const TableInBlock result = DecompressTableObject(Block(copy.data(), stored.size()));
    EXPECT_EQ(copy, before);
    if (result.fault != Fault::None) {
      EXPECT_TRUE(result.object.empty() && result.made.empty());
      return std::nullopt;
    }
    EXPECT_FALSE(result.made.empty());
    EXPECT_EQ(result.object.data(), result.made.get().data());
    return Bytes(result.object.begin(), result.object.end());
  }

  std::int64_t blocks_ = 0;
};

TEST_F(DecompressTest, ExpandsInEitherByteOrder) {
  const Bytes body = PlainBody(3, 5000, 1);
  for (bool swapped : {false, true}) {
    const Bytes stored =
        StoredObject(writer::LzwEncode(body), 3, FlagCompressed | FlagDeltaCoded | 0x5, swapped);
    const auto expanded = Expand(stored);
    ASSERT_TRUE(expanded.has_value());
    ASSERT_EQ(expanded->size(), 16 + body.size());
    EXPECT_EQ(GetWord(expanded->data(), swapped), Magic);
    EXPECT_EQ(GetWord(expanded->data() + 4, swapped), 16 + body.size());
    EXPECT_EQ(GetWord(expanded->data() + 8, swapped), 3u);
    EXPECT_EQ(GetWord(expanded->data() + 12, swapped), FlagDeltaCoded | 0x5);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), expanded->begin() + 16));
  }
}

TEST_F(DecompressTest, ClearThenEndGivesAnEmptyBody) {
  const auto expanded = Expand(StoredObject(PackCodes({ClearCode, EndCode}), 0, FlagCompressed));
  ASSERT_TRUE(expanded.has_value());
  ASSERT_EQ(expanded->size(), 16u);
  EXPECT_EQ(GetWord(expanded->data() + 4, false), 16u);
  EXPECT_EQ(GetWord(expanded->data() + 12, false), 0u);
}

TEST_F(DecompressTest, AnUncompressedObjectIsGivenBack) {
  Bytes stored = StoredObject(PlainBody(1, 8, 2), 1, 0);
  const TableInBlock result = DecompressTableObject(Block(stored.data(), stored.size()));
  EXPECT_EQ(result.fault, Fault::None);
  EXPECT_EQ(result.object.data(), stored.data());
  EXPECT_TRUE(result.made.empty());
}

TEST_F(DecompressTest, RefusesBadObjects) {
  const Bytes good = StoredObject(writer::LzwEncode(PlainBody(1, 64, 3)), 1, FlagCompressed);
  ASSERT_TRUE(Expand(good).has_value());
  auto withSize = [&](std::uint32_t size) {
    Bytes bad = good;
    PutWord(bad, 4, size, false);
    return bad;
  };
  EXPECT_FALSE(Expand(withSize(0xFFFFFFFFu)).has_value());
  EXPECT_FALSE(Expand(withSize(static_cast<std::uint32_t>(good.size()) - 4)).has_value());
  EXPECT_FALSE(Expand(withSize(8)).has_value());
  // A body said to reach past the block it came in.
  EXPECT_FALSE(Expand(withSize(static_cast<std::uint32_t>(good.size()) + 8)).has_value());
  // An empty body is no stream.
  EXPECT_FALSE(Expand(withSize(16)).has_value());
  Bytes badMagic = good;
  badMagic[0] ^= 1;
  EXPECT_FALSE(Expand(badMagic).has_value());
  EXPECT_NE(DecompressTableObject(Block{}).fault, Fault::None);
}

TEST_F(DecompressTest, RefusesABadExpansion) {
  // 41 42: two bytes, not a whole number of 8-byte units.
  EXPECT_FALSE(Expand(StoredObject({0x80, 0x10, 0x48, 0x50, 0x10}, 0, FlagCompressed)));
  // A stream the decoder refuses.
  EXPECT_FALSE(Expand(StoredObject(PackCodes({65, 66, EndCode}), 0, FlagCompressed)));
  // Eight bytes cannot hold two descriptors.
  const Bytes eight = writer::LzwEncode(PlainBody(1, 0, 4));
  EXPECT_TRUE(Expand(StoredObject(eight, 1, FlagCompressed)));
  EXPECT_FALSE(Expand(StoredObject(eight, 2, FlagCompressed)));
}

TEST_F(DecompressTest, EveryFailedAllocationGivesNull) {
  const Bytes body = PlainBody(2, 70000, 5);
  const Bytes stored = StoredObject(writer::LzwEncode(body), 2, FlagCompressed);
  const std::int64_t allocations = InjectEachFailureInTurn(
      &seam::FailAllocationsAfter, [&] { return Expand(stored); },
      [&](std::int64_t n, bool fired, const std::optional<Bytes> &expanded) {
        EXPECT_EQ(expanded.has_value(), !fired) << n;
        if (expanded.has_value()) {
          EXPECT_EQ(expanded->size(), 16 + body.size());
        }
      });
  // The decoder, 1024 bytes, 4 doublings to 16 KiB, then one growth to the
  // whole output's size; the last buffer is the result.
  EXPECT_EQ(allocations, 7);
}

}  // namespace
}  // namespace dinfo::test
