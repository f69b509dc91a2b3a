// The condition combinations a query is swept over: for every condition
// index the records it can reach key on (analysis/condition_map.h), the
// values their rows name and one value none names (unset, -1, when free).
// `check` calls each export for every combination; `diff` puts each one to
// both files.
#ifndef DINFO_TOOLS_CLI_ANALYSIS_CONDITION_SWEEP_H
#define DINFO_TOOLS_CLI_ANALYSIS_CONDITION_SWEEP_H

#include <cstdint>
#include <vector>

#include "analysis/condition_map.h"
#include "analysis/query_trace.h"

namespace dinfo::cli {

// One condition the sweep varies, and the values it takes.
struct Axis {
  std::int32_t index;
  std::vector<std::int32_t> values;
};

std::vector<Axis> AxesOf(const KeyedConditions &conditions);

// How many combinations the axes make (saturating well below overflow).
std::int64_t Combinations(const std::vector<Axis> &axes);

// The query for the combination `at` (one position on each axis).
QuerySpec SpecOf(QueryKind kind, const std::vector<Axis> &axes, const std::vector<std::size_t> &at);

// Steps `at` to the next combination; false after the last.
bool Advance(const std::vector<Axis> &axes, std::vector<std::size_t> &at);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_ANALYSIS_CONDITION_SWEEP_H
