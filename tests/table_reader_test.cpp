// dinfo/table.h, the callers' reader of table objects: driven from C (the
// walker in table_walk.c) and from C++, on tables of every kind in both
// byte orders, on the tables DIGetTable returns, and on damaged tables,
// each held in a heap block of exactly its size so that the sanitizer
// build sees any read outside it.
#include <algorithm>
#include <memory>
#include <string>

#include "dinfo/table.h"
#include "table_support.h"
#include "table_walk.h"

namespace dinfo::test {
namespace {

using writer::InlineEntry;
using writer::NestedTable;
using writer::RawRun;
using writer::TypedArray;
using writer::TypedBytes;

// The walker's description of the first `available` bytes, copied into a
// block of exactly that size; "refused" when the table does not open.
std::string Describe(const Bytes &bytes, std::size_t available) {
  const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[std::max<std::size_t>(available, 1)]);
  std::copy(bytes.begin(), bytes.begin() + std::ptrdiff_t(available), exact.get());
  char text[4096];
  return DescribeTable(available == 0 ? nullptr : exact.get(), available, text, sizeof text) == 0
             ? "refused"
             : text;
}
std::string Describe(const Bytes &bytes) { return Describe(bytes, bytes.size()); }

TableDescription EveryKind(bool bigEndian) {
  TableDescription inner;
  inner.bigEndian = bigEndian;  // the same order as the outermost table
  inner.entries = {RawRun({1})};
  TableDescription middle;
  middle.bigEndian = !bigEndian;
  middle.entries = {TypedArray(4, {-5}), NestedTable(inner)};
  TableDescription outer;
  outer.bigEndian = bigEndian;
  outer.entries = {TypedArray(1, {1, -2, 127, -128}),
                   TypedArray(2, {1000, -1, -32768, 0x0102}),
                   TypedArray(4, {100000, -5, -0x7FFFFFFF - 1}),
                   TypedBytes(3, {1, 2, 3, 4, 5, 6}),
                   RawRun({9, 8, 250}),
                   InlineEntry(-7),
                   NestedTable(middle),
                   TypedArray(2, {})};
  return outer;
}

std::string EveryKindText(bool bigEndian) {
  const std::string outer = bigEndian ? "be" : "le";
  const std::string middle = bigEndian ? "le" : "be";
  return outer + " 8 entries\n"
         " array 1x4: 1 -2 127 -128\n"
         " array 2x4: 1000 -1 -32768 258\n"
         " array 4x3: 100000 -5 -2147483648\n"
         " array 3x2: 010203 040506\n"
         " raw 3: 9 8 250\n"
         " inline -7\n"
         " nested:\n"
         "  " + middle + " 2 entries\n"
         "   array 4x1: -5\n"
         "   nested:\n"
         "    " + outer + " 1 entries\n"
         "     raw 1: 1\n"
         " array 2x0\n";
}

TEST(TableReaderTest, EveryKindReadsAlikeInEitherByteOrder) {
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    const Bytes table = writer::PreparedTableObject(EveryKind(bigEndian));
    EXPECT_EQ(Describe(table), EveryKindText(bigEndian));
    // One byte short of totalSize: the reader refuses rather than read on.
    EXPECT_EQ(Describe(table, table.size() - 1), "refused");

    DITable reader;
    ASSERT_EQ(di_table_open(table.data(), table.size(), &reader), 1);
    DITableEntry entry;
    ASSERT_EQ(di_table_entry(&reader, 1, &entry), 1);
    std::uint32_t value = 1;
    EXPECT_EQ(di_table_element(&reader, &entry, 3, &value), 1);
    EXPECT_EQ(value, 0x0102u);
    EXPECT_EQ(di_table_element(&reader, &entry, 4, &value), 0);  // past the last element
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(di_table_word(&reader, reader.totalSize - 4, &value), 1);
    EXPECT_EQ(di_table_word(&reader, reader.totalSize - 3, &value), 0);
    DITable nested;
    EXPECT_EQ(di_table_nested(&reader, &entry, &nested), 0);  // not a nested entry
    EXPECT_EQ(di_table_entry(&reader, 8, &entry), 0);        // past the last entry
  }
}

class TableReaderFileTest : public TableFileTest {};

