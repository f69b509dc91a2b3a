// The conditions a file keys on: every condition index its keyed blocks
// compare, with the values their rows name, per record and per export
// that looks records up with conditions (category V and S, the table
// locator; the status record and the main lists are read without them).
#ifndef DINFO_TOOLS_CLI_ANALYSIS_CONDITION_MAP_H
#define DINFO_TOOLS_CLI_ANALYSIS_CONDITION_MAP_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "analysis/query_trace.h"
#include "json_util.h"

namespace dinfo::cli {

struct KeyedConditions {
  std::map<std::int32_t, std::set<std::int32_t>> values;  // condition index -> the values rows name
  std::set<std::int32_t> wildcards;                       // indexes some row accepts any value at
};

struct ExportConditions {
  QueryKind kind;
  KeyedConditions conditions;       // of every record the export can reach
  std::vector<std::int32_t> reached;  // those records, in the order met
};

struct ConditionMap {
  std::map<std::int32_t, KeyedConditions> byRecord;  // main-section records with keyed rows
  std::vector<ExportConditions> byExport;
};

// From an inspection (formats/file_structure.h): its decoded keyed records and
// the chains and lists that join them.
ConditionMap MapConditions(const Json &inspection);

Json ConditionMapJson(const ConditionMap &map);
std::string RenderConditionMap(const ConditionMap &map);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_ANALYSIS_CONDITION_MAP_H
