// check on a sound file and on one damaged copy for each problem code:
// every copy is named with its code, errors make the exit code 4, and
// build refuses what check calls an error.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "analysis/condition_sweep.h"
#include "analysis/problem_codes.h"
#include "cli_test_support.h"
#include "common/bytes.h"

namespace dinfo::cli::test {
namespace {

// A small file every query of which answers: category V through a chain
// on the selector, category S and the table locator without conditions.
Json SoundDescription() {
  return Json::parse(R"({"sections": [8, 12], "records": [
    {"id": 1000, "keyed": {"kind": "single", "valueType": "int32", "rows": [{"values": [0]}, {"values": [2]}]}},
    {"id": 1001, "keyed": {"kind": "single", "valueType": "text", "rows": [{"values": ["Scanner"]}]}},
    {"id": 1002, "keyed": {"kind": "single", "valueType": "int32", "rows": [{"values": [300, 300, 8]}]}},
    {"id": 1003, "keyed": {"kind": "chain", "keyIndex": [1], "rows": [{"keys": [1], "values": [1010]}]}},
    {"id": 1010, "keyed": {"kind": "single", "valueType": "int32", "rows": [{"values": [2001, 2002, 0]}]}},
    {"id": 2001, "keyed": {"kind": "single", "valueType": "int16", "rows": [{"values": [1, 2, 3]}]}},
    {"id": 2002, "keyed": {"kind": "single", "valueType": "int16", "rows": [{"values": [4, 5, 6]}]}},
    {"id": 1004, "keyed": {"kind": "single", "valueType": "int32", "rows": [{"values": [3001, 0]}]}},
    {"id": 3001, "keyed": {"kind": "single", "valueType": "text", "rows": [{"values": ["sRGB"]}]}},
    {"id": 1005, "keyed": {"kind": "single", "valueType": "int32", "rows": [{"values": [80, 12, 0]}, {"values": [81, 1, 0]}]}},
    {"section": 12, "id": 1, "table": {"entries": [{"elementSize": 2, "array": [1, 2, 3]}]}}]})");
}

Json &RecordOf(Json &description, std::int32_t id, std::int32_t section = 8) {
  for (Json &record : description["records"]) {
    if (record["id"] == id && record.value("section", 8) == section) return record;
  }
  throw std::logic_error("no record " + std::to_string(id));
}

Json Keyed(const std::string &text) { return Json::parse(text); }

// A scrambled keyed block whose header claims 17 keys.
std::string UnsoundKeyedHex() {
  writer::Bytes header(80, 0);
  header[0] = 2;   // first-match
  header[4] = 17;  // keyCount
  writer::ScrambleBlock(header, 0x1234ABCDu);
  return ToHex(header);
}

