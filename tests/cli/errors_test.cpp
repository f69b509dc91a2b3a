// What a new user runs into: mistakes on the command line and inputs that
// are not information files. Every refusal names the file or place and the
// reason, and every command exits with the code of the one table.
#include <sys/stat.h>

#include <filesystem>

#include "cli_test_support.h"

namespace dinfo::cli::test {
namespace {

class ErrorTest : public CliTest {
 protected:
  void ExpectRefusal(const std::vector<std::string> &arguments, int exitCode, const std::string &message) const {
    std::string shown;
    for (const std::string &argument : arguments) shown += argument + " ";
    const RunResult result = Dinfo(arguments);
    EXPECT_EQ(result.exitCode, exitCode) << shown << "\n" << result.err;
    EXPECT_NE(result.err.find(message), std::string::npos) << shown << "\n" << result.err;
    EXPECT_EQ(result.err.find("dinfo: dinfo:"), std::string::npos) << shown;
    EXPECT_EQ(result.err.find("json.exception"), std::string::npos) << shown;
  }
};

TEST_F(ErrorTest, TopLevelMistakesAreNamed) {
  const RunResult version = Dinfo({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "dinfo 1.0.0\n");
  const RunResult help = Dinfo({"help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: dinfo [OPTIONS]"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("4  check (or inspect --check) found an error in a file"), std::string::npos) << help.out;
  EXPECT_NE(Dinfo({"help", "table"}).out.find("Usage: dinfo table"), std::string::npos);
  ExpectRefusal({"inpsect", "x.dat"}, 2, "unknown command 'inpsect' (did you mean 'inspect'?)");
  ExpectRefusal({"help", "tabel"}, 2, "unknown command 'tabel' (did you mean 'table'?)");
  ExpectRefusal({"frobnicate"}, 2, "unknown command 'frobnicate'; the commands are format,");
  ExpectRefusal({"--frob", "inspect"}, 2, "unknown option '--frob'");
  ExpectRefusal({}, 2, "a command is required");
}

TEST_F(ErrorTest, InputsThatAreNotFilesAreRefusedByEveryCommandAlike) {
  std::filesystem::create_directory(Path("folder.dat"));
  ASSERT_EQ(mkfifo(Path("fifo.dat").c_str(), 0600), 0);
  WriteText("big.dat", "");
  std::filesystem::resize_file(Path("big.dat"), 0x80000000ull);  // sparse: costs no disk
  struct Case {
    const char *file;
    const char *reason;
  };
  const Case cases[] = {{"missing.dat", "cannot open 'missing.dat': No such file or directory"},
                        {"folder.dat", "cannot read 'folder.dat': it is a folder, not a file"},
                        {"fifo.dat", "cannot read 'fifo.dat': it is a FIFO, not a file"},
                        {"/dev/zero", "cannot read '/dev/zero': it is a character device, not a file"},
                        {"big.dat", "its 2147483648 bytes are more than the 2147483647"}};
  for (const Case &test : cases) {
    for (const char *command : {"format", "main", "inspect"}) ExpectRefusal({command, test.file}, 3, test.reason);
    ExpectRefusal({"build", test.file, "-o", "out.dat"}, 3, test.reason);
  }
  ExpectRefusal({"table", "missing.dat", "--cond", "x"}, 2, "--cond 'x'");  // usage before input
  // --json gives the error on stdout as JSON too.
  const RunResult json = Dinfo({"inspect", "missing.dat", "--json"});
  EXPECT_EQ(json.exitCode, 3);
  EXPECT_EQ(Json::parse(json.out), Json::parse(R"({"error": "cannot open 'missing.dat': No such file or directory",
                                                   "exitCode": 3})"));
  ExpectRefusal({"build", DINFO_SAMPLE_JSON, "-o", Path("folder.dat")}, 3, "folder.dat': Is a directory");
  ExpectRefusal({"build", DINFO_SAMPLE_JSON, "-o", Path("none/x.dat")}, 3, "x.dat': No such file or directory");
}

TEST_F(ErrorTest, DamagedFilesFailTheCheckAndNameTheirFirstProblem) {
  const std::string sample = BuildSample();
  const RunResult sound = Dinfo({"inspect", "--check", "sample.dat"});
  EXPECT_EQ(sound.exitCode, 0) << sound.out;
  EXPECT_EQ(sound.out.rfind("sample.dat: no problems found\n", 0), 0u) << sound.out;
  const writer::Bytes bytes = ReadFile("sample.dat");
  WriteFile("empty.dat", {});
  WriteFile("truncated.dat", writer::Bytes(bytes.begin(), bytes.begin() + 100));
  writer::Bytes garbage(3000);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
  WriteFile("garbage.dat", garbage);
  for (const char *file : {"empty.dat", "truncated.dat", "garbage.dat"}) {
    const RunResult check = Dinfo({"inspect", "--check", file});
    EXPECT_EQ(check.exitCode, 4) << file;
    EXPECT_NE(check.out.find(std::string(file) + ": "), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("directory of section 8: "), std::string::npos) << check.out;
    const Json json = Json::parse(Dinfo({"inspect", "--check", "--json", file}).out);
    EXPECT_FALSE(json["problems"].empty()) << file;
    // The failing query says where the status lookup stopped, not a guess.
    ExpectRefusal({"format", file}, 1, "ErrFormatType (-2025): the format type could not be read from the status "
                                       "record (1000)\n  stopped: the status record's lookup fails, at record 1000: ");
  }
  // A section none of whose records reads is left out of the description,
  // which therefore still builds.
  WriteText("lost.json", R"({"sections": [12], "records": [{"section": 12, "id": 1, "raw": "01020304"}]})");
  ASSERT_EQ(Dinfo({"build", "lost.json", "-o", "lost.dat", "--force"}).exitCode, 0);
  writer::Bytes lost = ReadFile("lost.dat");
  const auto sizeWord = DinfoJson({"inspect", "lost.dat", "--json"})["records"][0]["offset"].get<std::size_t>();
  writer::PutI32(lost, sizeWord, -5);
  WriteFile("lost.dat", lost);
  const Json inspection = DinfoJson({"inspect", "lost.dat", "--json"});
  EXPECT_EQ(inspection["sections"], Json::array({8}));
  EXPECT_FALSE(inspection.contains("rebuildError")) << inspection["rebuildError"];
  WriteText("lost-again.json", inspection.dump());
  EXPECT_EQ(Dinfo({"build", "lost-again.json", "-o", "rebuilt.dat", "--force"}).exitCode, 0);
  EXPECT_EQ(Dinfo({"inspect", "--check", "lost.dat"}).exitCode, 4);

  // A single block of the header's size alone, its trailer over the
  // header's unused last bytes, is read as the library reads it: two rows
  // without values.
  writer::Bytes headerOnly(80, 0);
  headerOnly[0] = 1;   // kind: single block
  headerOnly[10] = 2;  // rowCount
  writer::ScrambleBlock(headerOnly, 0x0BADF00Du);
  writer::InfoFile small = writer::NewInfoFile();
  writer::AddRecord(small, writer::MainSectionKey, 1000, headerOnly);
  WriteFile("header-only.dat", writer::Finish(small));
  const Json headerOnlyInspection = DinfoJson({"inspect", "header-only.dat", "--json"});
  EXPECT_EQ(headerOnlyInspection["records"][0]["keyedView"]["rowCount"], 2) << headerOnlyInspection.dump();
  EXPECT_EQ(headerOnlyInspection["frame"]["rows"], 2) << headerOnlyInspection.dump();

  // Status values beyond the status check's 400 bytes fail its lookup.
  std::string values = "0";
  for (int i = 1; i < 101; ++i) values += ", 1";
  WriteText("crowded.json", R"({"records": [{"id": 1000, "keyed": {"kind": "single", "valueType": "int32",
                                "rows": [{"values": [)" + values + "]}]}}]}");
  ASSERT_EQ(Dinfo({"build", "crowded.json", "-o", "crowded.dat", "--force"}).exitCode, 0);
  const RunResult crowded = Dinfo({"inspect", "--check", "crowded.dat"});
  EXPECT_EQ(crowded.exitCode, 4);
  EXPECT_NE(crowded.out.find("every query but the format query gives ErrStatusLookup"), std::string::npos)
      << crowded.out;
  ExpectRefusal({"format", "crowded.dat"}, 1, "ErrFormatType (-2025)");

