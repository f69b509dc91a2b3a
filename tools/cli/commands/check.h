// `dinfo check FILE...`: whether each file answers its queries (see
// analysis/file_check.h), many files at once on every core. Exits 4 when
// any file has an error.
#ifndef DINFO_TOOLS_CLI_COMMANDS_CHECK_H
#define DINFO_TOOLS_CLI_COMMANDS_CHECK_H

#include <string>
#include <vector>

#include "analysis/file_check.h"
#include "json_util.h"

namespace dinfo::cli {

struct CheckOptions {
  std::vector<std::string> files;  // "-" is standard input
  std::vector<std::string> shownNames;  // when given, the name each file is reported under
  bool json = false;
  CheckSettings settings;
};

int RunCheck(const CheckOptions &options);

// The problems of one check printed for `build`, on stderr: "error CODE: ...".
void ReportCheckProblems(const Json &check, const std::string &lead);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_COMMANDS_CHECK_H