// Each damaged copy, by the code it must be reported with.
std::map<std::string, Json> DamagedDescriptions() {
  std::map<std::string, Json> cases;
  auto add = [&](const std::string &code, auto change) {
    Json description = SoundDescription();
    change(description);
    cases[code] = description;
  };
  add("status-lookup", [](Json &d) {
    Json rows = Json::array();
    for (int i = 0; i < 101; ++i) rows.push_back(Json{{"values", {0}}});
    RecordOf(d, 1000)["keyed"]["rows"] = rows;  // more than the status check's 400 bytes
  });
  add("file-unusable", [](Json &d) { RecordOf(d, 1000)["keyed"]["rows"][0]["values"][0] = 5; });
  add("format-type-unreadable", [](Json &d) {
    // Read without conditions, a chain is its own final block, and its
    // keyed rows match no condition vector: no row.
    RecordOf(d, 1000)["keyed"] = Keyed(R"({"kind": "chain", "keyIndex": [1], "rows": [{"keys": [1], "values": [1011]}]})");
    d["records"].push_back(Json::parse(R"({"id": 1011, "keyed": {"kind": "single", "valueType": "int32",
                                          "rows": [{"values": [0]}, {"values": [2]}]}})"));
  });
  add("format-type-negative", [](Json &d) { RecordOf(d, 1000)["keyed"]["rows"][1]["values"][0] = -3; });
  add("status-value-type", [](Json &d) { RecordOf(d, 1000)["keyed"]["valueType"] = "int8"; });
  add("main-value-type", [](Json &d) { RecordOf(d, 1001)["keyed"] = Keyed(R"({"kind": "single", "valueType": "int32", "rows": [{"values": [1]}]})"); });
  add("duplicate-record", [](Json &d) {
    d["records"].push_back(Json::parse(R"({"id": 1003, "keyed": {"kind": "single", "valueType": "int32", "rows": [{"values": [2002, 0]}]}})"));
  });
  add("missing-record", [](Json &d) { RecordOf(d, 1003)["keyed"]["rows"][0]["values"][0] = 1999; });
  add("not-a-table", [](Json &d) { RecordOf(d, 1, 12) = Json::parse(R"({"section": 12, "id": 1, "raw": "0011223344556677"})"); });
  add("chain-loop", [](Json &d) { RecordOf(d, 1003)["keyed"]["rows"][0]["values"][0] = 1003; });
  add("table-damaged", [](Json &d) {
    // The magic, then a totalSize past the record.
    RecordOf(d, 1, 12) = Json::parse(R"({"section": 12, "id": 1, "raw": "16851750e703000000000000000000000000000000000000"})");
  });
  add("table-unprepared", [](Json &d) {
    RecordOf(d, 1, 12)["table"] = Json::parse(R"({"deltaCoded": true, "entries": [{"elementSize": 8, "array": ["0100000000000000"]}]})");
  });
  add("mixed-value-types", [](Json &d) { RecordOf(d, 2002)["keyed"]["valueType"] = "int32"; });
  add("unreachable-record", [](Json &d) {
    d["records"].push_back(Json::parse(R"({"id": 4242, "keyed": {"kind": "single", "valueType": "int32", "rows": [{"values": [1]}]}})"));
  });
  add("export-fails", [](Json &d) { RecordOf(d, 1004)["keyed"]["disabled"] = 1; });
  add("selector-fails", [](Json &d) {
    RecordOf(d, 1003)["keyed"]["rows"].push_back(Json{{"keys", {2}}, {"values", {1013}}});
    d["records"].push_back(Json::parse(R"({"id": 1013, "keyed": {"kind": "single", "valueType": "int32", "disabled": 1,
                                          "rows": [{"values": [2001, 0]}]}})"));
  });
  add("record-damaged", [](Json &d) { RecordOf(d, 1003) = Json{{"id", 1003}, {"raw", UnsoundKeyedHex()}}; });
  return cases;
}

class CheckTest : public CliTest {
 protected:
  // The main section's directory entry for `id`: its three words' offset.
  static std::size_t EntryOf(const writer::Bytes &bytes, std::int32_t id) {
    const auto directory = std::size_t(ReadI32LittleEndian(bytes.data() + 8));
    const auto count = ReadI32LittleEndian(bytes.data() + directory);
    for (std::int32_t i = 0; i < count; ++i) {
      const std::size_t entry = directory + 4 + 12 * std::size_t(i);
      if (ReadI32LittleEndian(bytes.data() + entry + 4) == id) return entry;
    }
    ADD_FAILURE() << "no entry for record " << id;
    return 0;
  }

  // Files the writer will not make, laid by hand from the sound one.
  std::map<std::string, writer::Bytes> HandLaidFiles() const {
    Json description = SoundDescription();
    description["records"].push_back(Json::parse(R"({"id": 4242, "keyed": {"kind": "single", "valueType": "int32",
                                                    "rows": [{"values": [1]}]}})"));
    WriteText("base.json", ToText(description));
    EXPECT_EQ(Dinfo({"build", "base.json", "-o", "base.dat", "--force"}).exitCode, 0);
    const writer::Bytes base = ReadFile("base.dat");
    std::map<std::string, writer::Bytes> files;
    writer::Bytes foreign = base;
    WriteU32LittleEndian(foreign.data() + EntryOf(base, 4242), 99);  // filed under section 99
    files["foreign-entry"] = foreign;
    writer::Bytes farAway = base;
    WriteU32LittleEndian(farAway.data() + EntryOf(base, 4242) + 8, 1u << 20);  // past the end
    files["record-unreadable"] = farAway;
    files["file-too-short"] = writer::Bytes(base.begin(), base.begin() + 8);
    writer::Bytes lostDirectory = base;
    WriteU32LittleEndian(lostDirectory.data() + 8, 1u << 20);
    files["section-unreadable"] = lostDirectory;
    return files;
  }
};

