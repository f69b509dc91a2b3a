// The loops that work a word at a time agree with the plain way of doing
// the same: SwapBytes with a unit-by-unit reversal, RestoreDeltas with the
// writer's own delta coding, for every width, both byte orders, odd and
// even counts, and the running sum with every choice of vectors against
// one taken a byte at a time.
#include <algorithm>
#include <random>

#include "table_support.h"
#include "tableobj/running_sum.h"

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
      const OwnedBlock block = ToBlock(table.stored);
      ASSERT_EQ(RestoreDeltas(block.get()), Fault::None);
      EXPECT_EQ(Bytes(block.get().begin(), block.get().end()), table.prepared)
          << (bigEndian ? "big-endian, " : "little-endian, ") << count << " elements";
    }
  }
}

// The running sum as the format states it: each element assembled from its
// bytes in the object's order, added, and taken apart again.
void RunningSumByteAtATime(std::uint8_t *data, std::int64_t count, std::int32_t width, bool bigEndian) {
  std::uint32_t sum = 0;
  for (std::int64_t k = 0; k < count; ++k) {
    std::uint8_t *element = data + k * width;
    std::uint32_t value = 0;
    for (std::int32_t b = 0; b < width; ++b) {
      value |= std::uint32_t{element[bigEndian ? width - 1 - b : b]} << (8 * b);
    }
    sum += value;
    for (std::int32_t b = 0; b < width; ++b) {
      element[bigEndian ? width - 1 - b : b] = static_cast<std::uint8_t>(sum >> (8 * b));
    }
  }
}

// Every count from 0 to 300 elements, and long arrays (many vectors and a
// tail) at each of 32 alignments, and one longer; the bytes around the
// array stay.
TEST(RunningSumTest, EveryChoiceOfVectorsAgreesWithAByteAtATime) {
  std::vector<SumVectors> choices = {SumVectors::None, SumVectors::Plain};
  if (WidestSumVectors() == SumVectors::Wide) choices.push_back(SumVectors::Wide);
  std::vector<std::pair<std::int64_t, std::int32_t>> cases;  // count, alignment
  for (std::int64_t count = 0; count <= 300; ++count) cases.emplace_back(count, std::int32_t(count % 7));
  for (std::int64_t count : {4093, 20011}) {
    for (std::int32_t alignment = 0; alignment < 32; ++alignment) cases.emplace_back(count, alignment);
  }
  cases.emplace_back(300007, 5);  // past the size from which the loops fetch ahead
  constexpr std::size_t Margin = 40;
  std::mt19937 random(29);
  for (SumVectors vectors : choices) {
    for (std::int32_t width : {1, 2, 4}) {
      for (bool bigEndian : {false, true}) {
        const ByteOrder order = bigEndian ? ByteOrder::Swapped : ByteOrder::Native;
        for (const auto &[count, alignment] : cases) {
          Bytes bytes(std::size_t(count * width) + 2 * Margin);
          for (auto &byte : bytes) byte = static_cast<std::uint8_t>(random());
          Bytes expected = bytes;
          const std::size_t start = Margin + std::size_t(alignment);
          RunningSumByteAtATime(expected.data() + start, count, width, bigEndian);
          RunningSumWith(vectors, bytes.data() + start, count, width, order);
          ASSERT_EQ(bytes, expected) << "vectors " << int(vectors) << ", width " << width
                                     << (bigEndian ? ", big-endian" : "") << ", count " << count
                                     << ", alignment " << alignment;
        }
      }
    }
  }
}

}  // namespace
}  // namespace dinfo::test
