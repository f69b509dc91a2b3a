// The loops that work a word at a time agree with the plain way of doing
// the same: SwapBytes with a unit-by-unit reversal, RestoreDeltas with the
// writer's own delta coding, for every width, both byte orders, odd and
// even counts.
#include <algorithm>
#include <random>

#include "table_support.h"

namespace dinfo::test {
namespace {

TEST(SwapBytesTest, ReversesEveryUnitAndNothingElse) {
  std::mt19937 random(17);
  for (std::int32_t width : {2, 3, 4, 8}) {
    for (std::int32_t count = -1; count <= 41; ++count) {
      Bytes bytes(std::size_t(std::max(count, 0) * width + 8));
      for (auto &byte : bytes) byte = static_cast<std::uint8_t>(random());
      Bytes expected = bytes;
      if (width == 2 || width == 4) {
        for (std::int32_t u = 0; u < count; ++u) {
          std::reverse(expected.begin() + 1 + u * width, expected.begin() + 1 + (u + 1) * width);
        }
      }
      SwapBytes(bytes.data() + 1, width, count);  // units need no alignment
      EXPECT_EQ(bytes, expected) << "width " << width << ", count " << count;
    }
  }
  SwapBytes(nullptr, 4, 3);
}

// Typed arrays of widths 1, 2 and 4 with random values and a raw run,
// delta-coded by the writer, come back as the writer's prepared form.
TEST(RestoreDeltasTest, AgreesWithTheWriterForEveryWidthAndOrder) {
  std::mt19937 random(23);
  for (bool bigEndian : {false, true}) {
    for (std::int64_t count : {1, 2, 3, 7, 8, 9, 64, 1001}) {
      TableDescription described;
      described.bigEndian = bigEndian;
      described.deltaCoded = true;
      for (std::int32_t width : {1, 2, 4}) {
        std::vector<std::int64_t> values(static_cast<std::size_t>(count));
        for (auto &value : values) value = static_cast<std::int64_t>(random());
        described.entries.push_back(writer::TypedArray(width, values));
      }
      Bytes run(static_cast<std::size_t>(count));
      for (auto &byte : run) byte = static_cast<std::uint8_t>(random());
      described.entries.push_back(writer::RawRun(run));
      const writer::EncodedTable table = writer::EncodeTable(described);
      Block block = ToBlock(table.stored);
      ASSERT_EQ(RestoreDeltas(block), Fault::None);
      EXPECT_EQ(Bytes(block.begin(), block.end()), table.prepared)
          << (bigEndian ? "big-endian, " : "little-endian, ") << count << " elements";
      ReleaseBlock(block);
    }
  }
}

}  // namespace
}  // namespace dinfo::test
