// An inspection (formats/file_structure.h) as indented text.
#ifndef DINFO_TOOLS_CLI_OUTPUTS_STRUCTURE_TEXT_H
#define DINFO_TOOLS_CLI_OUTPUTS_STRUCTURE_TEXT_H

#include <string>

#include "json_util.h"

namespace dinfo::cli {

// Long arrays summarised unless `all`.
std::string RenderInspection(const Json &inspection, bool all);
// "FILE: no problems found", or the count and one line per problem.
std::string RenderProblems(const Json &inspection);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_OUTPUTS_STRUCTURE_TEXT_H
