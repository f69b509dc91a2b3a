#include "commands/explain.h"

#include <iostream>

#include "analysis/condition_map.h"
#include "analysis/export_call.h"
#include "analysis/query_trace.h"
#include "commands/query.h"
#include "formats/file_structure.h"

namespace dinfo::cli {
namespace {

QueryKind KindOf(const std::vector<std::string> &words) {
  const std::string usage = "the query is format, main, category v, category s or table";
  if (words.empty()) throw CliError(ExitUsage, "no query: " + usage);
  const std::string &first = words[0];
  const std::size_t expected = first == "category" ? 2 : 1;
  if (words.size() != expected) throw CliError(ExitUsage, "'" + first + "' is not a query: " + usage);
  if (first == "format") return QueryKind::Format;
  if (first == "main") return QueryKind::Main;
  if (first == "table") return QueryKind::Table;
  if (first == "category" && (words[1] == "v" || words[1] == "V")) return QueryKind::CategoryV;
  if (first == "category" && (words[1] == "s" || words[1] == "S")) return QueryKind::CategoryS;
  throw CliError(ExitUsage, "'" + first + (expected == 2 ? " " + words[1] : "") + "' is not a query: " + usage);
}

}  // namespace

int RunExplain(const ExplainOptions &options) {
  const QueryRequest request{KindOf(options.query), options.selector, ParseConditions(options.conditions)};
  CheckInputFile(options.file.ResolvedPath());
  const QueryTrace trace = TraceQuery(options.file, request);
  ExportBuffers buffers;
  const ExportAnswer real = CallExport(options.file, request, buffers);
  // The trace takes the exports' steps through the same functions; should
  // it ever answer otherwise, the export's own answer is the one that counts.
  const bool agrees = real.answered == trace.answered && (request.kind == QueryKind::Table || real.status == trace.status);
  if (options.json) {
    Json answer{{"file", options.file.Describe()}, {"query", QueryWords(request)}, {"call", ExportOf(request.kind)},
                {"answered", real.answered}};
    if (request.kind != QueryKind::Table) {
      answer["status"] = real.status;
      if (const char *name = StatusName(real.status)) answer["name"] = name;
    }
    answer["steps"] = trace.steps;
    if (!trace.answered) answer["stop"] = trace.stop;
    if (!agrees) answer["exportDisagrees"] = true;
    std::cout << ToText(answer) << "\n";
  } else {
    std::cout << "dinfo explain " << options.file.Describe() << " " << QueryWords(request) << "\n"
              << RenderTrace(trace, request);
    if (!agrees) std::cout << "but the export itself answered " << real.status << " (the file may have changed)\n";
  }
  return real.answered ? ExitOk : ExitQueryFailed;
}

int RunConditions(const ConditionsOptions &options) {
  const Json inspection = InspectInformationFile(options.file.ResolvedPath(), false);
  const ConditionMap map = MapConditions(inspection);
  if (options.json) {
    Json answer = ConditionMapJson(map);
    answer = Json{{"file", options.file.Describe()}, {"exports", answer["exports"]}, {"records", answer["records"]}};
    std::cout << ToText(answer) << "\n";
  } else {
    std::cout << "conditions " << options.file.Describe() << " keys on\n" << RenderConditionMap(map);
  }
  return ExitOk;
}

}  // namespace dinfo::cli
