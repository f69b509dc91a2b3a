#include "commands/build.h"

#include <filesystem>
#include <iostream>
#include <random>

#include "commands/check.h"
#include "formats/info_file_json.h"
#include "outputs/render.h"
#include "standard_streams.h"

namespace dinfo::cli {
namespace {

// Reads and builds a description; a fault in it is named with its file.
std::vector<std::uint8_t> BuildFromFile(const std::string &descriptionPath, Json &description) {
  const std::vector<std::uint8_t> text = ReadWholeFile(descriptionPath);
  const std::string shown = InputName(descriptionPath);
  try {
    description = Json::parse(text.begin(), text.end());
    return BuildInformationFile(description);
  } catch (const Json::parse_error &error) {
    throw CliError(ExitBadInput, shown + ": not valid JSON: " + JsonErrorText(error));
  } catch (const Json::exception &error) {
    throw CliError(ExitBadInput, shown + ": " + JsonErrorText(error));
  } catch (const CliError &error) {
    throw CliError(error.exitCode, shown + ": " + error.what());
  }
}

// A file of the system's temporary folder, removed when this ends.
class TemporaryFile {
 public:
  TemporaryFile() {
    std::random_device random;
    const std::string name = "dinfo-build-" + std::to_string(random()) + std::to_string(random()) + ".dat";
    const std::u8string path = (std::filesystem::temp_directory_path() / name).u8string();
    path_.assign(path.begin(), path.end());
  }
  ~TemporaryFile() {
    std::error_code ignored;
    std::filesystem::remove(NativePath(path_), ignored);
  }
  TemporaryFile(const TemporaryFile &) = delete;
  TemporaryFile &operator=(const TemporaryFile &) = delete;

  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

// The built bytes checked as `check` checks a file, before anything is
// written where the caller asked: the library reads files, so they go to
// a temporary one first.
Json CheckBuiltFile(const std::vector<std::uint8_t> &bytes) {
  TemporaryFile file;
  WriteWholeFile(file.path(), bytes);
  return CheckFile(file.path(), CheckSettings{});
}

}  // namespace

int RunBuild(const BuildOptions &options) {
  RefuseToOverwriteInputs(options.output, "-o", {options.description});
  Json description;
  const std::vector<std::uint8_t> bytes = BuildFromFile(options.description, description);
  const Json check = CheckBuiltFile(bytes);
  ReportCheckProblems(check, options.description + ": ");
  const std::int64_t errors = check["errors"];
  if (errors > 0 && !options.force) {
    throw CliError(ExitProblemsFound, options.description + ": not written: check finds " + std::to_string(errors) +
                                          (errors == 1 ? " error" : " errors") +
                                          " in the file it describes (--force writes it anyway)");
  }
  WriteWholeFile(options.output, bytes);
  const std::size_t records = description.value("records", Json::array()).size();
  // Standard output may carry the file itself; the summary goes beside it.
  const bool toStandardOutput = IsStandardStream(options.output);
  std::ostream &out = toStandardOutput ? std::cerr : std::cout;
  const std::string written = toStandardOutput ? "standard output" : options.output;
  if (options.json) {
    out << ToText(Json{{"file", written}, {"size", bytes.size()}, {"records", records}, {"problems", check["problems"]}})
        << "\n";
  } else {
    out << "wrote " << written << ": " << Plural(bytes.size(), "byte") << ", " << Plural(records, "record") << "\n";
  }
  return ExitOk;
}

}  // namespace dinfo::cli
