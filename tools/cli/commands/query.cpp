#include "commands/query.h"

#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "analysis/query_trace.h"
#include "standard_streams.h"
#include "json_util.h"
#include "outputs/render.h"
#include "outputs/svg_plot.h"
#include "formats/table_json.h"
#include "commands/table_probe.h"

namespace dinfo::cli {
namespace {

constexpr std::size_t MaxElements = 32767;

// The query as explain and the trace take it.
QueryRequest SpecOf(QueryKind kind, const QueryOptions &options) {
  return QueryRequest{kind, options.selector, ParseConditions(options.conditions)};
}

// Prints a failed export's answer under its status, with where the query
// stopped (retraced through the library), and gives the exit code.
int Failure(const QueryOptions &options, QueryKind kind, std::int32_t code) {
  const QueryRequest request = SpecOf(kind, options);
  const QueryTrace trace = TraceQuery(options.file, request);
  std::string message = kind == QueryKind::Table ? "null" : DescribeStatus(code);
  if (trace.stop.contains("storedFormatType")) {
    message = "the file stores the negative format type " + std::to_string(code);
    if (const char *name = StatusName(code)) message += std::string(" (the same number as ") + name + ")";
  }
  const std::string stop = trace.answered ? "the retraced query answers (" + std::to_string(trace.status) +
                                                "): the file may have changed"
                                          : StopText(trace.stop);
  if (options.json) {
    Json answer{{"call", ExportOf(kind)}, {"file", options.file.Describe()}};
    if (kind == QueryKind::Table) {
      answer["table"] = nullptr;
    } else {
      answer["status"] = code;
      if (const char *name = StatusName(code)) answer["name"] = name;
    }
    answer["message"] = message;
    answer["stop"] = trace.answered ? Json(stop) : trace.stop;
    answer["exitCode"] = ExitQueryFailed;
    std::cout << ToText(answer) << "\n";
  }
  std::cerr << "dinfo: " << ExportOf(kind) << " on " << options.file.Describe() << ": " << message << "\n"
            << "  stopped: " << stop << "\n"
            << "  (dinfo explain " << options.file.Describe() << " " << QueryWords(request) << " shows every step)\n";
  return ExitQueryFailed;
}

void Print(const QueryOptions &options, const Json &answer, const std::string &text, std::ostream &out = std::cout) {
  if (options.json) {
    out << ToText(answer) << "\n";
  } else {
    out << text;
  }
}

}  // namespace

Json NamedEntryJson(const NamedEntry &entry) {
  Json name;
  if (auto text = CleanText(entry.name, sizeof entry.name)) {
    name = *text;
  } else {
    name = Json{{"hex", ToHex(entry.name, sizeof entry.name)}};
  }
  return Json{{"leading", entry.leadingValue}, {"name", name}, {"trailing", entry.trailingValue}};
}

Json TripletJson(const IntegerTriplet &triplet) {
  return Json::array({triplet.values[0], triplet.values[1], triplet.values[2]});
}

Json CategoryElementsJson(const void *elements, std::int16_t count, bool named) {
  const auto *bytes = static_cast<const std::uint8_t *>(elements);
  Json list = Json::array();
  for (std::int16_t i = 0; i < count; ++i) {
    if (named) {
      NamedEntry entry;
      std::memcpy(&entry, bytes + sizeof entry * std::size_t(i), sizeof entry);
      list.push_back(NamedEntryJson(entry));
    } else {
      IntegerTriplet triplet;
      std::memcpy(&triplet, bytes + sizeof triplet * std::size_t(i), sizeof triplet);
      list.push_back(TripletJson(triplet));
    }
  }
  return list;
}

std::vector<ConditionPair> ParseConditions(const std::vector<std::string> &conditions) {
  std::vector<ConditionPair> pairs;
  for (const std::string &condition : conditions) {
    const std::size_t equals = condition.find('=');
    ConditionPair pair{};
    try {
      if (equals == std::string::npos) throw std::invalid_argument("no =");
      std::size_t used = 0;
      const long long index = std::stoll(condition.substr(0, equals), &used, 0);
      if (used != equals) throw std::invalid_argument("index");
      const std::string valueText = condition.substr(equals + 1);
      const long long value = std::stoll(valueText, &used, 0);
      if (used != valueText.size()) throw std::invalid_argument("value");
      if (index < INT32_MIN || index > INT32_MAX || value < INT32_MIN || value > INT32_MAX) {
        throw std::out_of_range("int32");
      }
      pair.index = static_cast<std::int32_t>(index);
      pair.value = static_cast<std::int32_t>(value);
    } catch (const std::logic_error &) {
      throw CliError(ExitUsage, "--cond '" + condition + "': expected INDEX=VALUE, two 32-bit integers");
    }
    pairs.push_back(pair);
  }
  if (pairs.size() > 32767) throw CliError(ExitUsage, "more than 32767 conditions");
  return pairs;
}

int RunFormat(const QueryOptions &options) {
  const std::int32_t result = DIGetTableFormatType(options.file.FileName(), options.file.Folder());
  if (result < 0) return Failure(options, QueryKind::Format, result);
  Print(options, Json{{"call", "DIGetTableFormatType"}, {"formatType", result}},
        "format type " + std::to_string(result) + "\n");
  return ExitOk;
}

int RunMain(const QueryOptions &options) {
  std::vector<NamedEntry> named(MaxElements);
  std::vector<IntegerTriplet> triplets(MaxElements);
  std::int16_t namedCount = 0;
  std::int16_t tripletCount = 0;
  const std::int16_t result = DIGetMainInfo(options.file.FileName(), options.file.Folder(), named.data(),
                                            triplets.data(), &namedCount, &tripletCount);
  if (result != 0) return Failure(options, QueryKind::Main, result);
  Json answer{{"call", "DIGetMainInfo"}, {"namedEntries", Json::array()}, {"triplets", Json::array()}};
  for (std::int16_t i = 0; i < namedCount; ++i) answer["namedEntries"].push_back(NamedEntryJson(named[std::size_t(i)]));
  for (std::int16_t i = 0; i < tripletCount; ++i) answer["triplets"].push_back(TripletJson(triplets[std::size_t(i)]));
  Print(options, answer, RenderMainInfo(answer));
  return ExitOk;
}

int RunCategory(char variant, const QueryOptions &options) {
  const std::vector<ConditionPair> pairs = ParseConditions(options.conditions);
  const auto pairCount = static_cast<std::int16_t>(pairs.size());
  // Room for the most elements a 16-bit count can report, of the larger type.
  std::vector<std::uint32_t> buffer(MaxElements * sizeof(NamedEntry) / 4);
  const std::string call = variant == 'v' ? "DIGetCategoryInfoV" : "DIGetCategoryInfoS";
  const std::int16_t result =
      variant == 'v'
          ? DIGetCategoryInfoV(options.file.FileName(), options.file.Folder(), options.selector,
                               pairs.empty() ? nullptr : pairs.data(), buffer.data(), pairCount)
          : DIGetCategoryInfoS(options.file.FileName(), options.file.Folder(), options.selector,
                               pairs.empty() ? nullptr : pairs.data(), buffer.data(), pairCount);
  if (result < 0) return Failure(options, variant == 'v' ? QueryKind::CategoryV : QueryKind::CategoryS, result);

  // The export does not say which element type it wrote; the file does.
  std::string as = options.as;
  const std::int32_t valueType = CategoryValueType(options.file, variant, options.selector, pairs);
  if (as == "auto") as = valueType == 256 || valueType == 264 ? "named" : "triplets";
  Json answer{{"call", call}, {"count", result}, {"elementType", as == "named" ? "NamedEntry" : "IntegerTriplet"}};
  if (valueType != 0) answer["valueType"] = valueType;
  answer["elements"] = CategoryElementsJson(buffer.data(), result, as == "named");
  Print(options, answer, RenderCategory(answer));
  return ExitOk;
}

namespace {

// "table of FILE, selector 1, condition 9=0; arrays as i8, u16, i32":
// what a plot shows, with the views its arrays were read through.
std::string QueryTitle(const QueryOptions &options, const ArrayViews &views) {
  std::string title = "table of " + options.file.Describe() + ", selector " + std::to_string(options.selector);
  if (!options.conditions.empty()) {
    title += options.conditions.size() == 1 ? ", condition" : ", conditions";
    for (const std::string &condition : options.conditions) title += " " + condition;
  }
  return title + "; " + views.Describe();
}

}  // namespace

int RunTable(const QueryOptions &options) {
  const std::vector<ConditionPair> pairs = ParseConditions(options.conditions);
  const ArrayViews views = ArrayViews::FromOptions(options.views);
  const std::string input = options.file.ResolvedPath();
  RefuseToOverwriteInputs(options.out, "--out", {input});
  RefuseToOverwriteInputs(options.plot, "--plot", {input});
  if (!options.out.empty() && options.out == options.plot) {
    throw CliError(ExitUsage, "--out and --plot both name '" + options.out + "'; give each its own");
  }
  void *table = DIGetTable(options.file.FileName(), options.file.Folder(), options.selector,
                           pairs.empty() ? nullptr : pairs.data(), static_cast<std::int16_t>(pairs.size()));
  if (table == nullptr) return Failure(options, QueryKind::Table, 0);
  const TableProbe probe = ProbeTable(options.file, options.selector, pairs);
  const auto *bytes = static_cast<const std::uint8_t *>(table);
  const std::size_t totalSize = PreparedTableSize(bytes);
  Json view = ViewPreparedTable(bytes, totalSize, views);
  if (!probe.storedView.empty()) AnnotateStoredCodings(view, probe.storedView);
  Json answer{{"call", "DIGetTable"}};
  if (probe.section != 0) answer["storedAt"] = Json{{"section", probe.section}, {"record", probe.recordId}};
  answer["table"] = view;
  try {
    views.CheckEntries(view);
    if (!options.out.empty()) WriteWholeFile(options.out, std::vector<std::uint8_t>(bytes, bytes + totalSize));
    if (!options.plot.empty()) {
      const std::string svg = PlotTableArrays(view, QueryTitle(options, views));
      WriteWholeFile(options.plot, std::vector<std::uint8_t>(svg.begin(), svg.end()));
    }
  } catch (...) {
    DIFreeTable(table);
    throw;
  }
  DIFreeTable(table);
  // When standard output carries the table's bytes or its plot, the answer
  // goes to standard error.
  const bool outputTaken = IsStandardStream(options.out) || IsStandardStream(options.plot);
  Print(options, answer, RenderTable(answer, options.all), outputTaken ? std::cerr : std::cout);
  return ExitOk;
}

}  // namespace dinfo::cli
