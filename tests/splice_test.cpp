// SpliceNestedTable on its own: the checks that refuse a parent, the
// aligned layout of the rebuilt data area, and byte orders.
#include "table_support.h"

namespace dinfo::test {
namespace {

using writer::InlineEntry;
using writer::NestedTable;
using writer::RawRun;
using writer::TypedArray;

TableDescription Small(bool bigEndian, std::vector<std::int64_t> values) {
  TableDescription described;
  described.bigEndian = bigEndian;
  described.entries = {TypedArray(4, std::move(values))};
  return described;
}

// Raw runs of 0, 5 and 8 bytes, typed arrays of 6 and 8 bytes, an inline
// entry and two nested tables, the first (descriptor 6) to be replaced.
TableDescription Parent(bool bigEndian, const TableDescription &nested) {
  TableDescription described;
  described.bigEndian = bigEndian;
  described.strayFlags = 0x40;
  TableDescription other = Small(!bigEndian, {5, 6, 7});
  other.scrambled = true;
  described.entries = {RawRun({}),          RawRun({1, 2, 3, 4, 5}), RawRun({1, 2, 3, 4, 5, 6, 7, 8}),
                  TypedArray(2, {1, 2, 3}), TypedArray(2, {1, 2, 3, 4}), InlineEntry(0x7777),
                  NestedTable(nested), NestedTable(other), TypedArray(1, {9})};
  described.entries[7].tag = 0xDC001234u;
  described.tailBytes = 8;
  return described;
}

class SpliceTest : public ::testing::Test {
 protected:
  // The splice on library blocks made from the bytes; neither input may
  // change, and only the result may be left (it is copied and released).
  std::optional<Bytes> Splice(const Bytes &outer, std::int32_t index, const Bytes &replacement,
                              bool failAllocation = false) {
    const std::int64_t before = seam::LiveBlocks();
    std::optional<Bytes> out;
    {
      const OwnedBlock outerBlock = ToBlock(outer);
      const OwnedBlock replacementBlock = ToBlock(replacement);
      if (failAllocation) seam::FailAllocationsAfter(0);
      const OwnedBlock result = SpliceNestedTable(outerBlock.get(), index, replacementBlock.get());
      seam::FailAllocationsAfter(-1);
      EXPECT_EQ(Bytes(outerBlock.get().begin(), outerBlock.get().end()), outer);
      EXPECT_EQ(Bytes(replacementBlock.get().begin(), replacementBlock.get().end()), replacement);
      if (!result.empty()) out = Bytes(result.get().begin(), result.get().end());
    }
    EXPECT_EQ(seam::LiveBlocks(), before);
    return out;
  }
};

TEST_F(SpliceTest, RebuildsEveryEntryInTheAlignedLayoutInEitherOrder) {
  for (bool bigEndian : {false, true}) {
    const TableDescription replacement = Small(!bigEndian, {1, 2, 3, 4, 5, 6, 7});
    TableDescription parent = Parent(bigEndian, Small(bigEndian, {0}));
    parent.entries[6].tag = 0xDC0000ABu;
    const auto rebuilt = Splice(writer::EncodeTableObject(parent), 6, writer::EncodeTableObject(replacement));
    ASSERT_TRUE(rebuilt.has_value());
    TableDescription expected = Parent(bigEndian, replacement);
    EXPECT_EQ(*rebuilt, writer::EncodeTableObject(expected));

    const auto location = [&](std::size_t i) { return WordAt(*rebuilt, 20 + 8 * i, bigEndian); };
    EXPECT_EQ(location(1) - location(0), 8u) << "after a raw run of 0 bytes";
    EXPECT_EQ(location(2) - location(1), 8u) << "after a raw run of 5 bytes";
    EXPECT_EQ(location(3) - location(2), 16u) << "after a raw run of 8 bytes";
    EXPECT_EQ(location(4) - location(3), 8u) << "after 6 bytes of array";
    EXPECT_EQ(location(6) - location(4), 8u) << "after 8 bytes of array, and the inline entry";
    EXPECT_EQ(location(5), 0x7777u);
    EXPECT_EQ(WordAt(*rebuilt, 16 + 8 * 6, bigEndian), 0xDC000000u);
    EXPECT_EQ(WordAt(*rebuilt, 16 + 8 * 7, bigEndian), 0xDC001234u);
    EXPECT_EQ(WordAt(*rebuilt, location(6), !bigEndian), TableObjectMagic);
    EXPECT_EQ(WordAt(*rebuilt, 4, bigEndian), rebuilt->size());
  }
}

TEST_F(SpliceTest, AReplacementOfTheSameSizeKeepsTheParentsSize) {
  const Bytes parent = writer::EncodeTableObject(Parent(true, Small(true, {1, 2})));
  const auto rebuilt = Splice(parent, 6, writer::EncodeTableObject(Small(false, {3, 4})));
  ASSERT_TRUE(rebuilt.has_value());
  EXPECT_EQ(rebuilt->size(), parent.size());
  EXPECT_EQ(WordAt(*rebuilt, 4, true), parent.size());
}

TEST_F(SpliceTest, RefusesWhatTheChecksRefuse) {
  const TableDescription described = Parent(false, Small(false, {1, 2}));
  const Bytes parent = writer::EncodeTableObject(described);
  const Bytes replacement = writer::EncodeTableObject(Small(true, {3}));
  const auto changed = [&](std::size_t at, std::uint32_t value, bool bigEndian = false) {
    Bytes bytes = parent;
    PutWord(bytes, at, value, bigEndian);
    return bytes;
  };
  const std::uint32_t nested = WordAt(parent, 20 + 8 * 6, false);

  EXPECT_FALSE(Splice({}, 6, replacement));
  EXPECT_FALSE(Splice(parent, 6, {}));
  EXPECT_FALSE(Splice(changed(0, 0x50178517u), 6, replacement)) << "magic";
  EXPECT_FALSE(Splice(changed(4, 0xFFFFFFFFu), 6, replacement)) << "totalSize -1";
  EXPECT_FALSE(Splice(changed(12, 0x80000040u), 6, replacement)) << "scrambled";
  EXPECT_FALSE(Splice(changed(8, 0xFFFFFFFFu), 6, replacement)) << "descriptorCount";
  EXPECT_FALSE(Splice(parent, -1, replacement));
  EXPECT_FALSE(Splice(parent, 9, replacement));
  for (std::int32_t notNested : {0, 3, 5, 8}) EXPECT_FALSE(Splice(parent, notNested, replacement));
  EXPECT_FALSE(Splice(changed(20 + 8 * 6, 16 + 8 * 9 - 8), 6, replacement)) << "nested in the descriptors";
  EXPECT_FALSE(Splice(changed(4, std::uint32_t(parent.size() - 4)), 6, replacement)) << "totalSize % 8";
  EXPECT_FALSE(Splice(changed(nested, 0x12345678u), 6, replacement)) << "old nested magic";
  EXPECT_FALSE(Splice(changed(nested + 4, 20), 6, replacement)) << "old nested totalSize % 8";
  EXPECT_FALSE(Splice(changed(nested + 4, 0xFFFFFFF8u), 6, replacement)) << "old nested totalSize < 0";
  EXPECT_FALSE(Splice(changed(nested + 4, 0x1000), 6, replacement)) << "old nested past the parent";
  Bytes bad = replacement;
  PutWord(bad, 4, 20, true);
  EXPECT_FALSE(Splice(parent, 6, bad)) << "replacement totalSize % 8";
  PutWord(bad, 4, 0xFFFFFFF8u, true);
  EXPECT_FALSE(Splice(parent, 6, bad)) << "replacement totalSize < 0";
  PutWord(bad, 4, std::uint32_t(replacement.size() + 8), true);
  EXPECT_FALSE(Splice(parent, 6, bad)) << "replacement past its block";
  bad[0] = 0;
  EXPECT_FALSE(Splice(parent, 6, bad)) << "replacement magic";
  EXPECT_FALSE(Splice(parent, 6, replacement, true)) << "no block for the rebuild";
  EXPECT_TRUE(Splice(parent, 6, replacement));
}

TEST_F(SpliceTest, RefusesEntriesTheRebuildCannotCopy) {
  const Bytes parent = writer::EncodeTableObject(Parent(true, Small(true, {1, 2})));
  const Bytes replacement = writer::EncodeTableObject(Small(true, {3}));
  const auto changed = [&](std::size_t at, std::uint32_t value) {
    Bytes bytes = parent;
    PutWord(bytes, at, value, true);
    return bytes;
  };
  const std::uint32_t other = WordAt(parent, 20 + 8 * 7, true);
  EXPECT_FALSE(Splice(changed(16 + 8 * 3, 0), 6, replacement)) << "an invalid tag";
  EXPECT_FALSE(Splice(changed(20 + 8 * 3, std::uint32_t(parent.size() - 2)), 6, replacement))
      << "an array reaching outside";
  EXPECT_FALSE(Splice(changed(20 + 8 * 1, 8), 6, replacement)) << "a raw run in the header";
  EXPECT_FALSE(Splice(changed(other, 0), 6, replacement)) << "another nested table's magic";
  EXPECT_FALSE(Splice(changed(other + 4, 4096), 6, replacement)) << "another nested table's size";
}

// A run packed without the aligned layout's padding before a nested table
// pushes that table's bytes past the new size: such a parent is refused,
// never overrun.
TEST_F(SpliceTest, RefusesAParentLaidOutMoreTightlyThanTheAlignedLayout) {
  const Bytes nested = writer::EncodeTableObject(Small(false, {1}));
  Bytes data = {1, 2, 3, 4, 5, 6, 7, 8};
  data.insert(data.end(), nested.begin(), nested.end());
  const Bytes tight = HandObject(false, {{0x9A000008u, 32}, {0xDC000000u, 40}}, data);
  EXPECT_FALSE(Splice(tight, 1, nested));
  data.insert(data.begin() + 8, 8, 0);
  const Bytes aligned = HandObject(false, {{0x9A000008u, 32}, {0xDC000000u, 48}}, data);
  EXPECT_EQ(Splice(aligned, 1, nested), aligned);
}

}  // namespace
}  // namespace dinfo::test
