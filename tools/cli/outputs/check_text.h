// A check (analysis/file_check.h) as text: the problems by severity and
// code, then the sweep's failing combinations, summarised by where they
// stopped (each one with `all`).
#ifndef DINFO_TOOLS_CLI_OUTPUTS_CHECK_TEXT_H
#define DINFO_TOOLS_CLI_OUTPUTS_CHECK_TEXT_H

#include <string>
#include <vector>

#include "json_util.h"

namespace dinfo::cli {

std::string RenderCheck(const Json &check, bool all);
// "checked 3 files: 1 with errors, 1 with warnings only, 1 without problems".
std::string RenderCheckSummary(const std::vector<Json> &checks);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_OUTPUTS_CHECK_TEXT_H
