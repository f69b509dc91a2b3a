// dinfo diff A B: what changed between two information files, by meaning
// rather than by offset. Records are matched by section and id, keyed rows
// by their keys, table entries by their place in the object; then every
// query check sweeps (format, main, and category V and S and table over the
// combinations of the conditions either file keys on) is put to both, and
// the answers that differ are named.
#ifndef DINFO_TOOLS_CLI_COMMANDS_DIFF_H
#define DINFO_TOOLS_CLI_COMMANDS_DIFF_H

#include <string>

#include "cli_common.h"
#include "json_util.h"

namespace dinfo::cli {

// The queries a diff puts to both files, at most: beyond them the answer
// says the sweep was cut.
constexpr std::size_t MaxDiffQueries = 4000;

// As diff(1): 0 (ExitOk) when the files read alike, 1 (ExitFilesDiffer)
// when they differ; an input that cannot be read is ExitBadInput.
struct DiffOptions {
  std::string first;
  std::string second;
  bool json = false;
};

// {"first", "second", "same", "file", "records", "queries", "queriesAsked",
// "queriesCut"}; throws
// CliError when a file cannot be read.
Json DiffInformationFiles(const std::string &first, const std::string &second);

std::string RenderDiff(const Json &diff);

int RunDiff(const DiffOptions &options);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_COMMANDS_DIFF_H
