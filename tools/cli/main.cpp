// dinfo: query, inspect and build information files from the command line.
// The options of every command and the dispatch to commands/.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <new>
#include <optional>

#include "commands/build.h"
#include "commands/check.h"
#include "commands/diff.h"
#include "commands/explain.h"
#include "commands/structure.h"
#include "commands/query.h"
#include "dinfo/version.h"
#include "json_util.h"
#include "suggest.h"

namespace dinfo::cli {
namespace {

constexpr const char *CommandNames[] = {"format", "main",    "category",   "table", "inspect", "check",
                                        "explain", "conditions", "diff", "build", "help"};
constexpr const char *CommandList =
    "format, main, category, table, inspect, check, explain, conditions, diff, build or help";
// Where an installation keeps the tool's documents.
constexpr const char *Documents =
    "Documents: COMMANDS.md (the commands and the JSON description format) and STATUS_CODES.md,\n"
    "in /usr/share/doc/dinfo from the Debian package (share/doc/dinfo under another prefix)\n"
    "or in doc\\ of the Windows zip; and the manual page, man dinfo.\n";

// JSON on one line; it implies --json.
void AddJsonFlags(CLI::App &command, bool &json) {
  command.add_flag("--json", json, "print machine-readable JSON (errors too)");
  command.add_flag_callback(
      "--compact",
      [&json] {
        json = true;
        SetCompactJson(true);
      },
      "print the JSON on one line (implies --json)");
}

// FILE, or --folder DIR --name NAME, as the exports take a file.
void AddFileOptions(CLI::App &command, FileArgument &file, bool &json) {
  command.add_option("FILE", file.path, "the information file, as a path");
  command.add_option("--folder", file.folder, "folder of the file (with --name), passed as the exports' folder");
  command.add_option("--name", file.name, "file name inside --folder, passed as the exports' file name");
  AddJsonFlags(command, json);
}

void AddConditionOptions(CLI::App &command, std::int32_t &selector, std::vector<std::string> &conditions) {
  command.add_option("--selector", selector, "selector, put at condition index 1")->capture_default_str();
  command.add_option("--cond", conditions, "a condition INDEX=VALUE (repeatable)")
      ->type_name("INDEX=VALUE")
      ->allow_extra_args(false);
}

// How table arrays are read; the file gives them no sign.
void AddViewOption(CLI::App &command, std::vector<std::string> &views, const std::string &scope) {
  command.add_option("--as", views, "read arrays as i8, u8, i16, u16, i32 or u32 (repeatable): " + scope +
                                        "; by default signed (i8, i16, i32)")
      ->type_name("VIEW")
      ->allow_extra_args(false);
}

// A failure on stderr, and with --json also as JSON on stdout.
int Report(int exitCode, const std::string &message, bool json) {
  if (json) std::cout << ToText(Json{{"error", message}, {"exitCode", exitCode}}) << "\n";
  std::cerr << "dinfo: " << message << "\n";
  return exitCode;
}

std::string UnknownCommand(const std::string &word) {
  const std::string suggestion = DidYouMean(word, {std::begin(CommandNames), std::end(CommandNames)});
  if (!suggestion.empty()) return "unknown command '" + word + "'" + suggestion;
  return "unknown command '" + word + "'; the commands are " + CommandList;
}

// The long and short names of a command's options, as typed.
std::vector<std::string> OptionNames(const CLI::App &command) {
  std::vector<std::string> names;
  for (const CLI::Option *option : command.get_options()) {
    for (const std::string &name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string &name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

// The first word after the command that looks like an option the command
// does not have, with the nearest it has; nullopt when every one is known.
std::optional<std::string> UnknownOption(CLI::App &app, int argc, char **argv) {
  if (argc < 3) return std::nullopt;
  std::vector<std::string> names;
  try {
    names = OptionNames(*app.get_subcommand(argv[1]));
  } catch (const CLI::OptionNotFound &) {
    return std::nullopt;
  }
  for (int i = 2; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--") break;
    if (word.size() < 2 || word[0] != '-' || (word[1] >= '0' && word[1] <= '9')) continue;  // a value, or "-"
    word = word.substr(0, word.find('='));
    if (std::find(names.begin(), names.end(), word) != names.end()) continue;
    return "unknown option '" + word + "'" + DidYouMean(word, names);
  }
  return std::nullopt;
}

// A value that must be one of `choices`; a near miss is named.
CLI::Validator OneOf(const std::vector<std::string> &choices) {
  std::string list;
  for (const std::string &choice : choices) list += (list.empty() ? "" : ", ") + choice;
  return CLI::Validator(
      [choices, list](std::string &value) -> std::string {
        if (std::find(choices.begin(), choices.end(), value) != choices.end()) return "";
        return "'" + value + "' is not one of " + list + DidYouMean(value, choices);
      },
      "{" + list + "}");
}

// "dinfo --version --json" (or --compact), in either order: the version
// as JSON.
bool PrintVersionAsJson(int argc, char **argv) {
  bool version = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--version") {
      version = true;
    } else if (word != "--json" && word != "--compact") {
      return false;
    }
  }
  if (!version || argc < 3) return false;
  std::cout << ToText(Json{{"name", "dinfo"}, {"version", DINFO_VERSION_STRING}, {"major", DINFO_VERSION_MAJOR},
                           {"minor", DINFO_VERSION_MINOR}, {"patch", DINFO_VERSION_PATCH}})
            << "\n";
  return true;
}

// Mistakes before the command, which the argument parser would only report
// as a missing command.
std::optional<std::string> TopLevelMistake(int argc, char **argv) {
  if (argc < 2) return std::string("a command is required: ") + CommandList;
  const std::string first = argv[1];
  if (first.empty() || first[0] != '-') {
    const bool known = std::any_of(std::begin(CommandNames), std::end(CommandNames),
                                   [&](const char *name) { return first == name; });
    if (!known) return UnknownCommand(first);
    return std::nullopt;
  }
  for (const char *global : {"-h", "--help", "--help-all", "--version"}) {
    if (first == global) return std::nullopt;
  }
  return "unknown option '" + first + "'; options go after the command: dinfo COMMAND [OPTIONS]";
}

bool HasArgument(int argc, char **argv, const char *wanted) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == wanted) return true;
  }
  return false;
}

