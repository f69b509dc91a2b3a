// The command line itself: help everywhere, and clear refusals of bad
// arguments and bad descriptions with their own exit codes.
#include "cli_test_support.h"

namespace dinfo::cli::test {
namespace {

class ArgumentTest : public CliTest {};

TEST_F(ArgumentTest, EverySubcommandHasHelpAndJson) {
  const RunResult top = Dinfo({"--help"});
  EXPECT_EQ(top.exitCode, 0);
  for (const char *command : {"format", "main", "category", "table", "inspect", "build"}) {
    const RunResult help = Dinfo({command, "--help"});
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_NE(help.out.find("Usage:"), std::string::npos) << command;
    EXPECT_NE(help.out.find("--json"), std::string::npos) << command;
    EXPECT_NE(top.out.find(command), std::string::npos) << command;
  }
}

TEST_F(ArgumentTest, BadArgumentsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},                                          // no subcommand
      {"frobnicate"},                              // unknown subcommand
      {"main"},                                    // no file
      {"category", "x", "f.dat"},                  // bad variant
      {"category", "v", "f.dat", "--cond", "7"},   // condition without value
      {"table", "f.dat", "--cond", "a=1"},         // condition not a number
      {"table", "f.dat", "--cond", "1=99999999999"},  // beyond 32 bits
      {"format", "f.dat", "--name", "g.dat"},      // both ways of naming a file
      {"format", "f.dat", "--selector"},           // unknown option
      {"build", "description.json"},                  // no output
  };
  for (const auto &arguments : cases) {
    const RunResult result = Dinfo(arguments);
    std::string shown;
    for (const std::string &argument : arguments) shown += argument + " ";
    EXPECT_EQ(result.exitCode, 2) << shown << "\n" << result.err;
    EXPECT_FALSE(result.err.empty()) << shown;
  }
}

TEST_F(ArgumentTest, BadDescriptionsNameTheirPlace) {
  struct Case {
    const char *description;
    const char *message;
  };
  const Case cases[] = {
      {"{", "bad.json: not valid JSON"},
      {R"({"records": [{"id": 1000}]})", "records[0]: a record needs \"keyed\", \"table\" or \"raw\""},
      {R"({"records": [{"id": 1000, "keyed": {"kind": "single", "rows": [{"values": [1, "x"]}]}}]})",
       "records[0].keyed.rows[0].values[1]"},
      {R"({"records": [{"id": 1, "keyed": {"kind": "all-matches", "keyIndex": [1], "rows": [{"keys": [], "values": [1]}]}}]})",
       "records[0].keyed.rows[0].keys: holds 0 keys for 1 key columns"},
      {R"({"records": [{"id": 1, "keyed": {"kind": "all-matches", "keyIndex": [300]}}]})",
       "records[0].keyed.keyIndex[0]: 300 is outside 0 to 299"},
      {R"({"records": [{"id": 1, "keyed": {"kind": "sideways"}}]})", "\"sideways\" is none of"},
      {R"({"records": [{"id": 1, "keyed": {"kind": "single", "valueType": "int8", "rows": [{"values": [300]}]}}]})",
       "300 is outside -128 to 255"},
      {R"({"records": [{"id": 1, "section": 12, "raw": "00"}]})", "section 12 is not listed"},
      {R"({"records": [{"id": 1, "raw": "0g"}]})", "is not a hex digit"},
      {R"({"records": [{"id": 1, "raw": "00", "colour": 1}]})", "unknown field \"colour\""},
      {R"({"sections": [16, 12], "records": []})", "sections[1]: section 12 would overlap"},
      {R"({"prefix": "00", "records": []})", "prefix: must be 8 bytes"},
      {R"({"sections": [12], "records": []})", "section 12 holds no record"},
      {R"({"records": [{"id": 1, "table": {"entries": [{"elementSize": 1, "array": []}]}}]})",
       "records[0].table.entries[0]: an empty array of 1-byte elements"},
      {R"({"records": [{"id": 1, "table": {"deltaCoded": true, "flags": 1}}]})", "must have flag bits 0 to 28 clear"},
      {R"({"records": [{"id": 1, "table": {"entries": [{"elementSize": 8, "array": [1]}]}}]})",
       "elements of 8 bytes are given as hex"},
  };
  for (const Case &test : cases) {
    WriteText("bad.json", test.description);
    const RunResult result = Dinfo({"build", "bad.json", "-o", "bad.dat"});
    EXPECT_EQ(result.exitCode, 3) << test.description;
    EXPECT_NE(result.err.find(test.message), std::string::npos) << test.description << "\n" << result.err;
  }
  EXPECT_EQ(Dinfo({"build", "missing.json", "-o", "x.dat"}).exitCode, 3);
  EXPECT_EQ(Dinfo({"inspect", "missing.dat"}).exitCode, 3);
}

}  // namespace
}  // namespace dinfo::cli::test
