// The conveniences every command shares: "-" for standard input and
// output, outputs that never replace an input, one-line JSON, the version
// as JSON, near misses named, and counts in words.
#include <fstream>
#include <iterator>

#include "cli_test_support.h"

namespace dinfo::cli::test {
namespace {

class ConveniencesTest : public CliTest {};

TEST_F(ConveniencesTest, DashIsStandardInputWhereAFileIsReadAndStandardOutputWhereOneIsWritten) {
  const std::string sample = BuildSample();
  const writer::Bytes built = ReadFile("sample.dat");
  std::ifstream description(DINFO_SAMPLE_JSON, std::ios::binary);
  WriteText("sample.json", std::string(std::istreambuf_iterator<char>(description), {}));

  // The description from standard input, the file to standard output and
  // the summary beside it.
  RunResult result = DinfoWithInput({"build", "-", "-o", "-"}, "sample.json");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(".stdout"), built);
  EXPECT_EQ(result.err, "wrote standard output: 3956 bytes, 18 records\n");

  // An information file from standard input, named as such.
  result = DinfoWithInput({"format", "-"}, "sample.dat");
  EXPECT_EQ(result.out, "format type 3\n");
  result = DinfoWithInput({"check", "-"}, "sample.dat");
  EXPECT_EQ(result.out.rfind("standard input: no problems found\n", 0), 0u) << result.out;
  result = DinfoWithInput({"inspect", "-"}, "sample.dat");
  EXPECT_NE(result.out.find("standard input"), std::string::npos) << result.out;
  result = DinfoWithInput({"diff", sample, "-"}, "sample.dat");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.rfind(sample + " and standard input read alike", 0), 0u) << result.out;
  EXPECT_EQ(DinfoWithInput({"diff", "-", "-"}, "sample.dat").exitCode, 2);

  // The table's bytes to standard output, its description to standard error.
  ASSERT_EQ(Dinfo({"table", sample, "--out", "table.bin"}).exitCode, 0);
  result = Dinfo({"table", sample, "--out", "-"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(".stdout"), ReadFile("table.bin"));
  EXPECT_NE(result.err.find("array of 8 i16"), std::string::npos) << result.err;
  EXPECT_EQ(Dinfo({"table", sample, "--out", "-", "--plot", "-"}).exitCode, 2);
}

TEST_F(ConveniencesTest, NoOutputReplacesAnInputOfItsCommand) {
  const std::string sample = BuildSample();
  const writer::Bytes before = ReadFile("sample.dat");
  const std::string description = R"({"records": [{"id": 1000, "keyed": {"kind": "single", "rows": [{"values": [0]}]}}]})";
  WriteText("self.json", description);
  RunResult result = Dinfo({"build", "self.json", "-o", "self.json"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("-o 'self.json' would replace the input 'self.json'"), std::string::npos) << result.err;
  EXPECT_EQ(ReadFile("self.json").size(), description.size());
  for (const char *option : {"--out", "--plot"}) {
    result = Dinfo({"table", sample, option, "sample.dat"});
    EXPECT_EQ(result.exitCode, 2) << option;
    EXPECT_NE(result.err.find("would replace the input"), std::string::npos) << result.err;
  }
  EXPECT_EQ(ReadFile("sample.dat"), before);
  EXPECT_EQ(Dinfo({"table", sample, "--out", "t.out", "--plot", "t.out"}).exitCode, 2);
}

TEST_F(ConveniencesTest, CompactJsonAndTheVersionAsJson) {
  const std::string sample = BuildSample();
  RunResult result = Dinfo({"format", sample, "--compact"});
  EXPECT_EQ(result.out, "{\"call\":\"DIGetTableFormatType\",\"formatType\":3}\n");
  result = Dinfo({"diff", sample, sample, "--compact"});
  EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << result.out;
  EXPECT_EQ(Json::parse(result.out)["same"], true);
  // Errors too are one line.
  result = Dinfo({"format", "missing.dat", "--compact"});
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << result.out;

  const Json version = DinfoJson({"--version", "--json"});
  EXPECT_EQ(version["name"], "dinfo");
  EXPECT_TRUE(version["version"].is_string());
  EXPECT_TRUE(version["major"].is_number_integer());
  EXPECT_EQ(Dinfo({"--compact", "--version"}).out, version.dump() + "\n");
  // A refusal of the arguments is one line too.
  result = Dinfo({"format", "--compact", "--selectr"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(Json::parse(result.out)["exitCode"], 2);
  EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << result.out;
}

TEST_F(ConveniencesTest, NearMissesAreNamed) {
  const std::string sample = BuildSample();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"category", "v", sample, "--selectr", "1"}, "unknown option '--selectr' (did you mean '--selector'?)"},
      {{"inspect", sample, "--chek"}, "unknown option '--chek' (did you mean '--check'?)"},
      {{"diff", sample, sample, "--jsn"}, "unknown option '--jsn' (did you mean '--json'?)"},
      {{"table", sample, "--plott=a.svg"}, "unknown option '--plott' (did you mean '--plot'?)"},
      {{"category", "v", sample, "--as", "triplet"}, "'triplet' is not one of auto, triplets, named (did you mean 'triplets'?)"},
      {{"table", sample, "--as", "u61"}, "(did you mean 'u16'?)"},
      {{"tabel", sample}, "unknown command 'tabel' (did you mean 'table'?)"},
  };
  for (const auto &[arguments, expected] : cases) {
    const RunResult result = Dinfo(arguments);
    EXPECT_EQ(result.exitCode, 2) << arguments[0];
    EXPECT_NE(result.err.find(expected), std::string::npos) << expected << "\n" << result.err;
  }
  // Nothing near: no guess.
  EXPECT_EQ(Dinfo({"inspect", sample, "--zzzzzz"}).err.find("did you mean"), std::string::npos);
}

TEST_F(ConveniencesTest, CountsOfOneAreSingular) {
  WriteText("one.json", R"({"records": [{"id": 1000, "keyed": {"kind": "single", "rows": [{"values": [0]}]}}]})");
  EXPECT_EQ(Dinfo({"build", "one.json", "-o", "one.dat", "--force"}).out, "wrote one.dat: 120 bytes, 1 record\n");
  const std::string text = Dinfo({"inspect", "one.dat"}).out;
  EXPECT_NE(text.find(", 1 entry\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("1 entries"), std::string::npos) << text;
}

}  // namespace
}  // namespace dinfo::cli::test
