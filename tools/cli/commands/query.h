// The queries: each calls one export exactly as a caller would and shows
// its answer as text or JSON. A failure goes to stderr by name and meaning
// (and, with --json, as a JSON object on stdout) and makes the exit code 1.
#ifndef DINFO_TOOLS_CLI_COMMANDS_QUERY_H
#define DINFO_TOOLS_CLI_COMMANDS_QUERY_H

#include <string>
#include <vector>

#include "cli_common.h"
#include "json_util.h"

namespace dinfo::cli {

struct QueryOptions {
  FileArgument file;
  bool json = false;
  std::int32_t selector = 0;
  std::vector<std::string> conditions;  // "INDEX=VALUE"
  std::string as = "auto";              // category: auto, triplets, named
  bool all = false;                     // table: every value, not a summary
  std::string out;                      // table: write the table's bytes here
  std::string plot;                     // table: write an SVG of its arrays here
  std::vector<std::string> views;       // table: --as, how its arrays are read
};

int RunFormat(const QueryOptions &options);
int RunMain(const QueryOptions &options);
int RunCategory(char variant, const QueryOptions &options);
int RunTable(const QueryOptions &options);

// An element of an answer as --json shows it.
Json NamedEntryJson(const NamedEntry &entry);
Json TripletJson(const IntegerTriplet &triplet);
// The `count` elements a category query wrote, as named entries or triplets.
Json CategoryElementsJson(const void *elements, std::int16_t count, bool named);

std::vector<ConditionPair> ParseConditions(const std::vector<std::string> &conditions);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_COMMANDS_QUERY_H