TEST_F(CheckTest, TheSoundFileAndTheSampleHaveNoProblems) {
  WriteText("sound.json", ToText(SoundDescription()));
  const RunResult built = Dinfo({"build", "sound.json", "-o", "sound.dat"});
  ASSERT_EQ(built.exitCode, 0) << built.err;
  EXPECT_EQ(built.err, "");
  BuildSample();
  const RunResult text = Dinfo({"check", "sound.dat", "sample.dat"});
  EXPECT_EQ(text.exitCode, 0) << text.out;
  EXPECT_NE(text.out.find("sound.dat: no problems found\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("sample.dat: no problems found\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("checked 2 files: 0 with errors, 0 with warnings only, 2 without problems"), std::string::npos);
  // The sample's failing combinations are summarised by where they stopped.
  EXPECT_NE(text.out.find("category v: 2 combinations ErrNoCategory: category record 1003 selected no row, at "
                          "record 1010 (chain 1003 -> 1010): no row accepts condition 7 = -1"),
            std::string::npos)
      << text.out;
  const Json json = DinfoJson({"check", "sound.dat", "--json"});
  EXPECT_EQ(json["file"], "sound.dat");
  EXPECT_EQ(json["problems"], Json::array());
  EXPECT_EQ(json["sweep"].size(), 5u);
}

TEST_F(CheckTest, EachProblemIsNamedWithItsCodeAndSeverity) {
  std::vector<std::string> arguments = {"check", "--json"};
  std::map<std::string, std::string> codeOf;  // file -> the code it must show
  for (const auto &[code, description] : DamagedDescriptions()) {
    WriteText(code + ".json", ToText(description));
    const RunResult built = Dinfo({"build", code + ".json", "-o", code + ".dat", "--force"});
    ASSERT_EQ(built.exitCode, 0) << code << ": " << built.err;
    arguments.push_back(code + ".dat");
    codeOf[code + ".dat"] = code;
  }
  for (const auto &[code, bytes] : HandLaidFiles()) {
    WriteFile(code + ".dat", bytes);
    arguments.push_back(code + ".dat");
    codeOf[code + ".dat"] = code;
  }
  arguments.push_back("absent.dat");
  codeOf["absent.dat"] = "file-unreadable";
  // sweep-cut: the sound file with room for fewer calls than it has combinations.
  WriteText("sound.json", ToText(SoundDescription()));
  ASSERT_EQ(Dinfo({"build", "sound.json", "-o", "sound.dat"}).exitCode, 0);
  const Json cut = Json::parse(Dinfo({"check", "sound.dat", "--json", "--calls", "3"}).out);
  ASSERT_FALSE(cut["problems"].empty());
  EXPECT_EQ(cut["problems"][0]["code"], "sweep-cut");

  const RunResult result = Dinfo(arguments);
  EXPECT_EQ(result.exitCode, 4);
  const Json checks = Json::parse(result.out);
  ASSERT_EQ(checks.size(), codeOf.size());
  std::set<std::string> seen;
  for (const Json &check : checks) {
    const std::string code = codeOf.at(check["file"]);
    bool found = false;
    for (const Json &problem : check["problems"]) {
      if (problem["code"] != code) continue;
      found = true;
      EXPECT_EQ(problem["severity"], SeverityName(FindProblemCode(code).severity)) << code;
    }
    EXPECT_TRUE(found) << code << ": " << check.dump(1);
    seen.insert(code);
    // Every code is in the one table, and a file with an error counts it.
    for (const Json &problem : check["problems"]) EXPECT_NO_THROW(FindProblemCode(problem["code"]));
  }
  seen.insert("sweep-cut");
  for (const ProblemCode &entry : ProblemCodes) EXPECT_EQ(seen.count(entry.code), 1u) << "no case for " << entry.code;
}

// The README's table of codes is the tool's own, row for row.
TEST_F(CheckTest, TheDocumentedTableIsTheToolsOwn) {
  std::ifstream readme(DINFO_CLI_README);
  const std::string text((std::istreambuf_iterator<char>(readme)), std::istreambuf_iterator<char>());
  std::size_t rows = 0;
  for (const ProblemCode &entry : ProblemCodes) {
    const std::string row = "| `" + std::string(entry.code) + "` | " + SeverityName(entry.severity) + " | " + entry.meaning + " |";
    EXPECT_NE(text.find(row), std::string::npos) << row;
    rows += text.find("| `" + std::string(entry.code) + "` |") != std::string::npos;
  }
  EXPECT_EQ(rows, std::size(ProblemCodes));
}

TEST_F(CheckTest, FailingQueriesNameWhereTheyStopped) {
  const std::map<std::string, Json> cases = DamagedDescriptions();
  WriteText("status.json", ToText(cases.at("format-type-unreadable")));
  ASSERT_EQ(Dinfo({"build", "status.json", "-o", "status.dat", "--force"}).exitCode, 0);
  RunResult result = Dinfo({"check", "status.dat"});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_NE(result.out.find("error format-type-unreadable: status record 1000: the status record yields 0 rows"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("(the status record stops it)"), std::string::npos) << result.out;
  // inspect --check is check.
  EXPECT_EQ(Dinfo({"inspect", "--check", "status.dat"}).out, result.out);

  WriteText("disabled.json", ToText(cases.at("export-fails")));
  ASSERT_EQ(Dinfo({"build", "disabled.json", "-o", "disabled.dat", "--force"}).exitCode, 0);
  result = Dinfo({"check", "disabled.dat"});
  EXPECT_NE(result.out.find("error export-fails: DIGetCategoryInfoS: fails (ErrRecordDisabled); e.g. category s "
                            "--selector 0: the final block of category record 1004 is disabled"),
            std::string::npos)
      << result.out;
}

TEST_F(CheckTest, BuildRefusesErrorsAndWarnsOnTheRest) {
  const std::map<std::string, Json> cases = DamagedDescriptions();
  WriteText("duplicate.json", ToText(cases.at("duplicate-record")));
  RunResult result = Dinfo({"build", "duplicate.json", "-o", "duplicate.dat"});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_NE(result.err.find("duplicate.json: error duplicate-record: record 1003 in section 8: appears again"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("not written: check finds 1 error"), std::string::npos) << result.err;
  EXPECT_FALSE(std::filesystem::exists(Path("duplicate.dat")));

  WriteText("spare.json", ToText(cases.at("unreachable-record")));
  result = Dinfo({"build", "spare.json", "-o", "spare.dat"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.err.find("spare.json: warning unreachable-record: record 4242 in section 8"), std::string::npos)
      << result.err;
  EXPECT_TRUE(std::filesystem::exists(Path("spare.dat")));
}

// The value no row names is -1 (unset) when it is free, else the next
// below; an index only wildcards key on is swept with it alone.
TEST(ConditionSweepTest, EachNamedValueAndOneNoRowNames) {
  KeyedConditions conditions;
  conditions.values[SelectorIndex] = {1, -1};
  conditions.values[9] = {4};
  conditions.wildcards.insert(7);
  const std::vector<Axis> axes = SweepAxes(conditions);
  ASSERT_EQ(axes.size(), 3u);
  EXPECT_EQ(axes[0].values, (std::vector<std::int32_t>{-1, 1, -2}));
  EXPECT_EQ(axes[1].values, (std::vector<std::int32_t>{-1}));
  EXPECT_EQ(Combinations(axes), 6);
  std::vector<std::string> swept;
  std::vector<std::size_t> at(axes.size(), 0);
  do {
    swept.push_back(QueryWords(SpecAt(QueryKind::Table, axes, at)));
  } while (NextCombination(axes, at));
  EXPECT_EQ(swept, (std::vector<std::string>{"table --selector -1 --cond 9=4", "table --selector -1",
                                             "table --selector 1 --cond 9=4", "table --selector 1",
                                             "table --selector -2 --cond 9=4", "table --selector -2"}));
}

}  // namespace
}  // namespace dinfo::cli::test