  // A stored format type of -2006 is told apart from a file that did not open.
  WriteText("negative.json", R"({"records": [{"id": 1000, "keyed": {"kind": "single", "rows": [{"values": [0]},
                                                                                        {"values": [-2006]}]}}]})");
  ASSERT_EQ(Dinfo({"build", "negative.json", "-o", "negative.dat", "--force"}).exitCode, 0);
  ExpectRefusal({"format", "negative.dat"}, 1, "the file stores the negative format type -2006 (the same number as ErrOpenFile)");
}

TEST_F(ErrorTest, BadDescriptionsNameTheFileThePlaceAndTheReason) {
  struct Case {
    const char *description;
    const char *message;
  };
  const Case cases[] = {
      {"{\"records\": [}", "bad.json: not valid JSON: parse error at line 1, column 14"},
      {R"({"records": {"id": 1}})", "bad.json: description.records: expected an array"},
      {R"({"records": [{"id": "one", "raw": "00"}]})", "records[0].id: expected an integer or a hex string"},
      {R"({"records": [{"id": true, "raw": "00"}]})", "records[0].id: expected an integer, got boolean true"},
      {R"({"records": [{"id": 1.5, "raw": "00"}]})", "records[0].id: expected an integer, got 1.5"},
      {R"({"records": [{"id": 12345678901234567890, "raw": "00"}]})",
       "records[0].id: 12345678901234567890 is outside -2147483648 to 2147483647"},
      {R"({"records": [{"id": 123456789012345678901, "raw": "00"}]})", "records[0].id: 1.2345678901234568e+20 is outside"},
      {R"({"records": [{"id": 1, "raw": "00", "table": {}}]})",
       "records[0]: a record holds exactly one of \"keyed\", \"table\" or \"raw\", this one has \"table\" and \"raw\""},
      {R"({"records": [{"id": 1, "keyed": {}, "table": {}}]})", "this one has \"keyed\" and \"table\""},
  };
  for (const Case &test : cases) {
    WriteText("bad.json", test.description);
    ExpectRefusal({"build", "bad.json", "-o", "bad.dat"}, 3, test.message);
  }
}

}  // namespace
}  // namespace dinfo::cli::test
