// Compressed nested tables whose expansion is written straight into the
// rebuilt parent: those that expand well and hold no nested tables. The
// others (expanding little, holding nested tables, with tables that do
// not stay plain) are expanded into blocks of their own first; either way
// the table comes back as the writer prepares it, and a call holds about
// the table and its record at its peak.
#include "lzw_reference.h"
#include "table_support.h"

namespace dinfo::test {
namespace {

using writer::InlineEntry;
using writer::NestedTable;
using writer::RawRun;
using writer::TypedArray;

// `count` samples of a smooth curve, which compress many times over once
// delta-coded.
std::vector<std::int64_t> Curve(std::int32_t count) {
  std::vector<std::int64_t> values(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) values[std::size_t(i)] = (i * 7 + (i / 97) % 5) & 0xFFFF;
  return values;
}

TableDescription CompressedCurve(bool bigEndian, std::int32_t count, bool deltaCoded) {
  TableDescription described;
  described.bigEndian = bigEndian;
  described.scrambled = true;
  described.compressed = true;
  described.deltaCoded = deltaCoded;
  described.entries = {TypedArray(2, Curve(count)), RawRun(Bytes(40000, 9)), TypedArray(4, Curve(count / 4))};
  return described;
}

// Bytes that LZW cannot shrink.
Bytes RandomBytes(std::size_t length) {
  Bytes bytes(length);
  std::uint32_t random = 99;
  for (std::uint8_t &byte : bytes) byte = static_cast<std::uint8_t>((random = random * 1103515245u + 12345u) >> 24);
  return bytes;
}

class ExpandedInPlaceTest : public TableFileTest {
 protected:
  // DIGetTable on the stored table; the table's bytes, and the most the
  // call held at once beyond what was held before it.
  std::optional<Bytes> GetMeasured(const Bytes &stored, std::int64_t *peak) {
    Write("info.dat", writer::Finish(FileWithTable(stored)));
    const std::int64_t before = seam::LiveBytes();
    seam::ResetPeakLiveBytes();
    void *table = DIGetTable("info.dat", Folder(), 1, nullptr, 0);
    *peak = seam::PeakLiveBytes() - before;
    std::optional<Bytes> bytes;
    if (table != nullptr) bytes = TableBytes(table);
    DIFreeTable(table);
    ExpectNothingHeld();
    return bytes;
  }
};

// Every way a compressed nested table goes, side by side in one parent:
// expanded in place (both orders, delta-coded or not, a raw run of one
// byte, thousands of inline descriptors), and into a block of its own
// (random bytes, a nested table inside, a table too small to measure).
TEST_F(ExpandedInPlaceTest, EveryKindOfCompressedNestedTableComesBackAsTheWriterPreparesIt) {
  TableDescription inlines;
  inlines.compressed = true;
  inlines.entries.assign(2500, InlineEntry(7));
  inlines.entries.push_back(RawRun(Bytes(100000, 3)));
  TableDescription random;
  random.compressed = true;
  random.entries = {RawRun(RandomBytes(70000))};
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    TableDescription holder = CompressedCurve(!bigEndian, 30000, true);
    holder.entries.push_back(NestedTable(CompressedCurve(bigEndian, 20000, false)));
    TableDescription parent;
    parent.bigEndian = bigEndian;
    parent.scrambled = true;
    parent.deltaCoded = true;
    parent.entries = {TypedArray(2, {1, 2, 3}),
                      NestedTable(CompressedCurve(bigEndian, 100000, true)),
                      RawRun({1, 2, 3, 4, 5}),
                      NestedTable(CompressedCurve(!bigEndian, 60000, false)),
                      InlineEntry(0x1234),
                      NestedTable(inlines),
                      NestedTable(random),
                      NestedTable(holder),
                      NestedTable(CompressedCurve(bigEndian, 100, true)),
                      TypedArray(1, {5, 6, 7})};
    EXPECT_EQ(GetStoredTable(parent), writer::PreparedTableObject(parent));
  }
}

// Two halves of 1.5 MB, and a table of 22 MB 240 levels down: at its peak
// a call holds the table and the record it reads, and little else.
TEST_F(ExpandedInPlaceTest, ACallHoldsTheTableAndItsRecordAtItsPeak) {
  constexpr std::int64_t Slack = 1 << 20;
  for (bool bigEndian : {false, true}) {
    TableDescription parent;
    parent.bigEndian = bigEndian;
    parent.scrambled = true;
    parent.entries = {TypedArray(4, {1, 2, 3}), NestedTable(CompressedCurve(bigEndian, 750000, true)),
                      NestedTable(CompressedCurve(!bigEndian, 750000, true))};
    const writer::EncodedTable encoded = writer::EncodeTable(parent);
    std::int64_t peak = 0;
    EXPECT_EQ(GetMeasured(encoded.stored, &peak), encoded.prepared);
    EXPECT_LE(peak, std::int64_t(encoded.prepared.size() + encoded.stored.size()) + Slack) << bigEndian;
  }
  Bytes object = HandObject(false, {}, ZeroRounds(3), 0, FlagCompressed);
  object.resize((object.size() + 7) / 8 * 8);
  PutWord(object, 4, static_cast<std::uint32_t>(object.size()), false);
  for (int level = 0; level < 240; ++level) object = HandObject(level % 2 == 0, {{0xDC000000u, 24}}, object);
  std::int64_t peak = 0;
  const std::optional<Bytes> table = GetMeasured(object, &peak);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->size(), 16 + std::size_t{7370880} * 3 + 24 * 240);
  EXPECT_LE(peak, std::int64_t(table->size() + object.size()) + Slack);
}

