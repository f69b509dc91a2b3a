// The comparisons behind dinfo diff, on the JSON the tool reads files and
// answers into. Each appends to `differences` one object per difference:
//   {"at": "row keys [1, *]", "first": ..., "second": ...}   a value changed
//   {"at": ..., "second": ...} / {"at": ..., "first": ...}  added / removed
//   {"at": "entry 0", "count": [33, 33], "differing": 1,
//    "firstDifference": {"index": 5, "first": 1761, "second": 1762}}
//                                                             a list changed
//   {"at": "rows", "what": "the same rows in another order"}
#ifndef DINFO_TOOLS_CLI_COMMANDS_DIFF_COMPARE_H
#define DINFO_TOOLS_CLI_COMMANDS_DIFF_COMPARE_H

#include <string>

#include "json_util.h"

namespace dinfo::cli {

// Two lists element by element: how many differ and the first that does.
void CompareLists(const std::string &at, const Json &first, const Json &second, Json &differences);

// Keyed blocks as the tool decodes them: header fields by name, rows
// matched by their keys (rows with the same keys by their order).
void CompareKeyedBlocks(const Json &first, const Json &second, Json &differences);

// Table objects as the tool views them: header fields, then the entries by
// their index; nested tables are followed ("entry 3.1").
void CompareTableViews(const std::string &prefix, const Json &first, const Json &second, Json &differences);

// A value on one line, cut short when long.
std::string Brief(const Json &value);

// One difference as a line of text.
std::string DescribeDifference(const Json &difference);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_COMMANDS_DIFF_COMPARE_H
