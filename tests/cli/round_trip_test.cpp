// build -> inspect -> build gives back the same bytes, for the sample and
// for files the writer makes with every kind of keyed content, odd and
// damaged ones included; inspect reports damage where it is and never
// fails on a damaged file.
#include <random>

#include "cli_test_support.h"

namespace dinfo::cli::test {
namespace {

using writer::Bytes;

class RoundTripTest : public CliTest {};

TEST_F(RoundTripTest, TheSample) {
  const Json built = DinfoJson({"build", DINFO_SAMPLE_JSON, "-o", "sample.dat", "--json"});
  EXPECT_EQ(built["size"], ReadFile("sample.dat").size());
  EXPECT_EQ(built["records"], 18);
  ExpectRebuildsIdentically("sample.dat");
  // And the description inspect gives back builds the same description again.
  const Json first = DinfoJson({"inspect", "sample.dat", "--json"});
  const Json second = DinfoJson({"inspect", "rebuilt.dat", "--json"});
  EXPECT_EQ(first["records"], second["records"]);
  EXPECT_EQ(first["sections"], second["sections"]);
}

writer::KeyedRow Row(std::vector<std::int32_t> keys, Bytes values) { return {std::move(keys), std::move(values)}; }

TEST_F(RoundTripTest, WriterFilesWithEveryKindOfKeyedContent) {
  using namespace writer;
  InfoFile file = NewInfoFile();
  file.bytes[0] = 'X';  // a producer's own prefix
  const std::int32_t second = AddSection(file);
  AppendRaw(file, Bytes(5, 0));  // a gap before the next section word
  const std::int32_t third = AddSection(file);

  KeyedBlock odd;  // a kind beyond the named ones, disabled, reserved set
  odd.kind = 7;
  odd.disabledFlag = 1;
  odd.reserved = -3;
  odd.keyIndex = {0, 299, 5};
  odd.rows = {Row({-32768, -1, 5}, PackValues({1, 2, 3}, 4))};
  AddRecord(file, MainSectionKey, 1000, KeyedRecord(odd, 0x00000000u));

  KeyedBlock keysOnly;  // value type 3: rows of keys only
  keysOnly.valueType = 3;
  keysOnly.keyIndex = {4};
  keysOnly.rows = {Row({1}, {}), Row({2}, {})};
  AddRecord(file, MainSectionKey, 1001, KeyedRecord(keysOnly, 0xFFFFFFFFu));

  KeyedBlock texts;  // a text with bytes that are not clean text
  texts.valueType = 256;
  texts.valuesPerRow = 2;
  Bytes dirty = PackText("caf\xc3\xa9");
  Bytes binary = PackText("ab");
  binary[200] = 0x80;
  dirty.insert(dirty.end(), binary.begin(), binary.end());
  texts.rows = {Row({}, dirty)};
  AddRecord(file, MainSectionKey, 1002, KeyedRecord(texts, 0x01020304u));

  // A single block whose payload is not whole rows, and one that claims
  // more rows than it holds.
  AddRecord(file, MainSectionKey, 1003, KeyedRecord(SingleValues(4, 3, 2, Bytes{1, 2, 3, 4, 5})));
  AddRecord(file, MainSectionKey, 1004, KeyedRecord(SingleValues(2, 1, 9, PackValues({-7}, 2))));

  KeyedBlock narrowChain = ChainTo({1}, {{{5}, 1010}});  // a chain of int16 values
  narrowChain.valueType = 2;
  narrowChain.rows[0].values = PackValues({1010}, 2);
  AddRecord(file, MainSectionKey, 1005, KeyedRecord(narrowChain));

  KeyedBlock damaged;  // more key columns than a block may have: kept as raw
  damaged.keyIndex = {1};
  damaged.keyCount = 20;
  damaged.rows = {Row({1}, PackValues({1, 2, 3}, 4))};
  AddRecord(file, MainSectionKey, 1006, KeyedRecord(damaged));

  Bytes filled = EncodeKeyedBlock(SingleValues(1, 3, 1, Bytes{1, 2, 3}));
  filled[83] = 0xEE;  // a fill byte that is not zero
  ScrambleBlock(filled, 0x55AA55AAu);
  AddRecord(file, MainSectionKey, 1007, filled);

  AddRecord(file, MainSectionKey, 1008, Bytes{9, 8, 7});  // too short for a keyed block
  AddRecord(file, second, 1, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9});
  AddRecord(file, third, 2, KeyedRecord(SingleValues(4, 1, 1, PackValues({42}, 4))));
  AddRecord(file, MainSectionKey, -4, KeyedRecord(SingleValues(4, 1, 1, PackValues({1}, 4))));
  WriteFile("odd.dat", Finish(file));
  ExpectRebuildsIdentically("odd.dat");

