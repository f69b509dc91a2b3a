#include "cli_test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace dinfo::cli::test {
namespace {

std::string Quote(const std::string &argument) {
  std::string out = "'";
  for (char c : argument) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const char *WindowsToolCommand() { return std::getenv("DINFO_CLI_WINDOWS_COMMAND"); }

// The Windows tool ends its lines of text as Windows does.
std::string SlurpText(const std::string &path) {
  std::string text = Slurp(path);
  if (TestingWindowsTool()) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) text[kept++] = text[i];
    }
    text.resize(kept);
  }
  return text;
}

RunResult RunOnce(const std::string &command, const std::string &outPath, const std::string &errPath) {
  const int status = std::system(command.c_str());
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = SlurpText(outPath);
  result.err = SlurpText(errPath);
  return result;
}

}  // namespace

bool TestingWindowsTool() { return WindowsToolCommand() != nullptr && *WindowsToolCommand() != '\0'; }

void CliTest::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dinfo-cli-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  folder_ = pattern;
}

void CliTest::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

RunResult CliTest::Dinfo(const std::vector<std::string> &arguments) const { return DinfoWithInput(arguments, ""); }

RunResult CliTest::DinfoWithInput(const std::vector<std::string> &arguments, const std::string &input) const {
  std::string command = "cd " + Quote(folder_) + " && " + (TestingWindowsTool() ? WindowsToolCommand() : Quote(DINFO_CLI_PATH));
  for (const std::string &argument : arguments) command += " " + Quote(argument);
  const std::string outPath = Path(".stdout");
  const std::string errPath = Path(".stderr");
  command += " >" + Quote(outPath) + " 2>" + Quote(errPath);
  if (!input.empty()) command += " <" + Quote(Path(input));
  RunResult result = RunOnce(command, outPath, errPath);
  // The tool says why whenever it fails, so a failure without a word came
  // from Wine starting the process (seen once on a loaded machine); the
  // second try is announced, never silent.
  if (TestingWindowsTool() && result.exitCode != 0 && result.out.empty() && result.err.empty()) {
    std::fprintf(stderr, "note: Wine ended a run with %d and no output; running it again: %s\n",
                 result.exitCode, command.c_str());
    result = RunOnce(command, outPath, errPath);
  }
  return result;
}

Json CliTest::DinfoJson(const std::vector<std::string> &arguments) const {
  const RunResult result = Dinfo(arguments);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  Json parsed;
  try {
    parsed = Json::parse(result.out);
  } catch (const Json::parse_error &error) {
    ADD_FAILURE() << "output is not JSON: " << error.what() << "\n" << result.out;
  }
  return parsed;
}

void CliTest::WriteFile(const std::string &name, const writer::Bytes &bytes) const {
  ASSERT_TRUE(writer::WriteBytes(Path(name), bytes));
}

writer::Bytes CliTest::ReadFile(const std::string &name) const {
  const std::string text = Slurp(Path(name));
  return writer::Bytes(text.begin(), text.end());
}

void CliTest::WriteText(const std::string &name, const std::string &text) const {
  std::ofstream(Path(name), std::ios::binary) << text;
}

Json CliTest::ExpectRebuildsIdentically(const std::string &name) const {
  const Json inspection = DinfoJson({"inspect", name, "--json"});
  EXPECT_EQ(inspection["rebuildsIdentically"], true);
  WriteText("rebuilt.json", inspection.dump());
  const RunResult built = Dinfo({"build", "rebuilt.json", "-o", "rebuilt.dat", "--force"});
  EXPECT_EQ(built.exitCode, 0) << built.err;
  EXPECT_EQ(ReadFile("rebuilt.dat"), ReadFile(name));
  return inspection;
}

std::string CliTest::BuildSample(const std::string &name) const {
  const RunResult result = Dinfo({"build", DINFO_SAMPLE_JSON, "-o", name});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return Path(name);
}

}  // namespace dinfo::cli::test
