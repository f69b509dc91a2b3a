// Each query on the sample file, as text and as JSON, and the failures a
// caller meets, named with their codes.
#include "cli_test_support.h"

namespace dinfo::cli::test {
namespace {

class QueryTest : public CliTest {};

TEST_F(QueryTest, FormatTypeOfTheSample) {
  const std::string file = BuildSample();
  const RunResult text = Dinfo({"format", file});
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_EQ(text.out, "format type 3\n");
  EXPECT_EQ(DinfoJson({"format", file, "--json"})["formatType"], 3);
  // The same file named as the exports take it: a folder and a name.
  EXPECT_EQ(DinfoJson({"format", "--folder", Path(""), "--name", "sample.dat", "--json"})["formatType"], 3);
}

TEST_F(QueryTest, MainListsOfTheSample) {
  const std::string file = BuildSample();
  const Json answer = DinfoJson({"main", file, "--json"});
  ASSERT_EQ(answer["namedEntries"].size(), 3u);
  EXPECT_EQ(answer["namedEntries"][0], (Json{{"leading", 1}, {"name", "ScanMaster 9000"}, {"trailing", 1}}));
  EXPECT_EQ(answer["triplets"], Json::parse("[[300,300,8],[600,600,16],[1200,1200,16]]"));
  const RunResult text = Dinfo({"main", file});
  EXPECT_NE(text.out.find("[2] 3  \"Flatbed A4 with document feeder\"  0"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("[1] 600, 600, 16"), std::string::npos) << text.out;
}

TEST_F(QueryTest, CategoryVFollowsTheChainAndGathersListedRecords) {
  const std::string file = BuildSample();
  // Selector 1 leads to record 1010; condition 7 = 0 lists 2001 and 2002,
  // whose int16 values are widened; condition 8 = 2 takes 2001's second row.
  Json answer = DinfoJson({"category", "v", file, "--selector", "1", "--cond", "7=0", "--cond", "8=2", "--json"});
  EXPECT_EQ(answer["count"], 3);
  EXPECT_EQ(answer["elementType"], "IntegerTriplet");
  EXPECT_EQ(answer["elements"], Json::parse("[[10,20,30],[-1,400,32000],[7,8,9]]"));
  // Any other selector takes the wildcard row to 1011, which lists 2003 (int8).
  answer = DinfoJson({"category", "v", file, "--selector", "4", "--json"});
  EXPECT_EQ(answer["elements"], Json::parse("[[1,-2,127]]"));
}

TEST_F(QueryTest, CategorySGivesNamedEntries) {
  const std::string file = BuildSample();
  Json answer = DinfoJson({"category", "s", file, "--selector", "1", "--json"});
  EXPECT_EQ(answer["elementType"], "NamedEntry");
  EXPECT_EQ(answer["elements"][1], (Json{{"leading", 0}, {"name", "sRGB IEC61966-2.1"}, {"trailing", 1}}));
  answer = DinfoJson({"category", "S", file, "--selector", "2", "--json"});
  EXPECT_EQ(answer["elements"], Json::parse(R"([{"leading":5,"name":"Lamp warm-up 30 s","trailing":30}])"));
  const RunResult text = Dinfo({"category", "s", file, "--selector", "1"});
  EXPECT_NE(text.out.find("2 elements (named entries)"), std::string::npos) << text.out;
}

TEST_F(QueryTest, FailuresAreNamedOnStderrWithExitCodeOne) {
  const std::string file = BuildSample();
  RunResult result;
  result = Dinfo({"category", "v", file, "--cond", "300=1"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("ErrConditionIndex (-2004)"), std::string::npos) << result.err;

  // Selector 1 without condition 7 selects no row of record 1010.
  result = Dinfo({"category", "v", file, "--selector", "1", "--json"});
  EXPECT_EQ(result.exitCode, 1);
  const Json answer = Json::parse(result.out);
  EXPECT_EQ(answer["status"], -2009);
  EXPECT_EQ(answer["name"], "ErrNoCategory");

}

TEST_F(QueryTest, AnUnusableFileIsRefusedButItsFormatTypeStillShown) {
  Json description = Json::parse(std::string(R"({"records": [
    {"id": 1000, "keyed": {"kind": "single", "valuesPerRow": 1, "rows": [{"values": [5]}, {"values": [2]}]}}]})"));
  WriteText("unusable.json", description.dump());
  ASSERT_EQ(Dinfo({"build", "unusable.json", "-o", "unusable.dat", "--force"}).exitCode, 0);
  EXPECT_EQ(Dinfo({"format", "unusable.dat"}).out, "format type 2\n");
  const RunResult result = Dinfo({"main", "unusable.dat"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("ErrFileUnusable (-2003)"), std::string::npos) << result.err;
  // inspect says why, and warns of a status record the format query cannot read.
  EXPECT_NE(Dinfo({"inspect", "unusable.dat"}).out.find("file status 5 marks the file unusable"), std::string::npos);
  WriteText("one-row.json", R"({"records": [{"id": 1000, "keyed": {"kind": "single", "rows": [{"values": [0, 2]}]}}]})");
  ASSERT_EQ(Dinfo({"build", "one-row.json", "-o", "one-row.dat", "--force"}).exitCode, 0);
  EXPECT_NE(Dinfo({"format", "one-row.dat"}).err.find("ErrFormatType (-2025)"), std::string::npos);
  EXPECT_NE(Dinfo({"inspect", "one-row.dat"}).out.find("status record 1000: the status record yields 1 row"), std::string::npos);
}

}  // namespace
}  // namespace dinfo::cli::test
