// dinfo diff: two revisions of the sample compared by meaning. Records
// are matched by section and id, so an inserted record that moves every
// other one is the only difference named; changed rows, table elements and
// the answers they change are each named once, by place.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "cli_test_support.h"

namespace dinfo::cli::test {
namespace {

class DiffTest : public CliTest {
 protected:
  static Json SampleDescription() {
    std::ifstream in(DINFO_SAMPLE_JSON, std::ios::binary);
    return Json::parse(in);
  }

  static Json &Record(Json &description, int section, int id) {
    for (Json &record : description["records"]) {
      if (record.value("section", 8) == section && record["id"] == id) return record;
    }
    throw std::runtime_error("no such record in the sample");
  }

  // Builds the description into `name`, whatever check finds in it, and
  // returns its path.
  std::string Build(const Json &description, const std::string &name) const {
    WriteText(name + ".json", description.dump());
    const RunResult result = Dinfo({"build", name + ".json", "-o", name, "--force"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return Path(name);
  }

  RunResult Diff(const std::string &first, const std::string &second, bool json) const {
    std::vector<std::string> arguments{"diff", first, second};
    if (json) arguments.push_back("--json");
    return Dinfo(arguments);
  }
};

TEST_F(DiffTest, AnInsertedRecordIsTheOnlyDifferenceThoughEveryOffsetMoves) {
  const std::string before = BuildSample();
  Json description = SampleDescription();
  // Placed first, so that every record after it is stored elsewhere.
  description["records"].insert(description["records"].begin(),
                                Json::parse(R"({"id": 1006, "keyed": {"kind": "single", "valueType": "int16",
                                                "valuesPerRow": 2, "rows": [{"values": [4, 5]}]}})"));
  const std::string after = Build(description, "inserted.dat");

  RunResult result = Diff(before, after, true);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  const Json diff = Json::parse(result.out);
  EXPECT_EQ(diff["same"], false);
  ASSERT_EQ(diff["records"].size(), 1u) << diff["records"].dump(1);
  EXPECT_EQ(diff["records"][0]["change"], "added");
  EXPECT_EQ(diff["records"][0]["section"], 8);
  EXPECT_EQ(diff["records"][0]["id"], 1006);
  EXPECT_EQ(diff["file"], Json::array());
  EXPECT_EQ(diff["queries"], Json::array());
  // Format, main, and category V (12 combinations of conditions 1, 7 and
  // 8), S (2, of condition 1) and table (6, of conditions 1 and 9).
  EXPECT_EQ(diff["queriesAsked"], 22);

  result = Diff(before, after, false);
  EXPECT_EQ(result.out, before + " and " + after + " differ: 1 record added; 0 of 22 queries answer differently\n" +
                            "  + record 1006 in section 8: keyed single block of int16 values, 1 row\n");
  result = Diff(after, after, false);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, after + " and " + after + " read alike: the same records, the same answers to 22 queries\n");
}

TEST_F(DiffTest, ChangedRowsAndTableElementsAreNamedByPlaceWithTheAnswersTheyChange) {
  const std::string before = BuildSample();
  Json description = SampleDescription();
  Record(description, 8, 2001)["keyed"]["rows"][1]["values"][1] = 401;
  // The table that selector 0 finds (through record 1021), and the nested
  // table of record 1, in two places.
  Record(description, 12, 3)["table"]["entries"][0]["array"][5] = 2561;
  Json &nested = Record(description, 12, 1)["table"]["entries"][3]["table"]["entries"][1]["array"];
  nested[4] = 95;
  nested[9] = 7;
  // A selector other than 1 takes record 1004's wildcard row to 3002.
  Record(description, 8, 3002)["keyed"]["rows"][0]["values"][0]["name"] = "Lamp warm-up 45 s";
  const std::string after = Build(description, "changed.dat");

  const RunResult result = Diff(before, after, true);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  const Json diff = Json::parse(result.out);
  ASSERT_EQ(diff["records"].size(), 4u) << diff["records"].dump(1);
  const Json &keyed = diff["records"][0];
  EXPECT_EQ(keyed["id"], 2001);
  EXPECT_EQ(keyed["differences"], Json::parse(R"([{"at": "row keys [2]", "first": [-1, 400, 32000],
                                                     "second": [-1, 401, 32000]}])"));
  const Json &nestedChange = diff["records"][2];
  EXPECT_EQ(nestedChange["id"], 1);
  EXPECT_EQ(nestedChange["differences"], Json::parse(R"([{"at": "entry 3.1", "count": [12, 12], "differing": 2,
                                                           "firstDifference": {"index": 4, "first": 94, "second": 95}}])"));
  EXPECT_EQ(diff["records"][3]["id"], 3);

  // Each answer that changed, under the conditions that ask for it.
  std::map<std::string, Json> answers;
  for (const Json &query : diff["queries"]) answers[query["query"]] = query["differences"];
  EXPECT_EQ(answers.size(), 6u) << diff["queries"].dump(1);
  EXPECT_EQ(answers["category v --selector 1 --cond 7=0 --cond 8=2"][0]["firstDifference"],
            Json::parse(R"({"index": 1, "first": [-1, 400, 32000], "second": [-1, 401, 32000]})"));
  EXPECT_EQ(answers["category s --selector -1"][0]["at"], "elements");
  EXPECT_EQ(answers["table --selector 1 --cond 9=0"][0]["at"], "entry 3.1");
  for (const char *query : {"table --selector -1", "table --selector -1 --cond 9=0", "table --selector -1 --cond 9=1"}) {
    EXPECT_EQ(answers[query][0]["at"], "entry 0") << query;
  }