// Streams that a measuring pass cannot follow are expanded whole first: a
// table that is not plain comes back as splicing its expansion gives it;
// damage after the first kilobytes still fails the whole object, and so
// does an element size that delta coding cannot restore.
TEST_F(ExpandedInPlaceTest, WhatTheMeasureCannotTellIsFoundByExpanding) {
  // The expansion opens with one descriptor: a raw run of the rest.
  const auto descriptorCodes = [](std::uint32_t tag) {
    std::vector<int> codes = {ClearCode};
    for (int shift : {0, 8, 16, 24}) codes.push_back(int(tag >> shift) & 0xFF);
    for (int value : {24, 0, 0, 0}) codes.push_back(value);
    return codes;
  };
  const auto object = [&](std::uint32_t tag, std::vector<int> tail, std::uint32_t flags) {
    std::vector<int> codes = descriptorCodes(tag);
    for (int round = 0; round < 40; ++round) {
      codes.push_back(ClearCode);
      codes.push_back(round % 200);
      for (int code = FirstFreeCode; code < 400; ++code) codes.push_back(code);
    }
    codes.insert(codes.end(), tail.begin(), tail.end());
    codes.push_back(EndCode);
    Bytes body = PackCodes(codes);
    body.resize((body.size() + 7) / 8 * 8, 0);
    Bytes stored = HandObject(false, {}, body, 0, FlagCompressed | flags);
    PutWord(stored, 8, 1, false);
    return stored;
  };
  // Each round: a byte, then strings of 2 to 143 bytes; the tails add 8.
  constexpr std::uint32_t runBytes = 40u * (143u * 144u / 2u);
  constexpr std::uint32_t runTag = 0x9A000000u | runBytes;
  const auto inParent = [](const Bytes &nested) { return HandObject(true, {{0xDC000000u, 24}}, nested); };

  // A clear, then a code of 258 or more: the table is no longer plain.
  const Bytes stale = object(runTag, {ClearCode, 300, 7, 7, 7, 7, 7, 7, 7}, 0);
  const Prepared alone = Prepare(stale);
  ASSERT_TRUE(alone.bytes.has_value());
  const Bytes parent = inParent(stale);
  const OwnedBlock spliced = SpliceNestedTable(ToBlock(parent).get(), 0, ToBlock(*alone.bytes).get());
  ASSERT_FALSE(spliced.empty());
  EXPECT_EQ(Prepare(parent).bytes, TableBytes(spliced.get().data()));

  // A code above the next entry, after 400 kB.
  EXPECT_FALSE(Prepare(inParent(object(runTag, {ClearCode, 5, 400, 7, 7, 7, 7, 7, 7}, 0))).bytes.has_value());
  // A typed array of 8-byte elements, delta-coded.
  const std::uint32_t wideArray = 0x1C000000u | (runBytes / 8u);
  EXPECT_FALSE(Prepare(inParent(object(wideArray, {}, FlagDeltaCoded))).bytes.has_value());
  EXPECT_TRUE(Prepare(inParent(object(wideArray, {}, 0))).bytes.has_value());
}

TEST_F(ExpandedInPlaceTest, EveryAllocationFailureGivesNullAndLeaksNothing) {
  TableDescription parent;
  parent.scrambled = true;
  parent.entries = {NestedTable(CompressedCurve(true, 5000, true)), NestedTable(CompressedCurve(false, 3000, false))};
  EXPECT_GT(FailEachAllocationInTurn(parent), 8);
}

// Damage anywhere in a parent of tables expanded in place: any outcome,
// but nothing read or written outside the blocks, and nothing left held.
TEST(ExpandedInPlaceDamageTest, DamagedTablesExpandedInPlaceNeverLeaveTheirBlocks) {
  TableDescription parent;
  parent.bigEndian = true;
  parent.entries = {TypedArray(2, {1, 2}), NestedTable(CompressedCurve(false, 5000, true)), RawRun({4, 5}),
                    NestedTable(CompressedCurve(true, 3000, false))};
  PrepareDamagedCopies(writer::EncodeTableObject(parent), 2000);
}

}  // namespace
}  // namespace dinfo::test
