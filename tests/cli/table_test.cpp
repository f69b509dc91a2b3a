// Tables through DIGetTable: the tree with the codings undone, --out,
// --plot, and round trips of every kind of table object the writer makes.
#include "cli_test_support.h"
#include "writer/table_writer.h"
#include "xml_check.h"

namespace dinfo::cli::test {
namespace {

using writer::Bytes;

class TableTest : public CliTest {
 protected:
  // Rebuilds identically, and from descriptions alone: no raw records.
  void ExpectTablesRebuild(const std::string &name) {
    const Json inspection = ExpectRebuildsIdentically(name);
    for (const Json &record : inspection["records"]) {
      EXPECT_FALSE(record.contains("raw")) << record.dump();
    }
  }

  // A file whose locator names the given tables as records 1, 2, ... of
  // one section.
  void WriteTables(const std::string &name, const std::vector<Bytes> &tables) {
    using namespace writer;
    InfoFile file = NewInfoFile();
    const std::int32_t section = AddSection(file);
    AddRecord(file, MainSectionKey, 1000, KeyedRecord(SingleValues(4, 1, 2, PackValues({0, 1}, 4))));
    AddRecord(file, MainSectionKey, 1005, LocatorRecord({{LocatorSectionKind, section}, {LocatorRecordKind, 1}}));
    for (std::size_t i = 0; i < tables.size(); ++i) {
      AddRecord(file, section, static_cast<std::int32_t>(i + 1), tables[i]);
    }
    WriteFile(name, Finish(file));
  }
};

TEST_F(TableTest, TheSampleTableShowsItsTreeAndTheCodingsUndone) {
  const std::string file = BuildSample();
  const Json answer = DinfoJson({"table", file, "--selector", "1", "--cond", "9=0", "--json"});
  EXPECT_EQ(answer["storedAt"], (Json{{"section", 12}, {"record", 1}}));
  const Json &table = answer["table"];
  EXPECT_EQ(table["byteOrder"], "little");
  EXPECT_EQ(table["flags"], "0x00000000");
  EXPECT_EQ(table["codingsUndone"], Json::parse(R"(["scrambled", "delta-coded"])"));
  ASSERT_EQ(table["entries"].size(), 5u);
  EXPECT_EQ(table["entries"][0]["elementSize"], 2);
  EXPECT_EQ(table["entries"][0]["count"], 33);
  EXPECT_EQ(table["entries"][0]["values"][32], 4095);
  EXPECT_EQ(table["entries"][2]["bytes"], "43414c3101020304");
  EXPECT_EQ(table["entries"][3]["table"]["byteOrder"], "big");
  EXPECT_EQ(table["entries"][3]["table"]["codingsUndone"], Json::parse(R"(["compressed"])"));
  EXPECT_EQ(table["entries"][3]["table"]["entries"][0]["values"][4], -1);
  EXPECT_EQ(table["entries"][4]["location"], 4660);

  const RunResult text = Dinfo({"table", file, "--selector", "1", "--cond", "9=0"});
  EXPECT_NE(text.out.find("codings undone: scrambled (key 0x3c5a96e1), delta-coded"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("(33 values, min 0, max 4095; --all shows every one)"), std::string::npos) << text.out;
  const RunResult all = Dinfo({"table", file, "--selector", "1", "--cond", "9=0", "--all"});
  EXPECT_NE(all.out.find("3854 3916 3977 4036 4095\n"), std::string::npos) << all.out;

  // The other locator rows: record 2 for condition 9 = 1, record 3 for
  // any other selector.
  EXPECT_EQ(DinfoJson({"table", file, "--selector", "1", "--cond", "9=1", "--json"})["storedAt"]["record"], 2);
  EXPECT_EQ(DinfoJson({"table", file, "--selector", "6", "--json"})["storedAt"]["record"], 3);
}

TEST_F(TableTest, OutWritesTheTableAsTheCallerGotItAndPlotDrawsEachArray) {
  const std::string file = BuildSample();
  const RunResult result =
      Dinfo({"table", file, "--selector", "1", "--cond", "9=0", "--out", "table.bin", "--plot", "table.svg"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Bytes table = ReadFile("table.bin");
  ASSERT_GE(table.size(), 16u);
  EXPECT_EQ(table[0], 0x16);  // the magic, little-endian
  EXPECT_EQ(table.size(), std::size_t(table[4] | table[5] << 8));
  const Bytes svg = ReadFile("table.svg");
  const std::string text(svg.begin(), svg.end());
  std::string problem;
  EXPECT_TRUE(IsWellFormedXml(text, &problem)) << problem;
  // Two arrays at the top, two in the nested table; the raw run and the
  // inline entry are not drawn.
  EXPECT_EQ(CountOccurrences(text, "<polyline class=\"series\""), 4u);
  EXPECT_NE(text.find("data-name=\"entry 3.1\""), std::string::npos);
}

TEST_F(TableTest, ANullTableIsExplained) {
  const std::string file = BuildSample();
  RunResult result = Dinfo({"table", file, "--selector", "1"});  // no condition 9: one locator row
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("stopped: the table locator (record 1005) gave 1 row; it must give exactly 2"), std::string::npos) << result.err;
  result = Dinfo({"table", file, "--selector", "1", "--cond", "9=0", "--cond", "-1=0", "--json"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(Json::parse(result.out)["table"].is_null());
  EXPECT_NE(result.err.find("a condition index lies outside 0 to 299"), std::string::npos) << result.err;
}

TEST_F(TableTest, WriterTablesOfEveryKindRebuildIdentically) {
  using namespace writer;
  TableDescription inner;
  inner.scrambled = true;
  inner.scrambleKey = 0x0BADF00Du;
  inner.entries = {TypedArray(4, {-1, 0x7FFFFFFF, -0x80000000ll}), RawRun({})};

  TableDescription outer;
  outer.bigEndian = true;
  outer.deltaCoded = true;
  outer.tailBytes = 16;
  outer.entries = {TypedArray(1, {-128, 127, 0, 5}), TypedArray(2, {}), RawRun({9, 9, 1}), NestedTable(inner),
                   InlineEntry(-7)};

  TableDescription stray;  // flag bits without meaning, and a scrambled body whose
  stray.strayFlags = 0x00000101u;  // data reach into the trailer
  stray.scrambled = true;
  stray.entries = {TypedArray(4, {1, 2}), TypedBytes(3, {1, 2, 3, 4, 5, 6}), TypedBytes(16, Bytes(16, 0xAB))};

  TableDescription empty;
  TableEntryDescription tagged = InlineEntry(3);
  tagged.tag = 0xF8000042u;
  empty.entries = {tagged};

  TableDescription everyCoding;  // scrambled, compressed and delta-coded, around
  everyCoding.scrambled = true;  // a compressed table that holds a
  everyCoding.compressed = true;  // scrambled one
  everyCoding.deltaCoded = true;
  TableDescription middle;
  middle.compressed = true;
  middle.bigEndian = true;
  middle.entries = {NestedTable(inner), TypedArray(2, {5, 4, 3, 2, 1})};
  everyCoding.entries = {TypedArray(2, std::vector<std::int64_t>(300, 7)), NestedTable(middle), RawRun(Bytes(70, 1))};

  TableDescription compressedEmpty;
  compressedEmpty.compressed = true;

  WriteTables("tables.dat", {EncodeTableObject(outer), EncodeTableObject(stray), EncodeTableObject(empty),
                             EncodeTableObject(TableDescription{}), EncodeTableObject(everyCoding),
                             EncodeTableObject(compressedEmpty)});
  ExpectTablesRebuild("tables.dat");
}

TEST_F(TableTest, DamagedOrForeignTablesStayRawAndShowTheirProblem) {
  using namespace writer;
  TableDescription badTag;
  badTag.entries = {TypedArray(2, {1, 2})};
  badTag.entries[0].tag = 0xAB000000u;
  TableDescription moved;  // an entry away from the aligned layout
  moved.entries = {TypedArray(2, {1, 2}), RawRun({1})};
  moved.tailBytes = 8;
  moved.entries[1].location = 48;
  TableDescription oversized;
  oversized.entries = {TypedArray(4, {1})};
  oversized.totalSize = 4096;
  WriteTables("damaged.dat", {EncodeTableObject(badTag), EncodeTableObject(moved), EncodeTableObject(oversized)});

  const Json inspection = DinfoJson({"inspect", "damaged.dat", "--json"});
  EXPECT_EQ(inspection["rebuildsIdentically"], true);
  std::string problems;
  for (const Json &problem : inspection["problems"]) problems += problem["what"].get<std::string>() + "\n";
  EXPECT_NE(problems.find("entry 0: tag 0xab000000 names no kind of entry"), std::string::npos) << problems;
  EXPECT_NE(problems.find("totalSize 4096 reaches past the 32 bytes"), std::string::npos) << problems;
  int raw = 0;
  for (const Json &record : inspection["records"]) raw += record.contains("raw") ? 1 : 0;
  EXPECT_EQ(raw, 3);
  EXPECT_EQ(Dinfo({"table", "damaged.dat"}).exitCode, 1);

  WriteTables("foreign.dat", {Bytes(24, 7)});
  const RunResult foreign = Dinfo({"inspect", "foreign.dat"});
  EXPECT_NE(foreign.out.find("names record 1 of section 12, which is not a table object"), std::string::npos)
      << foreign.out;
}

// Values carry no sign: the text says how it shows them, and the tag bits
// that only the description held are shown too.
TEST_F(TableTest, TheTextViewSaysSignednessAndShowsTagBits) {
  WriteText("signed.json", R"({"records": [
    {"id": 7, "table": {"entries": [{"elementSize": 1, "array": [255, 1]}, {"inline": 5, "tagBits": 5},
      {"table": {"entries": [{"elementSize": 2, "array": [65535]}]}, "tagBits": 7}]}},
    {"id": 8, "keyed": {"kind": "single", "valueType": "int8", "rows": [{"values": [255]}]}}]})");
  ASSERT_EQ(Dinfo({"build", "signed.json", "-o", "signed.dat", "--force"}).exitCode, 0);
  const std::string text = Dinfo({"inspect", "signed.dat"}).out;
  for (const char *shown : {"[0] array of 2 i8 at 40: -1 1\n", "inline entry, location word 5, tag bits 0x000005\n",
                            "nested table at 48, tag bits 0x000007\n", "[0] array of 1 i16 at 24: -1\n",
                            "keyed block: single, int8 (signed) x 1", "row 0: -1\n"}) {
    EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;
  }
  ExpectRebuildsIdentically("signed.dat");
}

// A view reads the same bytes with or without a sign, for every array of
// its width or for one entry, and every output names it; a description
// that names a view holds values of its range, and builds the same bytes.
TEST_F(TableTest, TypedViewsReadArraysUnsignedAndEveryOutputNamesThem) {
  WriteText("gamma.json", R"({"sections": [8, 12], "records": [
    {"id": 1000, "keyed": {"kind": "single", "valuesPerRow": 1, "rows": [{"values": [0]}, {"values": [1]}]}},
    {"id": 1005, "keyed": {"kind": "single", "valuesPerRow": 3, "rows": [{"values": [80, 12, 0]}, {"values": [81, 1, 0]}]}},
    {"section": 12, "id": 1, "table": {"byteOrder": "big", "entries": [
      {"elementSize": 2, "array": [0, 32902, 65535]}, {"elementSize": 1, "array": [200, 7]},
      {"table": {"entries": [{"elementSize": 1, "array": [255]}, {"elementSize": 4, "array": [4294967295]}]}}]}}]})");
  ASSERT_EQ(Dinfo({"build", "gamma.json", "-o", "gamma.dat", "--force"}).exitCode, 0);

  Json table = DinfoJson({"table", "gamma.dat", "--json"})["table"];
  EXPECT_EQ(table["entries"][0]["view"], "i16");
  EXPECT_EQ(table["entries"][0]["values"], Json::parse("[0, -32634, -1]"));
  table = DinfoJson({"table", "gamma.dat", "--as", "u16", "--as", "2.0=u8", "--as", "u32", "--json"})["table"];
  EXPECT_EQ(table["entries"][0]["view"], "u16");
  EXPECT_EQ(table["entries"][0]["values"], Json::parse("[0, 32902, 65535]"));
  EXPECT_EQ(table["entries"][1]["values"], Json::parse("[-56, 7]"));  // not entry 2.0: still i8
  const Json &nested = table["entries"][2]["table"]["entries"];
  EXPECT_EQ(nested[0]["view"], "u8");
  EXPECT_EQ(nested[0]["values"], Json::parse("[255]"));
  EXPECT_EQ(nested[1]["values"], Json::parse("[4294967295]"));

  RunResult result = Dinfo({"table", "gamma.dat", "--as", "u16", "--plot", "gamma.svg"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("[0] array of 3 u16 at 40: 0 32902 65535\n"), std::string::npos) << result.out;
  const Bytes svgBytes = ReadFile("gamma.svg");
  const std::string svg(svgBytes.begin(), svgBytes.end());
  EXPECT_NE(svg.find("selector 0; arrays as i8, u16, i32"), std::string::npos);
  EXPECT_NE(svg.find("entry 0: 3 u16 values, min 0, max 65535"), std::string::npos);

  // A view for one entry must name an array of its width.
  for (const char *view : {"1=u16", "7=u8", "2=u8", "x=u8", "u12"}) {
    result = Dinfo({"table", "gamma.dat", "--as", view});
    EXPECT_EQ(result.exitCode, 2) << view;
    EXPECT_NE(result.err.find("--as"), std::string::npos) << result.err;
  }

  // inspect carries a view that is not the default into the description,
  // which builds the same bytes.
  const Json inspection = DinfoJson({"inspect", "gamma.dat", "--as", "u16", "--as", "u8", "--json"});
  const Json &stored = inspection["records"][2]["table"]["entries"];
  EXPECT_EQ(stored[0], Json::parse(R"({"elementSize": 2, "view": "u16", "array": [0, 32902, 65535]})"));
  EXPECT_EQ(stored[2]["table"]["entries"][1], Json::parse(R"({"elementSize": 4, "array": [-1]})"));
  WriteText("viewed.json", inspection.dump());
  ASSERT_EQ(Dinfo({"build", "viewed.json", "-o", "viewed.dat", "--force"}).exitCode, 0);
  EXPECT_EQ(ReadFile("viewed.dat"), ReadFile("gamma.dat"));

  // A description's view bounds its values.
  for (const char *entry : {R"({"elementSize": 2, "view": "u16", "array": [-1]})",
                            R"({"elementSize": 2, "view": "i16", "array": [40000]})",
                            R"({"elementSize": 1, "view": "u16", "array": [1]})"}) {
    WriteText("bad.json", std::string(R"({"sections": [8, 12], "records": [{"section": 12, "id": 1, "table": {"entries": [)") + entry + "]}}]}");
    result = Dinfo({"build", "bad.json", "-o", "bad.dat"});
    EXPECT_EQ(result.exitCode, 3) << entry;
    EXPECT_NE(result.err.find("entries[0]"), std::string::npos) << result.err;
  }
}

}  // namespace
}  // namespace dinfo::cli::test