  const std::string text = Diff(before, after, false).out;
  for (const char *line : {"  ~ record 2001 in section 8 (listed by category V)\n"
                           "      row keys [2]: [-1,400,32000] -> [-1,401,32000]\n",
                           "      entry 3.1: 2 of 12 elements differ, first at [4]: 94 -> 95\n",
                           "  answer of table --selector -1:\n"
                           "      entry 0: 1 of 8 elements differs, first at [5]: 2560 -> 2561\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << text;
  }
}

TEST_F(DiffTest, ReorderedAndRemovedRowsChangeWhichRecordsAreRead) {
  const std::string before = BuildSample();
  Json description = SampleDescription();
  // Record 1004 takes the first matching row: swapped, selector 1 meets the
  // wildcard row first and reads 3002 instead of 3001.
  Json &rows = Record(description, 8, 1004)["keyed"]["rows"];
  std::swap(rows[0], rows[1]);
  // Record 1010 loses the row for condition 7 = 1.
  Record(description, 8, 1010)["keyed"]["rows"].erase(1);
  const std::string after = Build(description, "reordered.dat");

  const Json diff = Json::parse(Diff(before, after, true).out);
  ASSERT_EQ(diff["records"].size(), 2u) << diff["records"].dump(1);
  EXPECT_EQ(diff["records"][0]["differences"],
            Json::parse(R"([{"at": "rows", "what": "the same rows in another order"}])"));
  EXPECT_EQ(diff["records"][1]["differences"], Json::parse(R"([{"at": "row keys [1]", "first": [2003, 0, 0]}])"));
  // Selector 1 now reads 3002; condition 7 = 1 lists nothing.
  std::vector<std::string> queries;
  for (const Json &query : diff["queries"]) queries.push_back(query["query"]);
  EXPECT_EQ(queries, (std::vector<std::string>{"category v --selector 1 --cond 7=1 --cond 8=2", "category v --selector 1 --cond 7=1",
                                               "category s --selector 1"}));
  EXPECT_EQ(diff["queries"][2]["differences"][0]["count"], Json::parse("[2, 1]"));
}

TEST_F(DiffTest, ARemovedRecordAndAFailedAnswerAreNamed) {
  const std::string before = BuildSample();
  Json description = SampleDescription();
  Json &records = description["records"];
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i]["id"] == 3002) records.erase(i);
  }
  const std::string after = Build(description, "removed.dat");

  const Json diff = Json::parse(Diff(before, after, true).out);
  ASSERT_EQ(diff["records"].size(), 1u);
  EXPECT_EQ(diff["records"][0]["change"], "removed");
  EXPECT_EQ(diff["records"][0]["summary"], "keyed all-matches block of named-entry values, 1 row");
  ASSERT_EQ(diff["queries"].size(), 1u) << diff["queries"].dump(1);
  EXPECT_EQ(diff["queries"][0]["differences"][0],
            Json::parse(R"json({"at": "answer", "first": "1 element", "second": "ErrValueList (-2023)"})json"));
}

TEST_F(DiffTest, ADamagedRecordIsChangedNotRemovedAndAMissingFileIsExitThree) {
  const std::string sample = BuildSample();
  // Record 2002's size word made negative, in a copy of the sample.
  std::int64_t offset = -1;
  const Json inspection = DinfoJson({"inspect", sample, "--json"});
  for (const Json &record : inspection["records"]) {
    if (record["id"] == 2002) offset = record["offset"].get<std::int64_t>();
  }
  ASSERT_GE(offset, 0);
  writer::Bytes bytes = ReadFile("sample.dat");
  const std::uint8_t minusFive[] = {0xFB, 0xFF, 0xFF, 0xFF};
  std::copy(std::begin(minusFive), std::end(minusFive), bytes.begin() + offset);
  WriteFile("damaged.dat", bytes);

  RunResult result = Diff(sample, Path("damaged.dat"), true);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  const Json diff = Json::parse(result.out);
  ASSERT_EQ(diff["records"].size(), 1u) << diff["records"].dump(1);
  EXPECT_EQ(diff["records"][0]["change"], "changed");
  EXPECT_EQ(diff["records"][0]["id"], 2002);
  EXPECT_EQ(diff["records"][0]["differences"][0]["second"], "unreadable: recordSize -5 is 0 or negative");

  result = Diff(sample, Path("missing.dat"), false);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_NE(result.err.find("missing.dat"), std::string::npos) << result.err;
  // A file too short to hold a main section reads, with a problem: it differs.
  WriteFile("short.dat", {1, 2, 3});
  EXPECT_EQ(Diff(sample, Path("short.dat"), true).exitCode, 1);
}

}  // namespace
}  // namespace dinfo::cli::test
