#include "commands/diff_compare.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "outputs/render.h"

namespace dinfo::cli {
namespace {

// Longer values are cut in text; --json carries them whole.
constexpr std::size_t BriefLength = 72;

void Changed(const std::string &at, const Json &first, const Json &second, Json &differences) {
  if (first != second) differences.push_back(Json{{"at", at}, {"first", first}, {"second", second}});
}

// Fields present in either object, but `skipped`, compared by name.
void CompareFields(const std::string &prefix, const Json &first, const Json &second,
                   std::initializer_list<const char *> skipped, Json &differences) {
  std::vector<std::string> keys;
  for (const Json *object : {&first, &second}) {
    for (const auto &item : object->items()) {
      const bool skip = std::any_of(skipped.begin(), skipped.end(), [&](const char *key) { return item.key() == key; });
      if (!skip && std::find(keys.begin(), keys.end(), item.key()) == keys.end()) keys.push_back(item.key());
    }
  }
  for (const std::string &key : keys) {
    Changed(prefix.empty() ? key : prefix + " " + key, first.value(key, Json()), second.value(key, Json()), differences);
  }
}

// Rows are named by their keys, and rows with the same keys by their turn
// among them; rows without keys are named by their place.
std::vector<std::string> RowNames(const Json &rows) {
  std::map<std::string, std::size_t> seen;
  std::vector<std::string> names;
  for (const Json &row : rows) {
    const Json keys = row.value("keys", Json::array());
    const std::size_t turn = seen[keys.dump()]++;
    if (keys.empty()) {
      names.push_back("row " + std::to_string(turn));
      continue;
    }
    std::string name = "row keys [";
    for (std::size_t j = 0; j < keys.size(); ++j) name += (j == 0 ? "" : ", ") + Brief(keys[j]);
    names.push_back(name + "]" + (turn == 0 ? "" : " #" + std::to_string(turn + 1)));
  }
  return names;
}

std::string EntryPath(const std::string &prefix, std::size_t index) {
  return prefix.empty() ? "entry " + std::to_string(index) : prefix + "." + std::to_string(index);
}

std::string EntrySummary(const Json &entry) {
  const std::string kind = entry.value("kind", "");
  if (kind == "array") {
    return "array of " + Plural(entry.value("count", std::size_t{0}), entry.value("elementSize", Json()).dump() + "-byte element");
  }
  if (kind == "raw run") return "raw run of " + Plural(entry.value("length", std::size_t{0}), "byte");
  if (kind == "inline") return "inline, location word " + entry.value("location", Json()).dump();
  return kind;
}

Json ByteList(const Json &hex) {
  Json bytes = Json::array();
  if (!hex.is_string()) return bytes;
  for (std::uint8_t byte : FromHex(hex.get<std::string>(), "raw run")) bytes.push_back(byte);
  return bytes;
}

void CompareEntries(const std::string &path, const Json &first, const Json &second, Json &differences) {
  if (first.value("kind", "") != second.value("kind", "")) {
    differences.push_back(Json{{"at", path}, {"first", EntrySummary(first)}, {"second", EntrySummary(second)}});
    return;
  }
  const std::string kind = first.value("kind", "");
  if (kind == "array") {
    CompareFields(path, first, second, {"index", "tag", "location", "count", "values"}, differences);
    CompareLists(path, first.value("values", Json::array()), second.value("values", Json::array()), differences);
  } else if (kind == "raw run") {
    CompareLists(path, ByteList(first.value("bytes", Json())), ByteList(second.value("bytes", Json())), differences);
  } else if (kind == "nested table") {
    Changed(path + " tagBits", first.value("tagBits", Json()), second.value("tagBits", Json()), differences);
    CompareTableViews(path, first.value("table", Json::object()), second.value("table", Json::object()), differences);
  } else {
    CompareFields(path, first, second, {"index"}, differences);
  }
}

}  // namespace

std::string Brief(const Json &value) {
  std::string text = value.is_string() ? value.get<std::string>() : value.dump();
  if (text.size() > BriefLength) text = text.substr(0, BriefLength) + "...";
  return text;
}

void CompareLists(const std::string &at, const Json &first, const Json &second, Json &differences) {
  if (first == second) return;
  const std::size_t common = std::min(first.size(), second.size());
  std::size_t differing = 0;
  std::optional<std::size_t> firstAt;
  for (std::size_t i = 0; i < common; ++i) {
    if (first[i] == second[i]) continue;
    ++differing;
    if (!firstAt) firstAt = i;
  }
  Json difference{{"at", at}, {"count", Json::array({first.size(), second.size()})}, {"differing", differing}};
  if (firstAt) {
    difference["firstDifference"] = Json{{"index", *firstAt}, {"first", first[*firstAt]}, {"second", second[*firstAt]}};
  }
  differences.push_back(difference);
}

void CompareKeyedBlocks(const Json &first, const Json &second, Json &differences) {
  CompareFields("", first, second, {"rows"}, differences);
  const Json rowsA = first.value("rows", Json::array());
  const Json rowsB = second.value("rows", Json::array());
  const std::vector<std::string> namesA = RowNames(rowsA);
  const std::vector<std::string> namesB = RowNames(rowsB);
  std::map<std::string, std::size_t> placeInB;
  for (std::size_t i = 0; i < namesB.size(); ++i) placeInB[namesB[i]] = i;
  std::vector<std::string> commonInA;
  for (std::size_t i = 0; i < namesA.size(); ++i) {
    const auto found = placeInB.find(namesA[i]);
    const Json valuesA = rowsA[i].value("values", Json::array());
    if (found == placeInB.end()) {
      differences.push_back(Json{{"at", namesA[i]}, {"first", valuesA}});
      continue;
    }
    commonInA.push_back(namesA[i]);
    Changed(namesA[i], valuesA, rowsB[found->second].value("values", Json::array()), differences);
  }
  std::vector<std::string> commonInB;
  for (std::size_t i = 0; i < namesB.size(); ++i) {
    if (std::find(namesA.begin(), namesA.end(), namesB[i]) != namesA.end()) {
      commonInB.push_back(namesB[i]);
    } else {
      differences.push_back(Json{{"at", namesB[i]}, {"second", rowsB[i].value("values", Json::array())}});
    }
  }
  // The first matching row wins: the order of rows is part of their meaning.
  if (commonInA != commonInB) differences.push_back(Json{{"at", "rows"}, {"what", "the same rows in another order"}});
}

void CompareTableViews(const std::string &prefix, const Json &first, const Json &second, Json &differences) {
  CompareFields(prefix, first, second, {"entries", "totalSize", "descriptorCount", "note", "problems"}, differences);
  const Json entriesA = first.value("entries", Json::array());
  const Json entriesB = second.value("entries", Json::array());
  for (std::size_t i = 0; i < std::max(entriesA.size(), entriesB.size()); ++i) {
    const std::string path = EntryPath(prefix, i);
    if (i >= entriesB.size()) {
      differences.push_back(Json{{"at", path}, {"first", EntrySummary(entriesA[i])}});
    } else if (i >= entriesA.size()) {
      differences.push_back(Json{{"at", path}, {"second", EntrySummary(entriesB[i])}});
    } else {
      CompareEntries(path, entriesA[i], entriesB[i], differences);
    }
  }
}

std::string DescribeDifference(const Json &difference) {
  const std::string at = difference["at"].get<std::string>() + ": ";
  if (difference.contains("what")) return at + difference["what"].get<std::string>();
  if (difference.contains("differing")) {
    const std::size_t countA = difference["count"][0].get<std::size_t>();
    const std::size_t countB = difference["count"][1].get<std::size_t>();
    const std::size_t differing = difference["differing"].get<std::size_t>();
    std::string text = at;
    if (countA != countB) {
      text += std::to_string(countA) + " -> " + Plural(countB, "element");
      if (differing == 0) return text + ", the first " + std::to_string(std::min(countA, countB)) + " alike";
      text += ", of the first " + std::to_string(std::min(countA, countB)) + " ";
    }
    text += std::to_string(differing) + " of " + Plural(std::min(countA, countB), "element") +
            (differing == 1 ? " differs" : " differ");
    const Json &firstDifference = difference["firstDifference"];
    return text + ", first at [" + firstDifference["index"].dump() + "]: " + Brief(firstDifference["first"]) + " -> " +
           Brief(firstDifference["second"]);
  }
  const bool hasFirst = difference.contains("first");
  const bool hasSecond = difference.contains("second");
  if (hasFirst && hasSecond) return at + Brief(difference["first"]) + " -> " + Brief(difference["second"]);
  if (hasSecond) return at + "added " + Brief(difference["second"]);
  return at + "removed " + Brief(difference["first"]);
}

}  // namespace dinfo::cli
