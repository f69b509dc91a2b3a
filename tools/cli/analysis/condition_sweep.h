// The combinations of conditions a query is swept over: for each
// condition index the file keys on, the values its rows name and one value
// none names (unset, -1, when no row names it), which stands for every
// value only a wildcard accepts. check calls each export for each of them.
#ifndef DINFO_TOOLS_CLI_ANALYSIS_CONDITION_SWEEP_H
#define DINFO_TOOLS_CLI_ANALYSIS_CONDITION_SWEEP_H

#include <cstdint>
#include <vector>

#include "analysis/condition_map.h"

namespace dinfo::cli {

// One condition the sweep varies, and the values it takes.
struct Axis {
  std::int32_t index;
  std::vector<std::int32_t> values;  // the last is the one no row names
};

std::vector<Axis> SweepAxes(const KeyedConditions &conditions);

// How many combinations the axes make (saturating well below overflow).
std::int64_t Combinations(const std::vector<Axis> &axes);

// The query for the combination `at` (an index into each axis' values):
// the selector axis gives the selector, the others condition pairs.
QueryRequest SpecAt(QueryKind kind, const std::vector<Axis> &axes, const std::vector<std::size_t> &at);

// Steps `at` (all zero at first) to the next combination; false after the last.
bool NextCombination(const std::vector<Axis> &axes, std::vector<std::size_t> &at);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_ANALYSIS_CONDITION_SWEEP_H
