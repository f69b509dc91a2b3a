#include "analysis/condition_map.h"

#include "infofile/information_file.h"

namespace dinfo::cli {
namespace {

// The decoded keyed blocks of the main section by record id (the first
// entry for an id, as lookups take it).
std::map<std::int32_t, const Json *> KeyedBlocks(const Json &inspection) {
  std::map<std::int32_t, const Json *> blocks;
  for (const Json &record : inspection["records"]) {
    if (record.value("section", 0) != MainSection) continue;
    for (const char *key : {"keyed", "keyedView"}) {
      if (record.contains(key)) blocks.emplace(record["id"].get<std::int32_t>(), &record[key]);
    }
  }
  return blocks;
}

KeyedConditions ConditionsOf(const Json &block) {
  KeyedConditions found;
  const Json keyIndex = block.value("keyIndex", Json::array());
  for (const Json &row : block.value("rows", Json::array())) {
    const Json keys = row.value("keys", Json::array());
    for (std::size_t k = 0; k < keys.size() && k < keyIndex.size(); ++k) {
      const auto index = keyIndex[k].get<std::int32_t>();
      if (keys[k].is_number_integer()) {
        found.values[index].insert(keys[k].get<std::int32_t>());
      } else {
        found.wildcards.insert(index);
      }
    }
  }
  return found;
}

void Merge(KeyedConditions &into, const KeyedConditions &from) {
  for (const auto &[index, values] : from.values) into.values[index].insert(values.begin(), values.end());
  into.wildcards.insert(from.wildcards.begin(), from.wildcards.end());
}

// Follows the chains from `id`; the final blocks of a category list the
// records it gathers, which are looked up with the same conditions.
void Reach(const std::map<std::int32_t, const Json *> &blocks, std::int32_t id, bool listsRecords,
           ExportConditions &reached, std::set<std::int32_t> &seen) {
  if (!seen.insert(id).second) return;
  const auto found = blocks.find(id);
  if (found == blocks.end()) return;
  reached.reached.push_back(id);
  const Json &block = *found->second;
  Merge(reached.conditions, ConditionsOf(block));
  const bool chain = block.value("kind", Json()) == "chain";
  for (const Json &row : block.value("rows", Json::array())) {
    const Json values = row.value("values", Json::array());
    if (chain) {
      // A chain row's first value names the next record.
      if (!values.empty() && values[0].is_number_integer()) Reach(blocks, values[0], listsRecords, reached, seen);
      continue;
    }
    for (const Json &value : values) {
      if (!listsRecords || !value.is_number_integer() || value.get<std::int64_t>() == 0) break;
      Reach(blocks, value.get<std::int32_t>(), false, reached, seen);
    }
  }
}

Json ConditionsJson(const KeyedConditions &conditions) {
  Json out = Json::object();
  std::set<std::int32_t> indexes = conditions.wildcards;
  for (const auto &[index, values] : conditions.values) indexes.insert(index);
  for (std::int32_t index : indexes) {
    Json entry{{"values", Json::array()}};
    if (const auto found = conditions.values.find(index); found != conditions.values.end()) {
      for (std::int32_t value : found->second) entry["values"].push_back(value);
    }
    entry["anyValue"] = conditions.wildcards.count(index) != 0;
    out[std::to_string(index)] = entry;
  }
  return out;
}

std::string ConditionsText(const Json &conditions) {
  if (conditions.empty()) return "no conditions";
  std::string out;
  for (const auto &item : conditions.items()) {
    std::string values;
    for (const Json &value : item.value()["values"]) values += (values.empty() ? "" : ",") + value.dump();
    if (item.value()["anyValue"].get<bool>()) values += values.empty() ? "*" : ",*";
    out += (out.empty() ? "" : "  ") + item.key() + "=" + values;
  }
  return out;
}

}  // namespace

ConditionMap MapConditions(const Json &inspection) {
  const std::map<std::int32_t, const Json *> blocks = KeyedBlocks(inspection);
  ConditionMap map;
  for (const auto &[id, block] : blocks) {
    KeyedConditions conditions = ConditionsOf(*block);
    if (!conditions.values.empty() || !conditions.wildcards.empty()) map.byRecord[id] = conditions;
  }
  const std::pair<QueryKind, std::int32_t> roots[] = {{QueryKind::CategoryV, CategoryVRecordId},
                                                      {QueryKind::CategoryS, CategorySRecordId},
                                                      {QueryKind::Table, TableLocatorRecordId}};
  for (const auto &[kind, root] : roots) {
    ExportConditions reached{kind, {}, {}};
    std::set<std::int32_t> seen;
    Reach(blocks, root, kind != QueryKind::Table, reached, seen);
    map.byExport.push_back(reached);
  }
  return map;
}

Json ConditionMapJson(const ConditionMap &map) {
  Json records = Json::array();
  for (const auto &[id, conditions] : map.byRecord) {
    records.push_back(Json{{"section", MainSection}, {"id", id}, {"conditions", ConditionsJson(conditions)}});
  }
  Json exports = Json::array();
  for (const ExportConditions &reached : map.byExport) {
    exports.push_back(Json{{"query", QueryName(reached.kind)},
                           {"call", ExportOf(reached.kind)},
                           {"records", reached.reached},
                           {"conditions", ConditionsJson(reached.conditions)}});
  }
  return Json{{"records", records}, {"exports", exports}};
}

std::string RenderConditionMap(const ConditionMap &map) {
  const Json json = ConditionMapJson(map);
  std::string out = "by export (INDEX=VALUES; * where a row accepts any value):\n";
  for (const Json &reached : json["exports"]) {
    out += "  " + reached["query"].get<std::string>() + " (" + reached["call"].get<std::string>() + "): " +
           ConditionsText(reached["conditions"]) + "\n";
    if (!reached["records"].empty()) out += "    through records " + reached["records"].dump() + "\n";
  }
  out += "  format, main: read without conditions\n";
  out += "by record:\n";
  if (json["records"].empty()) out += "  no record keys on a condition\n";
  for (const Json &record : json["records"]) {
    out += "  record " + record["id"].dump() + ": " + ConditionsText(record["conditions"]) + "\n";
  }
  return out;
}

}  // namespace dinfo::cli
