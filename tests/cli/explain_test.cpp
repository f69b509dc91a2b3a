// explain retraces a query through the library step by step; a failing
// query prints where it stopped; conditions lists what the file keys on.
#include "cli_test_support.h"

namespace dinfo::cli::test {
namespace {

class ExplainTest : public CliTest {
 protected:
  // Category V goes through two chain links: condition 1 (the selector),
  // then condition 7, whose rows name only 0 and 1.
  std::string TwoLinkChain() const {
    WriteText("chain.json", R"({"records": [
      {"id": 1000, "keyed": {"kind": "single", "valueType": "int32", "rows": [{"values": [0]}, {"values": [2]}]}},
      {"id": 1003, "keyed": {"kind": "chain", "keyIndex": [1], "rows": [{"keys": [1], "values": [1100]}]}},
      {"id": 1100, "keyed": {"kind": "chain", "keyIndex": [7],
        "rows": [{"keys": [0], "values": [2001]}, {"keys": [1], "values": [2001]}]}},
      {"id": 2001, "keyed": {"kind": "all-matches", "valueType": "int32", "valuesPerRow": 3,
        "rows": [{"keys": [], "values": [2001, 0, 0]}]}}]})");
    EXPECT_EQ(Dinfo({"build", "chain.json", "-o", "chain.dat", "--force"}).exitCode, 0);
    return "chain.dat";
  }
};

TEST_F(ExplainTest, AFailingChainIsTracedToTheConditionNoRowAccepts) {
  const std::string file = TwoLinkChain();
  const RunResult text = Dinfo({"explain", file, "category", "v", "--selector", "1", "--cond", "7=5"});
  EXPECT_EQ(text.exitCode, 1) << text.err;
  for (const char *step : {"status record 1000, read without conditions",
                           "record 1003 is a chain on the conditions 1=1; row 0 [1=1] matched -> record 1100",
                           "record 1100 is a chain on the conditions 7=5; no row matched: no row accepts condition "
                           "7 = 5 (the rows name 0, 1)",
                           "the lookup stopped at record 1100: ErrChainSelection (-2008)",
                           "DIGetCategoryInfoV gives ErrCategoryLookup (-2021)"}) {
    EXPECT_NE(text.out.find(step), std::string::npos) << step << "\n" << text.out;
  }
  const Json json = Json::parse(Dinfo({"explain", file, "category", "v", "--selector", "1", "--cond", "7=5", "--json"}).out);
  EXPECT_EQ(json["answered"], false);
  EXPECT_EQ(json["name"], "ErrCategoryLookup");
  EXPECT_EQ(json["stop"]["at"]["record"], 1100);
  EXPECT_EQ(json["stop"]["at"]["condition"], (Json{{"index", 7}, {"value", 5}}));
  EXPECT_EQ(json["stop"]["at"]["rowsName"], Json::parse("[0, 1]"));
  EXPECT_EQ(json["stop"]["at"]["chain"], Json::parse("[1003, 1100]"));

  // The query command prints the same stop, short, under its status.
  const RunResult query = Dinfo({"category", "v", file, "--selector", "1", "--cond", "7=5"});
  EXPECT_EQ(query.exitCode, 1);
  EXPECT_NE(query.err.find("ErrCategoryLookup (-2021): the lookup of the category record failed\n  stopped: the "
                           "lookup of category record 1003 failed, at record 1100 (chain 1003 -> 1100): no row accepts "
                           "condition 7 = 5 "
                           "(the rows name 0, 1)"),
            std::string::npos)
      << query.err;
  // An unset condition is -1, which the rows do not name either.
  EXPECT_NE(Dinfo({"category", "v", file, "--selector", "1"}).err.find("no row accepts condition 7 = -1"),
            std::string::npos);
}

TEST_F(ExplainTest, AnAnsweredQueryShowsEachRecordAndTheAnswer) {
  const std::string file = BuildSample();
  const RunResult text = Dinfo({"explain", file, "category", "v", "--selector", "1", "--cond", "7=0", "--cond", "8=2"});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  for (const char *step : {"record 1010 gives 1 row (all-matches, int32, keyed on conditions 7)",
                           "record 2001 gives 2 rows (all-matches, int16, keyed on conditions 8)",
                           "DIGetCategoryInfoV answers 3"}) {
    EXPECT_NE(text.out.find(step), std::string::npos) << step << "\n" << text.out;
  }
  // A final block that selects nothing names the condition, as a chain does.
  EXPECT_NE(Dinfo({"explain", file, "category", "v", "--selector", "1", "--cond", "7=5"})
                .out.find("record 1010 gives 0 rows (all-matches, int32, keyed on conditions 7): no row accepts "
                          "condition 7 = 5 (the rows name 0, 1)"),
            std::string::npos);
  EXPECT_EQ(Dinfo({"explain", "--folder", Path(""), "--name", "sample.dat", "format"}).exitCode, 0);
  EXPECT_EQ(Dinfo({"explain", file, "table", "--selector", "1"}).exitCode, 1);  // no condition 9: one locator row
  EXPECT_EQ(Dinfo({"explain", file, "category", "x"}).exitCode, 2);
  EXPECT_EQ(Dinfo({"explain", file, "frobnicate"}).exitCode, 2);
}

TEST_F(ExplainTest, ConditionsListsWhatEachExportAndRecordKeysOn) {
  const std::string file = BuildSample();
  const Json json = DinfoJson({"conditions", file, "--json"});
  ASSERT_EQ(json["exports"].size(), 3u);
  const Json &categoryV = json["exports"][0];
  EXPECT_EQ(categoryV["query"], "category v");
  EXPECT_EQ(categoryV["conditions"]["7"]["values"], Json::parse("[0, 1]"));
  EXPECT_EQ(categoryV["conditions"]["8"], (Json{{"values", {2}}, {"anyValue", true}}));
  EXPECT_EQ(categoryV["records"], Json::parse("[1003, 1010, 2001, 2002, 2003, 1011]"));
  EXPECT_EQ(json["exports"][2]["conditions"]["9"]["values"], Json::parse("[0, 1]"));
  const RunResult text = Dinfo({"conditions", file});
  EXPECT_NE(text.out.find("category v (DIGetCategoryInfoV): 1=1,*  7=0,1  8=2,*"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("record 1020: 9=0,1,*"), std::string::npos) << text.out;
}

}  // namespace
}  // namespace dinfo::cli::test
