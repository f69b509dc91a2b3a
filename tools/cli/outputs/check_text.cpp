#include "outputs/check_text.h"

namespace dinfo::cli {
namespace {

std::string Count(std::int64_t count, const std::string &word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

std::string SweepText(const Json &sweep, bool all) {
  std::string swept;
  std::string failures;
  for (const Json &query : sweep) {
    const std::string name = query["query"];
    const std::int64_t calls = query["calls"];
    const std::int64_t answered = query["answered"];
    swept += (swept.empty() ? "" : "; ") + name + " " +
             (calls == 1 ? (answered == 1 ? "answers" : "fails") : std::to_string(answered) + " of " + std::to_string(calls));
    if (query.contains("blockedByStatusRecord")) swept += " (the status record stops it)";
    for (const Json &group : query["failures"]) {
      if (calls == 1) break;
      std::string status = group.contains("name") ? group["name"].get<std::string>() : "null";
      failures += "    " + name + ": " + Count(group["count"], "combination") + " " + status + ": " +
                  group["stop"].get<std::string>() + " (e.g. " + group["example"].get<std::string>() + ")\n";
      if (!all) continue;
      for (const Json &words : group.value("queries", Json::array())) failures += "      " + words.get<std::string>() + "\n";
    }
  }
  return "  swept: " + swept + "\n" + (failures.empty() ? "" : "  combinations that fail:\n" + failures);
}

}  // namespace

std::string RenderCheck(const Json &check, bool all) {
  const std::int64_t errors = check["errors"];
  const std::int64_t warnings = check["warnings"];
  std::string out = check["file"].get<std::string>() + ": ";
  if (errors + warnings == 0) {
    out += "no problems found\n";
  } else {
    out += Count(errors, "error") + ", " + Count(warnings, "warning") + "\n";
  }
  for (const Json &problem : check["problems"]) {
    out += "  " + problem["severity"].get<std::string>() + " " + problem["code"].get<std::string>() + ": " +
           problem["where"].get<std::string>() + ": " + problem["what"].get<std::string>() + "\n";
  }
  if (!check["sweep"].empty()) out += SweepText(check["sweep"], all);
  return out;
}

std::string RenderCheckSummary(const std::vector<Json> &checks) {
  std::int64_t withErrors = 0;
  std::int64_t withWarnings = 0;
  for (const Json &check : checks) {
    if (check["errors"] > 0) {
      ++withErrors;
    } else if (check["warnings"] > 0) {
      ++withWarnings;
    }
  }
  const auto clean = std::int64_t(checks.size()) - withErrors - withWarnings;
  return "checked " + Count(std::int64_t(checks.size()), "file") + ": " + std::to_string(withErrors) + " with errors, " +
         std::to_string(withWarnings) + " with warnings only, " + std::to_string(clean) + " without problems\n";
}

}  // namespace dinfo::cli