TEST_F(TableReaderFileTest, ReadsWhatDIGetTableReturns) {
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    TableDescription stored = EveryKind(bigEndian);
    stored.compressed = true;
    stored.scrambled = true;
    Write("info.dat", writer::Finish(FileWithTable(writer::EncodeTableObject(stored))));
    void *table = DIGetTable("info.dat", Folder(), 1, nullptr, 0);
    ASSERT_NE(table, nullptr);
    char text[4096];
    EXPECT_EQ(DescribeTable(table, DI_TABLE_SIZE_FROM_HEADER, text, sizeof text), 1);
    EXPECT_EQ(std::string(text), EveryKindText(bigEndian));
    DIFreeTable(table);
  }
}

// Layouts the writer never makes: each bad entry is reported as damaged
// and the walk goes on; each bad header refuses the table.
TEST(TableReaderTest, DamagedTablesAreRefusedWithoutReadingOutside) {
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    const std::int32_t data = 16 + 8 * 9;  // where the data area starts
    Bytes nestedTooLong = HandObject(bigEndian, {}, {}, 64);
    Bytes area = {1, 2, 3, 4, 5, 6, 7, 8};
    area.insert(area.end(), nestedTooLong.begin(), nestedTooLong.end());
    const Bytes table =
        HandObject(bigEndian,
                   {{0x04000002u, data + 1},    // two 16-bit elements at an odd offset: fine
                    {0x04000002u, 16},          // inside the descriptors
                    {0x00000001u, -1},          // before the table
                    {0x0C000006u, data + 4},    // 4-byte elements reaching past totalSize
                    {0u, data},                 // tag 0
                    {0x81000000u, data},        // no kind
                    {0xDC000000u, data + 8},    // nested table longer than its parent
                    {0xDC000000u, data},        // nested table without a magic
                    {0x9A000008u, data}},       // raw run of the whole first 8 bytes
                   area);
    const std::string first = bigEndian ? "515 1029" : "770 1284";
    EXPECT_EQ(Describe(table), std::string(bigEndian ? "be" : "le") + " 9 entries\n array 2x2: " + first +
                                   "\n damaged 1\n damaged 2\n damaged 3\n damaged 4\n damaged 5\n"
                                   " damaged 6\n damaged 7\n raw 8: 1 2 3 4 5 6 7 8\n");

    const Bytes empty = HandObject(bigEndian, {}, {});
    EXPECT_EQ(Describe(empty), std::string(bigEndian ? "be" : "le") + " 0 entries\n");
    EXPECT_EQ(Describe(HandObject(bigEndian, {}, {}, 24)), "refused");          // longer than the block
    EXPECT_EQ(Describe(HandObject(bigEndian, {}, {}, 8)), "refused");           // shorter than a header
    EXPECT_EQ(Describe(HandObject(bigEndian, {}, {}, -1)), "refused");          // the invalid size
    Bytes tooMany = HandObject(bigEndian, {{0xF8000000u, 0}}, {});
    PutWord(tooMany, 8, 2, bigEndian);                                          // descriptors past the end
    EXPECT_EQ(Describe(tooMany), "refused");
    PutWord(tooMany, 8, 0xFFFFFFFFu, bigEndian);                                // a negative count
    EXPECT_EQ(Describe(tooMany), "refused");
    Bytes noMagic = empty;
    noMagic[0] ^= 1;
    EXPECT_EQ(Describe(noMagic), "refused");
    EXPECT_EQ(Describe(empty, 15), "refused");
    EXPECT_EQ(Describe(empty, 0), "refused");
  }
}

// Every byte of a table with every kind of entry, set to values that
// matter to the format: whatever the reader says, it stays inside.
TEST(TableReaderTest, NoSingleByteDamageMakesTheReaderLeaveTheTable) {
  for (bool bigEndian : {false, true}) {
    const Bytes table = writer::PreparedTableObject(EveryKind(bigEndian));
    for (std::size_t at = 0; at < table.size(); ++at) {
      for (std::uint8_t value : std::initializer_list<std::uint8_t>{0x00, 0x01, 0x7F, 0x80, 0x9A, 0xDC, 0xF8, 0xFF}) {
        Bytes damaged = table;
        damaged[at] = value;
        Describe(damaged);
      }
    }
  }
}

}  // namespace
}  // namespace dinfo::test
