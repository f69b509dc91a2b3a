#include "commands/diff.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "analysis/condition_map.h"
#include "analysis/condition_sweep.h"
#include "analysis/export_call.h"
#include "analysis/query_trace.h"
#include "commands/diff_compare.h"
#include "commands/query.h"
#include "commands/table_probe.h"
#include "formats/file_structure.h"
#include "formats/table_json.h"
#include "infofile/information_file.h"
#include "keyed/keyed_block.h"
#include "outputs/render.h"
#include "query/query.h"
#include "standard_streams.h"

namespace dinfo::cli {
namespace {

using RecordAddress = std::pair<std::int64_t, std::int64_t>;

std::string RecordName(const Json &record) {
  return "record " + record["id"].dump() + " in section " + record["section"].dump();
}

// The problem inspect found at a record, or what its directory entry says.
std::string RecordProblem(const Json &inspection, const Json &record, const Json &entry) {
  const std::string where = RecordName(record);
  for (const Json &problem : inspection.value("problems", Json::array())) {
    if (problem.value("where", "") == where) return problem.value("what", "");
  }
  return entry.value("note", std::string("unreadable"));
}

// The records described, and those a directory lists that could not be
// read, so that a record that became unreadable is changed, not removed.
std::map<RecordAddress, Json> RecordsByAddress(const Json &inspection) {
  std::map<RecordAddress, Json> records;
  for (const Json &record : inspection.value("records", Json::array())) {
    records[{record["section"].get<std::int64_t>(), record["id"].get<std::int64_t>()}] = record;
  }
  for (const Json &directory : inspection.value("directories", Json::array())) {
    for (const Json &entry : directory.value("entries", Json::array())) {
      const RecordAddress address{entry["section"].get<std::int64_t>(), entry["id"].get<std::int64_t>()};
      // Entries filed under another section, and shadowed ones, are never read.
      if (entry["section"] != directory["section"] || records.count(address) != 0) continue;
      Json record{{"section", entry["section"]}, {"id", entry["id"]}};
      record["problem"] = RecordProblem(inspection, record, entry);
      records[address] = record;
    }
  }
  return records;
}

// A record kept as raw still carries its decoded keyed block for the reader.
const Json *KeyedOf(const Json &record) {
  for (const char *key : {"keyed", "keyedView"}) {
    if (record.contains(key)) return &record[key];
  }
  return nullptr;
}

std::string RecordForm(const Json &record) {
  if (KeyedOf(record) != nullptr) return "keyed";
  if (record.contains("tableView")) return "table";
  if (record.contains("raw")) return "raw";
  return "unreadable";
}

std::string RecordSummary(const Json &record) {
  const std::string form = RecordForm(record);
  if (form == "keyed") {
    const Json &keyed = *KeyedOf(record);
    return "keyed " + Brief(keyed.value("kind", Json())) + " block of " +
           Brief(keyed.value("valueType", Json("int32"))) + " values, " +
           Plural(keyed.value("rows", Json::array()).size(), "row");
  }
  if (form == "table") {
    return "table object of " + Plural(record["tableView"].value("entries", Json::array()).size(), "entry");
  }
  if (form == "raw") return "raw, " + Plural(record["raw"].get<std::string>().size() / 2, "byte");
  return "unreadable: " + record.value("problem", std::string("no body"));
}

Json CompareRecordContents(const Json &first, const Json &second) {
  Json differences = Json::array();
  const std::string form = RecordForm(first);
  if (form != RecordForm(second)) {
    differences.push_back(Json{{"at", "form"}, {"first", RecordSummary(first)}, {"second", RecordSummary(second)}});
  } else if (form == "keyed") {
    CompareKeyedBlocks(*KeyedOf(first), *KeyedOf(second), differences);
  } else if (form == "table") {
    CompareTableViews("", first["tableView"], second["tableView"], differences);
  } else if (form == "unreadable" && first.value("problem", "") != second.value("problem", "")) {
    differences.push_back(Json{{"at", "problem"}, {"first", first.value("problem", "")}, {"second", second.value("problem", "")}});
  }
  if (differences.empty() && first.value("raw", "") != second.value("raw", "")) {
    differences.push_back(Json{{"at", "stored bytes"}, {"what", "differ, though they read alike"}});
  }
  return differences;
}

Json RecordEntry(const Json &record, const char *change) {
  Json entry{{"change", change}, {"section", record["section"]}, {"id", record["id"]}};
  if (record.contains("role")) entry["role"] = record["role"];
  return entry;
}

Json CompareRecords(const Json &first, const Json &second) {
  const std::map<RecordAddress, Json> recordsA = RecordsByAddress(first);
  const std::map<RecordAddress, Json> recordsB = RecordsByAddress(second);
  Json changes = Json::array();
  for (const auto &[address, record] : recordsA) {
    const auto found = recordsB.find(address);
    if (found == recordsB.end()) {
      changes.push_back(RecordEntry(record, "removed"));
      changes.back()["summary"] = RecordSummary(record);
      continue;
    }
    Json differences = CompareRecordContents(record, found->second);
    if (differences.empty()) continue;
    changes.push_back(RecordEntry(found->second.contains("role") ? found->second : record, "changed"));
    changes.back()["differences"] = differences;
  }
  for (const auto &[address, record] : recordsB) {
    if (recordsA.count(address) != 0) continue;
    changes.push_back(RecordEntry(record, "added"));
    changes.back()["summary"] = RecordSummary(record);
  }
  std::stable_sort(changes.begin(), changes.end(), [](const Json &a, const Json &b) {
    return std::make_pair(a["section"].get<std::int64_t>(), a["id"].get<std::int64_t>()) <
           std::make_pair(b["section"].get<std::int64_t>(), b["id"].get<std::int64_t>());
  });
  return changes;
}

// The conditions either file keys on for the query.
KeyedConditions ConditionsOf(QueryKind kind, const ConditionMap &first, const ConditionMap &second) {
  KeyedConditions merged;
  for (const ConditionMap *map : {&first, &second}) {
    for (const ExportConditions &reached : map->byExport) {
      if (reached.kind != kind) continue;
      for (const auto &[index, values] : reached.conditions.values) merged.values[index].insert(values.begin(), values.end());
      merged.wildcards.insert(reached.conditions.wildcards.begin(), reached.conditions.wildcards.end());
    }
  }
  return merged;
}

Json StatusAnswer(std::int32_t code) {
  Json answer{{"status", code}};
  if (const char *name = StatusName(code)) answer["name"] = name;
  return answer;
}

Json FormatAnswer(const FileArgument &file) {
  const std::int32_t result = DIGetTableFormatType(file.FileName(), file.Folder());
  return result < 0 ? StatusAnswer(result) : Json{{"formatType", result}};
}

Json MainAnswer(const FileArgument &file) {
  std::vector<NamedEntry> named(DI_MAIN_NAMED_MAX);
  std::vector<IntegerTriplet> triplets(DI_MAIN_TRIPLETS_MAX);
  std::int16_t namedCount = 0;
  std::int16_t tripletCount = 0;
  const std::int16_t result =
      DIGetMainInfo(file.FileName(), file.Folder(), named.data(), triplets.data(), &namedCount, &tripletCount);
  if (result != 0) return StatusAnswer(result);
  return Json{{"namedEntries", CategoryElementsJson(named.data(), namedCount, true)},
              {"triplets", CategoryElementsJson(triplets.data(), tripletCount, false)}};
}

Json CategoryAnswer(const FileArgument &file, const QueryRequest &request) {
  std::vector<std::uint32_t> buffer(DI_CATEGORY_BUFFER_BYTES / 4);
  const ConditionPair *pairs = request.pairs.empty() ? nullptr : request.pairs.data();
  const auto pairCount = static_cast<std::int16_t>(request.pairs.size());
  const bool isV = request.kind == QueryKind::CategoryV;
  const std::int16_t result =
      isV ? DIGetCategoryInfoV(file.FileName(), file.Folder(), request.selector, pairs, buffer.data(), pairCount)
          : DIGetCategoryInfoS(file.FileName(), file.Folder(), request.selector, pairs, buffer.data(), pairCount);
  if (result < 0) return StatusAnswer(result);
  const std::int32_t valueType = CategoryValueType(file, isV ? 'v' : 's', request.selector, request.pairs);
  return Json{{"elements", CategoryElementsJson(buffer.data(), result, IsNamedListType(valueType))}};
}

Json TableAnswer(const FileArgument &file, const QueryRequest &request) {
  void *table = DIGetTable(file.FileName(), file.Folder(), request.selector, request.pairs.empty() ? nullptr : request.pairs.data(),
                           static_cast<std::int16_t>(request.pairs.size()));
  if (table == nullptr) return Json{{"table", nullptr}};
  const auto *bytes = static_cast<const std::uint8_t *>(table);
  Json view = ViewPreparedTable(bytes, PreparedTableSize(bytes));
  DIFreeTable(table);
  return view;
}

Json Answer(const FileArgument &file, const QueryRequest &request) {
  switch (request.kind) {
    case QueryKind::Format: return FormatAnswer(file);
    case QueryKind::Main: return MainAnswer(file);
    case QueryKind::Table: return TableAnswer(file, request);
    default: return CategoryAnswer(file, request);
  }
}

std::string AnswerSummary(const Json &answer) {
  if (answer.contains("status")) {
    return answer.contains("name") ? answer["name"].get<std::string>() + " (" + answer["status"].dump() + ")"
                                   : "status " + answer["status"].dump();
  }
  if (answer.contains("formatType")) return "format type " + answer["formatType"].dump();
  if (answer.contains("elements")) return Plural(answer["elements"].size(), "element");
  if (answer.contains("namedEntries")) {
    return Plural(answer["namedEntries"].size(), "named entry") + ", " + Plural(answer["triplets"].size(), "triplet");
  }
  if (answer.contains("entries")) return "a table object of " + Plural(answer["entries"].size(), "entry");
  return "no table (null)";
}

Json CompareAnswers(const Json &first, const Json &second) {
  Json differences = Json::array();
  if (first == second) return differences;
  const bool bothTables = first.contains("entries") && second.contains("entries");
  const bool bothLists = (first.contains("elements") && second.contains("elements")) ||
                         (first.contains("namedEntries") && second.contains("namedEntries"));
  if (bothTables) {
    CompareTableViews("", first, second, differences);
  } else if (bothLists) {
    for (const char *list : {"elements", "namedEntries", "triplets"}) {
      if (first.contains(list)) CompareLists(list, first[list], second[list], differences);
    }
  } else {
    differences.push_back(Json{{"at", "answer"}, {"first", AnswerSummary(first)}, {"second", AnswerSummary(second)}});
  }
  return differences;
}

// Both files asked the same questions; what they answer alike is left out.
class QueryComparison {
 public:
  QueryComparison(const std::string &first, const std::string &second)
      : first_(ExportArgument(first)), second_(ExportArgument(second)) {}

