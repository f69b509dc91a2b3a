// dinfo diff A B: what changed between two information files, by meaning
// rather than by offset. Records are matched by section and id, keyed rows
// by their keys, table entries by their place in the object; then every
// query the files can be asked without conditions other than a selector
// (format, main, category V and S and table, for each selector a row
// names) is put to both, and the answers that differ are named.
#ifndef DINFO_TOOLS_CLI_COMMANDS_DIFF_H
#define DINFO_TOOLS_CLI_COMMANDS_DIFF_H

#include <string>

#include "cli_common.h"
#include "json_util.h"

namespace dinfo::cli {

// The selectors a diff asks the queries for, at most: beyond them the
// answer says the sweep was cut.
constexpr std::size_t MaxDiffSelectors = 1000;

// As diff(1): 0 (ExitOk) when the files read alike, 1 (ExitFilesDiffer)
// when they differ; an input that cannot be read is ExitBadInput.
struct DiffOptions {
  std::string first;
  std::string second;
  bool json = false;
};

// {"first", "second", "same", "records": [...], "queries": [...]}; throws
// CliError when a file cannot be read.
Json DiffInformationFiles(const std::string &first, const std::string &second);

std::string RenderDiff(const Json &diff);

int RunDiff(const DiffOptions &options);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_COMMANDS_DIFF_H
