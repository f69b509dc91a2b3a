// One query made through the exports themselves, as a caller makes it:
// the answer a trace (analysis/query_trace.h) is held against, and what
// `check` sweeps.
#ifndef DINFO_TOOLS_CLI_ANALYSIS_EXPORT_CALL_H
#define DINFO_TOOLS_CLI_ANALYSIS_EXPORT_CALL_H

#include <cstdint>
#include <vector>

#include "analysis/query_trace.h"

namespace dinfo::cli {

struct ExportAnswer {
  bool answered = false;    // a table, a count, a format type of 0 or more
  std::int32_t status = 0;  // the export's result (0 for DIGetTable)
};

// The lists the exports write into, large enough for any answer; one a
// thread, used again from call to call.
struct ExportBuffers {
  std::vector<NamedEntry> named = std::vector<NamedEntry>(DI_MAIN_NAMED_MAX);
  std::vector<IntegerTriplet> triplets = std::vector<IntegerTriplet>(DI_MAIN_TRIPLETS_MAX);
  std::vector<std::uint32_t> category = std::vector<std::uint32_t>(DI_CATEGORY_BUFFER_BYTES / 4);
};

ExportAnswer CallExport(const FileArgument &file, const QuerySpec &spec, ExportBuffers &buffers);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_ANALYSIS_EXPORT_CALL_H
