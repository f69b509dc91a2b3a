// What the exports do not tell their caller, found by retracing their steps
// with the library's own functions: the element type a category query
// wrote, and where a table object is stored and how it was coded. Why a
// query failed is the trace's (analysis/query_trace.h).
#ifndef DINFO_TOOLS_CLI_COMMANDS_TABLE_PROBE_H
#define DINFO_TOOLS_CLI_COMMANDS_TABLE_PROBE_H

#include <string>
#include <vector>

#include "cli_common.h"
#include "json_util.h"

namespace dinfo::cli {

// The value type of the first record a category lists (0 when the lookup
// fails or lists nothing).
std::int32_t CategoryValueType(const FileArgument &file, char variant, std::int32_t selector,
                               const std::vector<ConditionPair> &pairs);

struct TableProbe {
  std::int32_t section = 0;
  std::int32_t recordId = 0;
  Json storedView;  // the stored object taken apart, with its codings
};

TableProbe ProbeTable(const FileArgument &file, std::int32_t selector, const std::vector<ConditionPair> &pairs);

// The size of a table object that the library prepared: its totalSize.
std::size_t PreparedTableSize(const std::uint8_t *table);

// Copies each level's stored codings into the view of the prepared table.
void AnnotateStoredCodings(Json &preparedView, const Json &storedView);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_COMMANDS_TABLE_PROBE_H
