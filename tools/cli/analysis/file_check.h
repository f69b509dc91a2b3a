// One information file checked the way its callers will meet it: the
// status record as the exports judge it, the file's structure (from an
// inspection), the table objects the locator names through the library's
// preparation, and every query swept over the conditions the file keys on.
#ifndef DINFO_TOOLS_CLI_ANALYSIS_FILE_CHECK_H
#define DINFO_TOOLS_CLI_ANALYSIS_FILE_CHECK_H

#include <cstdint>
#include <string>

#include "json_util.h"

namespace dinfo::cli {

struct CheckSettings {
  std::int64_t callBudget = 100000;  // export calls a file, over all its queries
  bool all = false;                  // every failing combination, not only a summary
};

// {"file", "errors", "warnings", "problems": [{code, severity, where, what}],
//  "sweep": [{query, call, combinations, calls, answered, cut, failures}]}.
// Never throws for a file it cannot read: that is its problem.
Json CheckFile(const std::string &path, const CheckSettings &settings);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_ANALYSIS_FILE_CHECK_H
