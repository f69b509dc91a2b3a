// Running the dinfo executable from tests, and the temporary folder each
// test writes its files into.
#ifndef DINFO_TOOLS_CLI_TESTS_CLI_TEST_SUPPORT_H
#define DINFO_TOOLS_CLI_TESTS_CLI_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json_util.h"
#include "writer/writer.h"

namespace dinfo::cli::test {

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// The tool under test is the one built beside these tests, or a Windows
// build of it given as a shell command in DINFO_CLI_WINDOWS_COMMAND
// (dinfo.exe under Wine), which the same cases then drive.
bool TestingWindowsTool();

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs dinfo with the arguments (each shell-quoted) in the test's folder.
  RunResult Dinfo(const std::vector<std::string> &arguments) const;
  // The same with the file `input` of the test's folder as standard input;
  // standard output stays, byte for byte, in the file ".stdout".
  RunResult DinfoWithInput(const std::vector<std::string> &arguments, const std::string &input) const;
  // Runs dinfo and parses its standard output as JSON.
  Json DinfoJson(const std::vector<std::string> &arguments) const;

  std::string Path(const std::string &name) const { return folder_ + "/" + name; }
  void WriteFile(const std::string &name, const writer::Bytes &bytes) const;
  writer::Bytes ReadFile(const std::string &name) const;
  void WriteText(const std::string &name, const std::string &text) const;
  // Inspects the file, builds its description again and expects the same
  // bytes; returns the inspection.
  Json ExpectRebuildsIdentically(const std::string &name) const;
  // Builds examples/sample.json into `name` and returns its path.
  std::string BuildSample(const std::string &name = "sample.dat") const;

 private:
  std::string folder_;
};

}  // namespace dinfo::cli::test

#endif  // DINFO_TOOLS_CLI_TESTS_CLI_TEST_SUPPORT_H
