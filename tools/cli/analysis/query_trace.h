// A query retraced step by step: the same functions of the query layer the
// export calls, in the export's order, with an observer that records each
// record read, each chain link (the conditions it compared, the row that
// matched or the condition no row accepted), each final block, and where
// the query stopped and which status that gives.
#ifndef DINFO_TOOLS_CLI_ANALYSIS_QUERY_TRACE_H
#define DINFO_TOOLS_CLI_ANALYSIS_QUERY_TRACE_H

#include <string>
#include <vector>

#include "cli_common.h"
#include "json_util.h"
#include "query/query.h"

namespace dinfo::cli {

enum class QueryKind { Format, Main, CategoryV, CategoryS, Table };

struct QueryRequest {
  QueryKind kind = QueryKind::Format;
  std::int32_t selector = 0;
  std::vector<ConditionPair> pairs;
};

// "DIGetCategoryInfoV".
const char *ExportOf(QueryKind kind);
// "category v", as the commands name the query.
const char *QueryName(QueryKind kind);
// The query as the tool's commands take it: "category v --selector 1 --cond 7=0".
std::string QueryWords(const QueryRequest &request);

struct QueryTrace {
  bool opened = false;   // the file opened
  bool answered = false; // the export would answer (a table, a count, a format type of 0 or more)
  std::int32_t status = 0;  // the export's result; for DIGetTable 0, and null unless answered
  Json steps = Json::array();  // {"step": ..., "text": ...} in the order they were taken
  // Where the query stopped, when it did not answer: {"text"} and, for a
  // lookup, "section", "record", and the unmatched "condition" {index, value}.
  Json stop = nullptr;
};

QueryTrace TraceQuery(const FileArgument &file, const QueryRequest &request);

// Why the format check fails on the status record as read.
std::string FormatTypeReason(const StatusValues &status);

// The stop in one line: "at record 1010 of section 8: no row accepts condition 7 = 5 (rows name 0, 1)".
std::string StopText(const Json &stop);
// Every step, indented, then how the query ended.
std::string RenderTrace(const QueryTrace &trace, const QueryRequest &request);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_ANALYSIS_QUERY_TRACE_H
