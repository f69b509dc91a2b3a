// `dinfo explain FILE QUERY`: the way a query went, step by step, and
// `dinfo conditions FILE`: the conditions the file keys on.
#ifndef DINFO_TOOLS_CLI_COMMANDS_EXPLAIN_H
#define DINFO_TOOLS_CLI_COMMANDS_EXPLAIN_H

#include <string>
#include <vector>

#include "cli_common.h"

namespace dinfo::cli {

struct ExplainOptions {
  FileArgument file;
  bool json = false;
  std::vector<std::string> query;  // "format", "main", "category v", "table"
  std::int32_t selector = 0;
  std::vector<std::string> conditions;  // "INDEX=VALUE"
};

// Exits 0 when the query answers, 1 when it fails (as the query command would).
int RunExplain(const ExplainOptions &options);

struct ConditionsOptions {
  FileArgument file;
  bool json = false;
};

int RunConditions(const ConditionsOptions &options);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_COMMANDS_EXPLAIN_H
