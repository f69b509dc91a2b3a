#include "commands/build.h"

#include <iostream>

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

}  // namespace

int RunBuild(const BuildOptions &options) {
  RefuseToOverwriteInputs(options.output, "-o", {options.description});
  Json description;
  const std::vector<std::uint8_t> bytes = BuildFromFile(options.description, description);
  WriteWholeFile(options.output, bytes);
  const std::size_t records = description.value("records", Json::array()).size();
  // Standard output may carry the file itself; the summary goes beside it.
  const bool toStandardOutput = IsStandardStream(options.output);
  std::ostream &out = toStandardOutput ? std::cerr : std::cout;
  const std::string written = toStandardOutput ? "standard output" : options.output;
  if (options.json) {
    out << ToText(Json{{"file", written}, {"size", bytes.size()}, {"records", records}}) << "\n";
  } else {
    out << "wrote " << written << ": " << Plural(bytes.size(), "byte") << ", " << Plural(records, "record") << "\n";
  }
  return ExitOk;
}

}  // namespace dinfo::cli
