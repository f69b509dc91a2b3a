#include "analysis/file_check.h"

#include <algorithm>
#include <map>

#include "analysis/condition_map.h"
#include "analysis/condition_sweep.h"
#include "analysis/export_call.h"
#include "analysis/problem_codes.h"
#include "analysis/query_trace.h"
#include "formats/file_structure.h"
#include "infofile/information_file.h"
#include "tableobj/table_object.h"

namespace dinfo::cli {
namespace {

// Failing combinations are retraced to say where they stopped; beyond this
// many a query, they are grouped by status alone.
constexpr std::size_t MostRetraced = 1000;

Json MakeProblem(const char *code, const std::string &where, const std::string &what) {
  return Json{{"code", code}, {"severity", SeverityName(FindProblemCode(code).severity)}, {"where", where}, {"what", what}};
}

class Checker {
 public:
  Checker(const std::string &path, const CheckSettings &settings) : path_(path), settings_(settings) {}

  Json Run();

 private:
  void CheckTables(const Json &tables);
  // Whether the status record already makes every call of the query fail.
  bool FrameFails(QueryKind kind) const;
  // What a sweep of one query found.
  struct SweepTally {
    std::int64_t calls = 0;
    std::int64_t answered = 0;
    std::size_t retraced = 0;
    std::map<std::pair<std::int32_t, std::string>, Json> failures;  // by status and stop
    std::map<std::int32_t, bool> selectorAnswers;  // selector -> some combination answered
  };
  void SweepAll(const ConditionMap &map);
  void Sweep(QueryKind kind, const std::vector<Axis> &axes, std::int64_t budget, std::int64_t *used);
  void RecordFailure(QueryKind kind, const QueryRequest &request, const ExportAnswer &answer, SweepTally &tally);
  void ReportSweep(QueryKind kind, const std::vector<Axis> &axes, const Json &entry, const SweepTally &tally);
  void Problem(const char *code, const std::string &where, const std::string &what) {
    problems_.push_back(MakeProblem(code, where, what));
  }

