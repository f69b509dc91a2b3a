// Files named the ways callers name them: folders with non-ASCII names,
// given as the exports' folder or inside a path, and for the Windows tool
// also with backslashes and a drive letter.
#include <algorithm>
#include <filesystem>

#include "cli_test_support.h"

namespace dinfo::cli::test {
namespace {

class PathTest : public CliTest {
 protected:
  // Makes `folder` in the test's folder and builds the sample into it.
  void BuildSampleInto(const std::string &folder, const std::string &asNamed) const {
    std::filesystem::create_directory(Path(folder));
    const RunResult built = Dinfo({"build", DINFO_SAMPLE_JSON, "-o", asNamed + "sample.dat"});
    ASSERT_EQ(built.exitCode, 0) << built.err;
  }
};

// One folder name the ANSI code page 1252 spells, and one it does not.
const std::string WesternFolder = "Größe Ärger";
const std::string FarFolder = "表格 ☃";

TEST_F(PathTest, FoldersWithNonAsciiNamesAnswerAsAnyOther) {
  const Json expectedMain = DinfoJson({"main", BuildSample(), "--json"});
  const Json expectedRecords = DinfoJson({"inspect", "sample.dat", "--json"})["records"];
  for (const std::string &folder : {WesternFolder, FarFolder}) {
    BuildSampleInto(folder, folder + "/");
    EXPECT_EQ(DinfoJson({"main", "--folder", Path(folder), "--name", "sample.dat", "--json"}), expectedMain) << folder;
    const RunResult table = Dinfo({"table", "--folder", Path(folder), "--name", "sample.dat", "--selector", "1", "--cond",
                                   "9=0", "--out", folder + "/table.bin"});
    EXPECT_EQ(table.exitCode, 0) << folder << "\n" << table.err;
    EXPECT_FALSE(ReadFile(folder + "/table.bin").empty()) << folder;
    EXPECT_EQ(DinfoJson({"inspect", folder + "/sample.dat", "--json"})["records"], expectedRecords) << folder;
  }
  // As a path the name goes to the exports whole, in the ANSI code page on
  // Windows: the tool says when that page cannot spell it.
  EXPECT_EQ(Dinfo({"format", WesternFolder + "/sample.dat"}).out, "format type 3\n");
  const RunResult far = Dinfo({"format", FarFolder + "/sample.dat"});
  if (TestingWindowsTool()) {
    EXPECT_EQ(far.exitCode, 2);
    EXPECT_NE(far.err.find("cannot be written in the ANSI code page"), std::string::npos) << far.err;
  } else {
    EXPECT_EQ(far.out, "format type 3\n") << far.err;
  }
}

TEST_F(PathTest, WindowsPathsWithBackslashesAndDriveLetters) {
  if (!TestingWindowsTool()) GTEST_SKIP() << "Windows paths are for the Windows tool";
  // Wine's drive Z: is the root of the Linux file system.
  std::string folder = "Z:" + Path(WesternFolder);
  std::replace(folder.begin(), folder.end(), '/', '\\');
  BuildSampleInto(WesternFolder, folder + "\\");
  const std::string file = folder + "\\sample.dat";
  for (const std::string &given : {folder, folder + "\\"}) {
    EXPECT_EQ(Dinfo({"format", "--folder", given, "--name", "sample.dat"}).out, "format type 3\n") << given;
  }
  EXPECT_EQ(Dinfo({"format", WesternFolder + "\\sample.dat"}).out, "format type 3\n");
  EXPECT_EQ(Dinfo({"inspect", "--check", file}).exitCode, 0);
  const RunResult table = Dinfo({"table", file, "--selector", "1", "--cond", "9=0", "--plot", folder + "\\table.svg"});
  EXPECT_EQ(table.exitCode, 0) << table.err;
  EXPECT_FALSE(ReadFile(WesternFolder + "/table.svg").empty());
  // The same file under another spelling is still the input.
  const RunResult over = Dinfo({"table", file, "--selector", "1", "--cond", "9=0", "--out",
                                Path(WesternFolder + "/sample.dat")});
  EXPECT_EQ(over.exitCode, 2);
  EXPECT_NE(over.err.find("would replace the input"), std::string::npos) << over.err;
}

}  // namespace
}  // namespace dinfo::cli::test
