// One query made through the exports themselves, as a caller makes it:
// the answer a trace (analysis/query_trace.h) is held against, and what
// `check` sweeps.
#ifndef DINFO_TOOLS_CLI_ANALYSIS_EXPORT_CALL_H
#define DINFO_TOOLS_CLI_ANALYSIS_EXPORT_CALL_H

#include <cstdint>
#include <memory>
#include <string>

#include "analysis/query_trace.h"

namespace dinfo::cli {

struct ExportAnswer {
  bool answered = false;    // a table, a count, a format type of 0 or more
  std::int32_t status = 0;  // the export's result (0 for DIGetTable)
};

// The lists the exports write into, large enough for any answer, used
// again from call to call. Never read, so never cleared.
struct ExportBuffers {
  std::unique_ptr<NamedEntry[]> named{new NamedEntry[DI_MAIN_NAMED_MAX]};
  std::unique_ptr<IntegerTriplet[]> triplets{new IntegerTriplet[DI_MAIN_TRIPLETS_MAX]};
  std::unique_ptr<std::uint32_t[]> category{new std::uint32_t[DI_CATEGORY_BUFFER_BYTES / 4]};
};

// The file as the exports take it: its folder and its name, so that a
// folder of any name opens.
FileArgument ExportArgument(const std::string &path);

ExportAnswer CallExport(const FileArgument &file, const QueryRequest &request, ExportBuffers &buffers);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_ANALYSIS_EXPORT_CALL_H
