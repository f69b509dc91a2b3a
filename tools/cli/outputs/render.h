// Text forms of the tool's answers, written from the same JSON that
// --json prints, so both always say the same.
#ifndef DINFO_TOOLS_CLI_OUTPUTS_RENDER_H
#define DINFO_TOOLS_CLI_OUTPUTS_RENDER_H

#include <string>

#include "json_util.h"

namespace dinfo::cli {

std::string RenderMainInfo(const Json &answer);
std::string RenderCategory(const Json &answer);
// The table as a tree of its entries; long arrays summarised unless `all`.
std::string RenderTable(const Json &answer, bool all);
std::string RenderTableView(const Json &view, const std::string &indent, bool all);

// Values on one line, a long list as its head, an ellipsis and its tail.
std::string ValueList(const Json &values, bool all);
// A text value, quoted, or its hex when it is not clean text.
std::string TextOf(const Json &value);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_OUTPUTS_RENDER_H