int Help(CLI::App &app, const std::string &topic) {
  if (topic.empty()) {
    // app.help() would explain the command chosen last, "help" itself.
    std::cout << app.get_formatter()->make_help(&app, "dinfo", CLI::AppFormatMode::Normal);
    return ExitOk;
  }
  const bool known = std::any_of(std::begin(CommandNames), std::end(CommandNames),
                                 [&](const char *name) { return topic == name; });
  if (!known) throw CliError(ExitUsage, UnknownCommand(topic));
  std::cout << app.get_formatter()->make_help(app.get_subcommand(topic), "dinfo " + topic, CLI::AppFormatMode::Normal);
  return ExitOk;
}

int Run(int argc, char **argv) {
  CLI::App app{"dinfo: query, inspect and build dinfo information files.\n"
               "Queries call the library's exports exactly as a caller would."};
  app.name("dinfo");
  // "/path" is a file, not an option, on Windows too.
  app.allow_windows_style_options(false);
  app.set_help_all_flag("--help-all", "help for every subcommand");
  app.set_version_flag("--version", std::string("dinfo ") + DINFO_VERSION_STRING);
  app.footer(std::string(ExitCodeTable) + "\n" + Documents);
  app.require_subcommand(1);
  QueryOptions options;

  CLI::App *format = app.add_subcommand("format", "the file's format type (DIGetTableFormatType)");
  AddFileOptions(*format, options.file, options.json);

  CLI::App *mainInfo = app.add_subcommand("main", "the two main lists (DIGetMainInfo)");
  AddFileOptions(*mainInfo, options.file, options.json);

  std::string variant;
  CLI::App *category = app.add_subcommand("category", "category information (DIGetCategoryInfoV or S)");
  category->add_option("VARIANT", variant, "v (record 1003) or s (record 1004)")
      ->required()
      ->check(OneOf({"v", "s", "V", "S"}));
  AddFileOptions(*category, options.file, options.json);
  AddConditionOptions(*category, options.selector, options.conditions);
  category->add_option("--as", options.as, "element type to read the answer as (the file decides by default)")
      ->check(OneOf({"auto", "triplets", "named"}))
      ->capture_default_str();

  CLI::App *table = app.add_subcommand("table", "the table object for a selector and conditions (DIGetTable)");
  AddFileOptions(*table, options.file, options.json);
  AddConditionOptions(*table, options.selector, options.conditions);
  table->add_option("--out", options.out, "write the table object's bytes to this file");
  table->add_flag("--all", options.all, "show every value of long arrays");
  table->add_option("--plot", options.plot, "draw each numeric array as a line chart into this SVG file");
  AddViewOption(*table, options.views, "every array of its width, or ENTRY=VIEW (3.1=u8) one entry");

  InspectOptions inspectOptions;
  CLI::App *inspect = app.add_subcommand("inspect", "the file's structure as the library reads it");
  AddFileOptions(*inspect, inspectOptions.file, inspectOptions.json);
  inspect->add_flag("--all", inspectOptions.all, "show every value of long arrays");
  inspect->add_flag("--check", inspectOptions.check, "check the file instead (as dinfo check FILE)");
  AddViewOption(*inspect, inspectOptions.views, "every table array of its width");

  CheckOptions checkOptions;
  CLI::App *check = app.add_subcommand("check", "whether each file answers its queries; exit 4 on errors");
  check->add_option("FILE", checkOptions.files, "the information files")->required();
  AddJsonFlags(*check, checkOptions.json);
  check->add_flag("--all", checkOptions.settings.all, "list every failing combination, not only a summary");
  check->add_option("--calls", checkOptions.settings.callBudget, "at most this many calls a file for the sweep")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);

  ExplainOptions explainOptions;
  CLI::App *explain = app.add_subcommand("explain", "the way one query went, step by step");
  AddFileOptions(*explain, explainOptions.file, explainOptions.json);
  explain->add_option("QUERY", explainOptions.query, "format, main, category v, category s or table");
  AddConditionOptions(*explain, explainOptions.selector, explainOptions.conditions);

  ConditionsOptions conditionsOptions;
  CLI::App *conditions = app.add_subcommand("conditions", "the condition indexes and values the file keys on, by export and by record");
  AddFileOptions(*conditions, conditionsOptions.file, conditionsOptions.json);

  DiffOptions diffOptions;
  CLI::App *diff = app.add_subcommand("diff", "what changed between two information files, by record and by answer");
  diff->add_option("FIRST", diffOptions.first, "the earlier information file")->required();
  diff->add_option("SECOND", diffOptions.second, "the later information file")->required();
  AddJsonFlags(*diff, diffOptions.json);

  BuildOptions buildOptions;
  CLI::App *build = app.add_subcommand("build", "write an information file from a JSON description");
  build->add_option("DESCRIPTION", buildOptions.description, "the JSON description (its format: COMMANDS.md, see dinfo --help)")->required();
  build->add_option("-o,--output", buildOptions.output, "the information file to write")->required();
  AddJsonFlags(*build, buildOptions.json);
  build->add_flag("--force", buildOptions.force, "write the file even when check finds errors in it");

  std::string helpTopic;
  CLI::App *help = app.add_subcommand("help", "help for the tool or one command");
  help->add_option("COMMAND", helpTopic, "the command to explain");

  // Known before parsing, so that a refusal of the arguments is JSON too.
  const bool json = HasArgument(argc, argv, "--json") || HasArgument(argc, argv, "--compact");
  if (HasArgument(argc, argv, "--compact")) SetCompactJson(true);
  if (PrintVersionAsJson(argc, argv)) return ExitOk;
  if (const std::optional<std::string> mistake = TopLevelMistake(argc, argv)) {
    Report(ExitUsage, *mistake, json);
    std::cerr << "Run 'dinfo help' for the commands.\n";
    return ExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    const std::string command = argc > 1 ? std::string(argv[1]) + ": " : "";
    Report(ExitUsage, command + UnknownOption(app, argc, argv).value_or(error.what()), json);
    std::cerr << "Run 'dinfo help " << (argc > 1 ? argv[1] : "") << "' for its options.\n";
    return ExitUsage;
  }

  try {
    if (*help) return Help(app, helpTopic);
    if (*build) return RunBuild(buildOptions);
    if (*diff) return RunDiff(diffOptions);
    if (*inspect) {
      inspectOptions.file.Prepare(false);
      return RunInspect(inspectOptions);
    }
    if (*check) return RunCheck(checkOptions);
    if (*explain) {
      // With --name, the first word of the query lands in FILE.
      FileArgument &file = explainOptions.file;
      if (!file.name.empty() && !file.path.empty()) {
        explainOptions.query.insert(explainOptions.query.begin(), file.path);
        file.path.clear();
      }
      file.Prepare(true);
      return RunExplain(explainOptions);
    }
    if (*conditions) {
      conditionsOptions.file.Prepare(false);
      return RunConditions(conditionsOptions);
    }
    options.file.Prepare(true);
    // The library would report any unreadable file as ErrOpenFile, and wait
    // on a FIFO: refuse those first, with the system's reason.
    ParseConditions(options.conditions);
    CheckInputFile(options.file.ResolvedPath());
    if (*format) return RunFormat(options);
    if (*mainInfo) return RunMain(options);
    if (*category) return RunCategory(static_cast<char>(std::tolower(variant[0])), options);
    if (*table) return RunTable(options);
  } catch (const CliError &error) {
    return Report(error.exitCode, error.what(), json);
  } catch (const std::bad_alloc &) {
    return Report(ExitBadInput, "out of memory: the input is too large for this machine", json);
  } catch (const std::exception &error) {
    return Report(ExitBadInput, error.what(), json);
  }
  return ExitUsage;
}

}  // namespace
}  // namespace dinfo::cli

int main(int argc, char **argv) {
  std::vector<std::string> arguments = dinfo::cli::Utf8Arguments(argc, argv);
  std::vector<char *> pointers;
  for (std::string &argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return dinfo::cli::Run(argc, pointers.data());
}
