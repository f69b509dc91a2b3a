// dinfo: query, inspect and build information files from the command line.
#include <CLI/CLI.hpp>

#include <iostream>

#include "info_file_json.h"
#include "queries.h"

namespace dinfo::cli {
namespace {

// FILE, or --folder DIR --name NAME, as the exports take a file.
void AddFileOptions(CLI::App &command, QueryOptions &options) {
  command.add_option("FILE", options.file.path, "the information file, as a path");
  command.add_option("--folder", options.file.folder, "folder of the file (with --name), passed as the exports' folder");
  command.add_option("--name", options.file.name, "file name inside --folder, passed as the exports' file name");
  command.add_flag("--json", options.json, "print machine-readable JSON");
}

void AddConditionOptions(CLI::App &command, QueryOptions &options) {
  command.add_option("--selector", options.selector, "selector, put at condition index 1")->capture_default_str();
  command.add_option("--cond", options.conditions, "a condition INDEX=VALUE (repeatable)")
      ->type_name("INDEX=VALUE")
      ->allow_extra_args(false);
}

int Inspect(const QueryOptions &options) {
  const Json inspection = InspectInformationFile(options.file.ResolvedPath());
  if (options.json) {
    std::cout << ToText(inspection) << "\n";
  } else {
    std::cout << RenderInspection(inspection, options.all);
  }
  return ExitOk;
}

int Build(const std::string &descriptionPath, const std::string &outPath, bool json) {
  const std::vector<std::uint8_t> text = ReadWholeFile(descriptionPath);
  Json description;
  try {
    description = Json::parse(text.begin(), text.end());
  } catch (const Json::parse_error &error) {
    throw CliError(ExitBadInput, descriptionPath + " is not valid JSON: " + error.what());
  }
  const std::vector<std::uint8_t> bytes = BuildInformationFile(description);
  WriteWholeFile(outPath, bytes);
  if (json) {
    std::cout << ToText(Json{{"file", outPath}, {"size", bytes.size()},
                             {"records", description.value("records", Json::array()).size()}})
              << "\n";
  } else {
    std::cout << "wrote " << outPath << ": " << bytes.size() << " bytes, "
              << description.value("records", Json::array()).size() << " records\n";
  }
  return ExitOk;
}

int Run(int argc, char **argv) {
  CLI::App app{"dinfo: query, inspect and build dinfo information files.\n"
               "Queries call the library's exports exactly as a caller would."};
  app.set_help_all_flag("--help-all", "help for every subcommand");
  app.require_subcommand(1);
  QueryOptions options;

  CLI::App *format = app.add_subcommand("format", "the file's format type (DIGetTableFormatType)");
  AddFileOptions(*format, options);

  CLI::App *mainInfo = app.add_subcommand("main", "the two main lists (DIGetMainInfo)");
  AddFileOptions(*mainInfo, options);

  std::string variant;
  CLI::App *category = app.add_subcommand("category", "category information (DIGetCategoryInfoV or S)");
  category->add_option("VARIANT", variant, "v (record 1003) or s (record 1004)")
      ->required()
      ->check(CLI::IsMember({"v", "s", "V", "S"}));
  AddFileOptions(*category, options);
  AddConditionOptions(*category, options);
  category->add_option("--as", options.as, "element type to read the answer as (the file decides by default)")
      ->check(CLI::IsMember({"auto", "triplets", "named"}))
      ->capture_default_str();

  CLI::App *table = app.add_subcommand("table", "the table object for a selector and conditions (DIGetTable)");
  AddFileOptions(*table, options);
  AddConditionOptions(*table, options);
  table->add_option("--out", options.out, "write the table object's bytes to this file");
  table->add_flag("--all", options.all, "show every value of long arrays");
  table->add_option("--plot", options.plot, "draw each numeric array as a line chart into this SVG file");

  CLI::App *inspect = app.add_subcommand("inspect", "the file's structure as the library reads it");
  AddFileOptions(*inspect, options);
  inspect->add_flag("--all", options.all, "show every value of long arrays");

  std::string descriptionPath;
  std::string outPath;
  bool buildJson = false;
  CLI::App *build = app.add_subcommand("build", "write an information file from a JSON description");
  build->add_option("DESCRIPTION", descriptionPath, "the JSON description (see tools/cli/README.md)")->required();
  build->add_option("-o,--output", outPath, "the information file to write")->required();
  build->add_flag("--json", buildJson, "print machine-readable JSON");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    std::cerr << "dinfo: " << error.what() << "\nRun with --help for more information.\n";
    return ExitUsage;
  }

  try {
    if (*build) return Build(descriptionPath, outPath, buildJson);
    options.file.Check();
    options.file.folderWide = ToUtf16(options.file.folder);
    if (*format) return RunFormat(options);
    if (*mainInfo) return RunMain(options);
    if (*category) return RunCategory(static_cast<char>(std::tolower(variant[0])), options);
    if (*table) return RunTable(options);
    if (*inspect) return Inspect(options);
  } catch (const CliError &error) {
    std::cerr << "dinfo: " << error.what() << "\n";
    return error.exitCode;
  } catch (const std::exception &error) {
    std::cerr << "dinfo: " << error.what() << "\n";
    return ExitBadInput;
  }
  return ExitUsage;
}

}  // namespace
}  // namespace dinfo::cli

int main(int argc, char **argv) { return dinfo::cli::Run(argc, argv); }
