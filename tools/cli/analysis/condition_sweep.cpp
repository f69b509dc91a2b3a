#include "analysis/condition_sweep.h"

#include <algorithm>

namespace dinfo::cli {

std::vector<Axis> SweepAxes(const KeyedConditions &conditions) {
  std::set<std::int32_t> indexes = conditions.wildcards;
  for (const auto &[index, values] : conditions.values) indexes.insert(index);
  std::vector<Axis> axes;
  for (std::int32_t index : indexes) {
    std::set<std::int32_t> named;
    if (const auto found = conditions.values.find(index); found != conditions.values.end()) named = found->second;
    Axis axis{index, std::vector<std::int32_t>(named.begin(), named.end())};
    std::int32_t unnamed = NoCondition;
    while (named.count(unnamed) != 0) --unnamed;
    axis.values.push_back(unnamed);
    axes.push_back(axis);
  }
  return axes;
}

std::int64_t Combinations(const std::vector<Axis> &axes) {
  std::int64_t combinations = 1;
  for (const Axis &axis : axes) {
    combinations = std::min<std::int64_t>(combinations * std::int64_t(axis.values.size()), INT64_MAX / 1024);
  }
  return combinations;
}

QueryRequest SpecAt(QueryKind kind, const std::vector<Axis> &axes, const std::vector<std::size_t> &at) {
  QueryRequest request{kind, 0, {}};
  for (std::size_t i = 0; i < axes.size(); ++i) {
    const std::int32_t value = axes[i].values[at[i]];
    if (axes[i].index == SelectorIndex) {
      request.selector = value;
    } else if (value != NoCondition) {
      ConditionPair pair{};
      pair.index = axes[i].index;
      pair.value = value;
      request.pairs.push_back(pair);
    }
  }
  return request;
}

bool NextCombination(const std::vector<Axis> &axes, std::vector<std::size_t> &at) {
  for (std::size_t i = axes.size(); i-- > 0;) {
    if (++at[i] < axes[i].values.size()) return true;
    at[i] = 0;
  }
  return false;
}

}  // namespace dinfo::cli