  void Ask(const QueryRequest &request) {
    ++asked_;
    Json differences = CompareAnswers(Answer(first_, request), Answer(second_, request));
    if (!differences.empty()) differing_.push_back(Json{{"query", QueryWords(request)}, {"differences", differences}});
  }

  // Every combination of the axes while the budget lasts; false when it
  // ran out first.
  bool Sweep(QueryKind kind, const std::vector<Axis> &axes, std::size_t budget) {
    std::vector<std::size_t> at(axes.size(), 0);
    std::size_t used = 0;
    do {
      if (used++ == budget) return false;
      Ask(SpecAt(kind, axes, at));
    } while (NextCombination(axes, at));
    return true;
  }

  std::size_t asked() const { return asked_; }
  const Json &differing() const { return differing_; }

 private:
  FileArgument first_;
  FileArgument second_;
  std::size_t asked_ = 0;
  Json differing_ = Json::array();
};

// Format and main once, then each query that takes conditions over every
// combination of the conditions either file keys on, as check sweeps them;
// each shares what budget the earlier ones leave.
void CompareQueries(const std::string &first, const std::string &second, const Json &inspectionA,
                    const Json &inspectionB, Json &diff) {
  QueryComparison comparison(first, second);
  comparison.Ask(QueryRequest{QueryKind::Format, 0, {}});
  comparison.Ask(QueryRequest{QueryKind::Main, 0, {}});
  const ConditionMap mapA = MapConditions(inspectionA);
  const ConditionMap mapB = MapConditions(inspectionB);
  const QueryKind swept[] = {QueryKind::CategoryV, QueryKind::CategoryS, QueryKind::Table};
  bool cut = false;
  for (std::size_t k = 0; k < std::size(swept); ++k) {
    const std::size_t left = MaxDiffQueries > comparison.asked() ? MaxDiffQueries - comparison.asked() : 0;
    const std::size_t share = std::max<std::size_t>(left / (std::size(swept) - k), 1);
    cut = !comparison.Sweep(swept[k], SweepAxes(ConditionsOf(swept[k], mapA, mapB)), share) || cut;
  }
  diff["queries"] = comparison.differing();
  diff["queriesAsked"] = comparison.asked();
  if (cut) diff["queriesCut"] = true;
}

Json CompareFiles(const Json &first, const Json &second) {
  Json differences = Json::array();
  for (const char *field : {"prefix", "sections"}) {
    if (first.value(field, Json()) != second.value(field, Json())) {
      differences.push_back(Json{{"at", field}, {"first", first.value(field, Json())}, {"second", second.value(field, Json())}});
    }
  }
  return differences;
}

std::size_t CountChanges(const Json &records, const char *change) {
  std::size_t count = 0;
  for (const Json &record : records) count += record["change"] == change ? 1u : 0u;
  return count;
}

std::string Headline(const Json &diff) {
  const std::string files = diff["first"].get<std::string>() + " and " + diff["second"].get<std::string>();
  const std::string asked = Plural(diff["queriesAsked"].get<std::size_t>(), "query");
  if (diff["same"] == true) return files + " read alike: the same records, the same answers to " + asked + "\n";
  std::string text = files + " differ:";
  if (!diff["file"].empty()) text += " the file's frame;";
  for (const char *change : {"added", "removed", "changed"}) {
    const std::size_t count = CountChanges(diff["records"], change);
    if (count != 0) text += " " + Plural(count, "record") + " " + change + ";";
  }
  return text + " " + std::to_string(diff["queries"].size()) + " of " + asked + " answer differently\n";
}

}  // namespace

Json DiffInformationFiles(const std::string &first, const std::string &second) {
  // Read as check reads them: no description built again to compare.
  const Json inspectionA = InspectInformationFile(first, false);
  const Json inspectionB = InspectInformationFile(second, false);
  Json diff{{"first", first}, {"second", second}, {"same", false}};
  diff["file"] = CompareFiles(inspectionA, inspectionB);
  diff["records"] = CompareRecords(inspectionA, inspectionB);
  CompareQueries(first, second, inspectionA, inspectionB, diff);
  diff["same"] = diff["file"].empty() && diff["records"].empty() && diff["queries"].empty();
  return diff;
}

std::string RenderDiff(const Json &diff) {
  std::string out = Headline(diff);
  for (const Json &difference : diff["file"]) out += "  file " + DescribeDifference(difference) + "\n";
  for (const Json &record : diff["records"]) {
    const std::string change = record["change"];
    const char mark = change == "added" ? '+' : change == "removed" ? '-' : '~';
    out += std::string("  ") + mark + " " + RecordName(record);
    if (record.contains("role")) out += " (" + record["role"].get<std::string>() + ")";
    if (record.contains("summary")) out += ": " + record["summary"].get<std::string>();
    out += "\n";
    for (const Json &difference : record.value("differences", Json::array())) {
      out += "      " + DescribeDifference(difference) + "\n";
    }
  }
  for (const Json &query : diff["queries"]) {
    out += "  answer of " + query["query"].get<std::string>() + ":\n";
    for (const Json &difference : query["differences"]) out += "      " + DescribeDifference(difference) + "\n";
  }
  if (diff.contains("queriesCut")) {
    out += "  (the sweep stopped after " + Plural(diff["queriesAsked"].get<std::size_t>(), "query") +
           ": not every combination of conditions was asked)\n";
  }
  return out;
}

int RunDiff(const DiffOptions &options) {
  if (IsStandardStream(options.first) && IsStandardStream(options.second)) {
    throw CliError(ExitUsage, "standard input (-) can stand for one of the two files, not both");
  }
  std::optional<StandardInputCopy> standardInput;
  const auto readable = [&](const std::string &path) {
    if (!IsStandardStream(path)) {
      CheckInputFile(path);
      return path;
    }
    standardInput.emplace();
    return standardInput->path();
  };
  const std::string first = readable(options.first);
  const std::string second = readable(options.second);
  Json diff = DiffInformationFiles(first, second);
  diff["first"] = InputName(options.first);
  diff["second"] = InputName(options.second);
  std::cout << (options.json ? ToText(diff) + "\n" : RenderDiff(diff));
  return diff["same"] == true ? ExitOk : ExitFilesDiffer;
}

}  // namespace dinfo::cli