  std::string path_;
  CheckSettings settings_;
  FileArgument file_;
  Json frame_;
  Json problems_ = Json::array();
  Json sweep_ = Json::array();
  ExportBuffers buffers_;
};

bool Checker::FrameFails(QueryKind kind) const {
  const bool statusFails = frame_.value("statusCheck", "") != "passes";
  const bool formatFails = frame_.value("formatType", 0) < 0;
  switch (kind) {
    case QueryKind::Format: return formatFails;
    case QueryKind::Main: return statusFails;
    default: return statusFails || formatFails;
  }
}

// Each table object the locator names, through the library's preparation.
void Checker::CheckTables(const Json &tables) {
  const HANDLE handle = OpenInformationFile(reinterpret_cast<const WideChar *>(file_.Folder()), file_.FileName());
  if (handle == nullptr) return;
  {
    FileView view(handle);
    for (const Json &table : tables) {
      const auto section = table["section"].get<std::int32_t>();
      const auto recordId = table["record"].get<std::int32_t>();
      ReadOutcome read = ReadRecord(view, section, recordId);
      if (read.fault != Fault::None) continue;  // inspect names records that do not read
      const Fault prepared = PrepareTableObject(read.block.get()).fault;
      if (prepared != Fault::None) {
        Problem("table-unprepared", "record " + std::to_string(recordId) + " in section " + std::to_string(section),
                "the table object is refused: " + DescribeFault(prepared) + "; DIGetTable gives null for it");
      }
    }
  }
  CloseHandle(handle);
}

// A failing combination, grouped with the others that fail with the same
// status where the same link stopped them.
void Checker::RecordFailure(QueryKind kind, const QueryRequest &request, const ExportAnswer &answer, SweepTally &tally) {
  std::string stop = "not retraced (more than " + std::to_string(MostRetraced) + " failures)";
  if (tally.retraced++ < MostRetraced) stop = StopText(TraceQuery(file_, request).stop);
  Json &group = tally.failures[{answer.status, stop}];
  if (group.is_null()) {
    group = Json{{"status", answer.status}};
    if (kind != QueryKind::Table) group["name"] = StatusName(answer.status) ? StatusName(answer.status) : "";
    group["stop"] = stop;
    group["count"] = 0;
    group["example"] = QueryWords(request);
  }
  group["count"] = group["count"].get<std::int64_t>() + 1;
  if (settings_.all) group["queries"].push_back(QueryWords(request));
}

void Checker::Sweep(QueryKind kind, const std::vector<Axis> &axes, std::int64_t budget, std::int64_t *used) {
  const std::int64_t combinations = Combinations(axes);
  // A status record that fails every call is reported once, by the frame.
  const bool blocked = FrameFails(kind);
  const std::int64_t limit = blocked ? 1 : std::min(budget, combinations);
  SweepTally tally;
  std::vector<std::size_t> at(axes.size(), 0);
  do {
    const QueryRequest request = SpecAt(kind, axes, at);
    const ExportAnswer answer = CallExport(file_, request, buffers_);
    ++tally.calls;
    bool &selectorAnswered = tally.selectorAnswers[request.selector];
    if (answer.answered) {
      ++tally.answered;
      selectorAnswered = true;
    } else {
      RecordFailure(kind, request, answer, tally);
    }
  } while (tally.calls < limit && NextCombination(axes, at));
  *used += tally.calls;

  const bool cut = !blocked && tally.calls < combinations;
  Json entry{{"query", QueryName(kind)}, {"call", ExportOf(kind)}, {"combinations", combinations},
             {"calls", tally.calls}, {"answered", tally.answered}, {"cut", cut}, {"failures", Json::array()}};
  for (auto &[key, group] : tally.failures) entry["failures"].push_back(group);
  if (blocked) entry["blockedByStatusRecord"] = true;
  sweep_.push_back(entry);
  if (cut) {
    Problem("sweep-cut", ExportOf(kind), std::to_string(combinations) + " combinations of the conditions the file keys on; " +
                                             std::to_string(tally.calls) + " were swept");
  }
  if (!blocked) ReportSweep(kind, axes, entry, tally);
}

// An export that never answered is an error; a selector some row names
// that never answered, when every combination was tried, a warning.
void Checker::ReportSweep(QueryKind kind, const std::vector<Axis> &axes, const Json &entry, const SweepTally &tally) {
  const std::string where = ExportOf(kind);
  if (tally.answered == 0) {
    const Json &first = entry["failures"][0];
    const std::string name = first.value("name", "");
    Problem("export-fails", where,
            (tally.calls == 1 ? std::string("fails")
                              : "fails for every one of the " + std::to_string(tally.calls) + " combinations swept") +
                (name.empty() ? "" : " (" + name + ")") + "; e.g. " + first["example"].get<std::string>() + ": " +
                first["stop"].get<std::string>());
    return;
  }
  const auto selectorAxis =
      std::find_if(axes.begin(), axes.end(), [](const Axis &axis) { return axis.index == SelectorIndex; });
  if (entry["cut"].get<bool>() || selectorAxis == axes.end()) return;
  for (const auto &[selector, anyAnswered] : tally.selectorAnswers) {
    const bool named = selector != selectorAxis->values.back();
    if (named && !anyAnswered) {
      Problem("selector-fails", where, "selector " + std::to_string(selector) +
                                           ", which a row names, is answered for no combination of the other conditions");
    }
  }
}

// Every query: format and main once, then the queries with conditions.
void Checker::SweepAll(const ConditionMap &map) {
  std::int64_t used = 0;
  Sweep(QueryKind::Format, {}, 1, &used);
  Sweep(QueryKind::Main, {}, 1, &used);
  // The calls left are shared among the queries still to sweep, the
  // smallest sweeps first, so that what one leaves goes to the others.
  std::vector<std::pair<QueryKind, std::vector<Axis>>> sweeps;
  for (const ExportConditions &reached : map.byExport) sweeps.emplace_back(reached.kind, SweepAxes(reached.conditions));
  std::vector<std::size_t> order(sweeps.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
    return Combinations(sweeps[x].second) < Combinations(sweeps[y].second);
  });
  std::vector<Json> entries(sweeps.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    const std::int64_t share = (settings_.callBudget - used) / std::int64_t(order.size() - k);
    const auto &[kind, axes] = sweeps[order[k]];
    Sweep(kind, axes, std::max<std::int64_t>(share, 1), &used);
    entries[order[k]] = sweep_.back();
    sweep_.erase(sweep_.size() - 1);
  }
  for (Json &entry : entries) sweep_.push_back(std::move(entry));
}

Json Checker::Run() {
  Json result{{"file", path_}};
  Json inspection;
  try {
    inspection = InspectInformationFile(path_, false);
    file_ = ExportArgument(path_);
  } catch (const CliError &error) {
    Problem("file-unreadable", "file", error.what());
  }
  if (!inspection.is_null()) {
    problems_ = inspection["problems"];
    frame_ = inspection["frame"];
    CheckTables(inspection["tables"]);
    SweepAll(MapConditions(inspection));
  }
  std::int64_t errors = 0;
  for (const Json &problem : problems_) errors += problem["severity"] == "error" ? 1 : 0;
  result["errors"] = errors;
  result["warnings"] = std::int64_t(problems_.size()) - errors;
  result["problems"] = problems_;
  result["sweep"] = sweep_;
  return result;
}

}  // namespace

Json CheckFile(const std::string &path, const CheckSettings &settings) {
  Checker checker(path, settings);
  return checker.Run();
}

}  // namespace dinfo::cli