  const Json inspection = DinfoJson({"inspect", "odd.dat", "--json"});
  EXPECT_EQ(inspection["sections"], Json::parse("[8, 12, 21]"));
  EXPECT_EQ(inspection["prefix"], "58494e4601000000");
  for (const Json &record : inspection["records"]) {
    if (record["id"] == 1006) {
      EXPECT_TRUE(record.contains("raw"));
      EXPECT_EQ(record["problems"][0], "keyCount 20 is outside 0 to 16");
    }
    if (record["id"] == 1002) {
      EXPECT_EQ(record["keyed"]["rows"][0]["values"][0], "caf\xc3\xa9");
      EXPECT_TRUE(record["keyed"]["rows"][0]["values"][1].contains("hex"));
      EXPECT_FALSE(record.contains("raw"));
    }
    if (record["id"] == 1000) {
      EXPECT_EQ(record["keyed"]["kind"], 7);
    }
  }
}

TEST_F(RoundTripTest, DamagedFilesAreReportedWhereTheDamageIs) {
  using namespace writer;
  InfoFile file = NewInfoFile();
  AddRecord(file, MainSectionKey, 1000, KeyedRecord(SingleValues(4, 1, 2, PackValues({0, 1}, 4))));
  AddRecord(file, MainSectionKey, 1003, KeyedRecord(ChainTo({1}, {{{-32768}, 1003}})));
  AddEntry(file, MainSectionKey, {MainSectionKey, 1004, AppendRaw(file, PackValues({-5}, 4))});
  AddEntry(file, MainSectionKey, {MainSectionKey, 1005, 1 << 20});
  WriteFile("damaged.dat", Finish(file));

  const RunResult text = Dinfo({"inspect", "damaged.dat"});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("record 1003 in section 8: its chain comes back to record 1003"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("record 1004 in section 8: recordSize -5 is 0 or negative"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("record 1005 in section 8: offset 1048576 lies past the end of the file"), std::string::npos)
      << text.out;
  // The sound records are still shown.
  EXPECT_NE(text.out.find("record 1000 of section 8 at 12"), std::string::npos) << text.out;

  Section &main = SectionOf(file, MainSectionKey);
  main.entryCount = 0;
  WriteFile("empty-directory.dat", Finish(file));
  const Json inspection = DinfoJson({"inspect", "empty-directory.dat", "--json"});
  EXPECT_EQ(inspection["problems"][0]["where"], "directory of section 8");
  EXPECT_NE(inspection["problems"][0]["what"].get<std::string>().find("entryCount 0"), std::string::npos);
}

// Mutated samples: inspect always answers (exit 0, JSON that parses), and
// the queries answer or fail by name, never by crashing.
TEST_F(RoundTripTest, MutatedFilesNeverBreakTheTool) {
  BuildSample();
  const Bytes sample = ReadFile("sample.dat");
  std::mt19937 random(20261207);
  for (int round = 0; round < 24; ++round) {
    Bytes mutated = sample;
    if (round % 4 == 0) {
      mutated.resize(random() % mutated.size());
    } else {
      for (int k = 0; k < 1 + round % 6; ++k) mutated[random() % mutated.size()] = static_cast<std::uint8_t>(random());
    }
    WriteFile("mutated.dat", mutated);
    const Json inspection = DinfoJson({"inspect", "mutated.dat", "--json"});
    EXPECT_TRUE(inspection.contains("records")) << "round " << round;
    // The description builds again, or says why it cannot.
    if (!inspection.contains("rebuildError")) {
      WriteText("mutated.json", inspection.dump());
      const RunResult rebuilt = Dinfo({"build", "mutated.json", "-o", "rebuilt.dat", "--force"});
      EXPECT_EQ(rebuilt.exitCode, 0) << "round " << round << ": " << rebuilt.err;
    }
    EXPECT_EQ(Dinfo({"inspect", "mutated.dat"}).exitCode, 0) << "round " << round;
    for (const std::vector<std::string> &query :
         {std::vector<std::string>{"main", "mutated.dat"}, {"category", "v", "mutated.dat", "--selector", "1", "--cond", "7=0"},
          {"table", "mutated.dat", "--selector", "1", "--cond", "9=0"}}) {
      const int exitCode = Dinfo(query).exitCode;
      EXPECT_TRUE(exitCode == 0 || exitCode == 1) << "round " << round << " " << query[0] << " exit " << exitCode;
    }
  }
}

}  // namespace
}  // namespace dinfo::cli::test
