#include "commands/build.h"

#include <iostream>

#include "formats/info_file_json.h"

namespace dinfo::cli {
namespace {

// Reads and builds a description; a fault in it is named with its file.
std::vector<std::uint8_t> BuildFromFile(const std::string &descriptionPath, Json &description) {
  const std::vector<std::uint8_t> text = ReadWholeFile(descriptionPath);
  try {
    description = Json::parse(text.begin(), text.end());
    return BuildInformationFile(description);
  } catch (const Json::parse_error &error) {
    throw CliError(ExitBadInput, descriptionPath + ": not valid JSON: " + JsonErrorText(error));
  } catch (const Json::exception &error) {
    throw CliError(ExitBadInput, descriptionPath + ": " + JsonErrorText(error));
  } catch (const CliError &error) {
    throw CliError(error.exitCode, descriptionPath + ": " + error.what());
  }
}

}  // namespace

int RunBuild(const BuildOptions &options) {
  Json description;
  const std::vector<std::uint8_t> bytes = BuildFromFile(options.description, description);
  WriteWholeFile(options.output, bytes);
  const std::size_t records = description.value("records", Json::array()).size();
  if (options.json) {
    std::cout << ToText(Json{{"file", options.output}, {"size", bytes.size()}, {"records", records}}) << "\n";
  } else {
    std::cout << "wrote " << options.output << ": " << bytes.size() << " bytes, " << records << " records\n";
  }
  return ExitOk;
}

}  // namespace dinfo::cli
