// Line charts of a table's numeric arrays, as a self-contained SVG: one
// panel per array (typed arrays of 1-, 2- and 4-byte elements, nested
// tables included), each with ticked and labelled axes, a light grid, and
// its series drawn as one polyline. Arrays longer than the panel is wide
// are drawn as the minimum and maximum of each pixel column.
#ifndef DINFO_TOOLS_CLI_OUTPUTS_SVG_PLOT_H
#define DINFO_TOOLS_CLI_OUTPUTS_SVG_PLOT_H

#include <string>
#include <vector>

#include "json_util.h"

namespace dinfo::cli {

struct Series {
  std::string name;  // "entry 2" or "entry 3.1" inside a nested table
  std::vector<double> values;
  std::string type;  // "int16 (signed)"; empty when not known
};

// The numeric arrays of a table view, in entry order, nested ones in place.
std::vector<Series> NumericSeries(const Json &tableView);

std::string RenderSvg(const std::vector<Series> &series, const std::string &title);

// `title` names the file and the query; each panel repeats it under its
// entry and element type.
std::string PlotTableArrays(const Json &tableView, const std::string &title);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_OUTPUTS_SVG_PLOT_H
