#include "outputs/structure_text.h"

#include "outputs/render.h"

namespace dinfo::cli {
namespace {

std::string KeysText(const Json &keys, const Json &keyIndex) {
  std::string out;
  for (std::size_t j = 0; j < keys.size(); ++j) {
    const std::string index = j < keyIndex.size() ? keyIndex[j].dump() : "?";
    out += (out.empty() ? "" : " ") + index + "=" + (keys[j].is_string() ? keys[j].get<std::string>() : keys[j].dump());
  }
  return "[" + out + "]";
}

std::string RowValuesText(const Json &values) {
  std::string out;
  for (const Json &value : values) {
    std::string text;
    if (value.is_object() && value.contains("leading")) {
      text = "{" + value["leading"].dump() + " " + TextOf(value["name"]) + " " + value["trailing"].dump() + "}";
    } else {
      text = value.is_number() ? value.dump() : TextOf(value);
    }
    out += (out.empty() ? "" : ", ") + text;
  }
  return out;
}

std::string KeyedText(const Json &keyed, const std::string &indent) {
  std::string out = indent + "keyed block: " + (keyed["kind"].is_string() ? keyed["kind"].get<std::string>()
                                                                          : "kind " + keyed["kind"].dump());
  out += ", " + (keyed["valueType"].is_string() ? keyed["valueType"].get<std::string>()
                                                : "value type " + keyed["valueType"].dump());
  // The block carries no sign; its 8- and 16-bit values are shown signed.
  if (keyed["valueType"] == "int8" || keyed["valueType"] == "int16") out += " (signed)";
  out += " x " + keyed["valuesPerRow"].dump();
  const Json keyIndex = keyed.value("keyIndex", Json::array());
  if (!keyIndex.empty()) out += ", keys on conditions " + keyIndex.dump();
  if (keyed.contains("disabled")) out += ", DISABLED (" + keyed["disabled"].dump() + ")";
  if (keyed.contains("reserved")) out += ", reserved " + keyed["reserved"].dump();
  out += ", scramble key " + keyed["scrambleKey"].get<std::string>() + "\n";
  if (keyed.contains("payload")) {
    out += indent + "  payload standing for " + Plural(keyed["rowCount"].get<std::size_t>(), "row") + ": " + keyed["payload"].get<std::string>() + "\n";
  }
  if (!keyed.contains("rows")) {
    if (keyed.contains("rowCount")) out += indent + "  header: keyCount " + keyed.value("keyCount", Json(0)).dump() +
                                           ", rowCount " + keyed["rowCount"].dump() + " (rows not read)\n";
    return out;
  }
  std::size_t r = 0;
  for (const Json &row : keyed["rows"]) {
    out += indent + "  row " + std::to_string(r++);
    const Json keys = row.value("keys", Json::array());
    if (!keys.empty()) out += " " + KeysText(keys, keyIndex);
    const Json values = row.value("values", Json::array());
    if (keyed["kind"] == "chain" && !values.empty()) {
      out += " -> record " + values[0].dump() + "\n";
    } else {
      out += ": " + RowValuesText(values) + "\n";
    }
  }
  return out;
}

std::string NodeText(const Json &node, const std::string &indent, const std::string &lead) {
  std::string out = indent + lead + node["id"].dump() + " (" + node["role"].get<std::string>() + ")";
  if (node.contains("problem")) return out + ": " + node["problem"].get<std::string>() + "\n";
  if (node.contains("loop")) return out + ": comes back to itself\n";
  if (node.contains("seen")) return out + ": shown above\n";
  out += ": " + (node["kind"].is_string() ? node["kind"].get<std::string>() : "kind " + node["kind"].dump());
  if (node.contains("disabled")) out += ", DISABLED";
  const Json keyIndex = node.value("keyIndex", Json::array());
  if (node.contains("links")) {
    out += " on conditions " + keyIndex.dump() + "\n";
    for (const Json &link : node["links"]) {
      const std::string keys = KeysText(link["keys"], keyIndex);
      if (link.contains("problem")) {
        out += indent + "  " + keys + " " + link["problem"].get<std::string>() + "\n";
      } else if (link.contains("loop")) {
        out += indent + "  " + keys + " -> " + link["next"].dump() + ": back into the chain (a loop)\n";
      } else {
        out += NodeText(link["block"], indent + "  ", keys + " -> ");
      }
    }
    return out;
  }
  if (!keyIndex.empty()) out += " on conditions " + keyIndex.dump();
  out += ", " + node["rows"].dump() + (node["rows"] == 1 ? " row" : " rows");
  if (node.contains("fileStatus")) out += "; file status " + node["fileStatus"].dump();
  if (node.contains("formatType")) out += ", format type " + node["formatType"].dump();
  out += "\n";
  for (const Json &list : node.value("lists", Json::array())) {
    out += indent + "  " + (list["keys"].empty() ? "row" : KeysText(list["keys"], keyIndex)) + " lists " +
           std::to_string(list["records"].size()) + (list["records"].size() == 1 ? " record\n" : " records\n");
    for (const Json &listed : list["records"]) out += NodeText(listed, indent + "    ", "");
  }
  for (const Json &address : node.value("addresses", Json::array())) {
    out += indent + "  " + (address["keys"].empty() ? "row" : KeysText(address["keys"], keyIndex)) + " ";
    if (address.contains("section")) {
      out += "section " + address["section"].dump() + "\n";
    } else if (address.contains("record")) {
      out += "record " + address["record"].dump() + "\n";
    } else {
      out += address.value("problem", std::string("values ") + address["values"].dump()) + "\n";
    }
  }
  return out;
}

// The status record as the queries read it.
std::string FrameText(const Json &frame) {
  std::string out = "status record as the queries read it (no conditions): ";
  if (frame["lookup"] != "answered") return out + "its lookup fails: " + frame["lookup"].get<std::string>() + "\n";
  out += frame["rows"].dump() + (frame["rows"] == 1 ? " row" : " rows") + ", file status " + frame["fileStatus"].dump();
  if (frame.contains("storedFormatType")) out += ", format type " + frame["storedFormatType"].dump();
  return out + "\n";
}

}  // namespace

std::string RenderProblems(const Json &inspection) {
  const Json &problems = inspection["problems"];
  std::string out = inspection["file"].get<std::string>() + ": ";
  if (problems.empty()) return out + "no problems found\n";
  out += std::to_string(problems.size()) + (problems.size() == 1 ? " problem\n" : " problems\n");
  for (const Json &problem : problems) {
    out += "  " + problem["where"].get<std::string>() + ": " + problem["what"].get<std::string>() + "\n";
  }
  return out;
}

std::string RenderInspection(const Json &inspection, bool all) {
  std::string out = "information file " + inspection["file"].get<std::string>() + ", " + inspection["size"].dump() +
                    " bytes, prefix " + inspection["prefix"].get<std::string>() + "\n";
  out += "sections: " + inspection["sections"].dump() + "\n\n";
  for (const Json &directory : inspection["directories"]) {
    out += "directory of section " + directory["section"].dump();
    if (directory.contains("offset")) out += " at " + directory["offset"].dump();
    if (directory.contains("problem")) {
      out += ": " + directory["problem"].get<std::string>() + "\n";
      continue;
    }
    out += ", " + Plural(directory["entryCount"].get<std::size_t>(), "entry") + "\n";
    for (const Json &entry : directory["entries"]) {
      out += "  record " + entry["id"].dump() + " of section " + entry["section"].dump() + " at " + entry["offset"].dump();
      if (entry.contains("note")) out += " (" + entry["note"].get<std::string>() + ")";
      out += "\n";
    }
  }
  out += "\nrecords, in file order\n";
  for (const Json &record : inspection["records"]) {
    out += "  record " + record["id"].dump() + " of section " + record["section"].dump() + " at " +
           record["offset"].dump() + ", " + Plural(record["size"].get<std::size_t>(), "byte");
    if (record.contains("role")) out += " (" + record["role"].get<std::string>() + ")";
    out += "\n";
    for (const char *key : {"keyed", "keyedView"}) {
      if (record.contains(key)) out += KeyedText(record[key], "    ");
    }
    if (record.contains("tableView")) out += RenderTableView(record["tableView"], "    ", all);
    for (const Json &problem : record.value("problems", Json::array())) out += "    PROBLEM: " + problem.get<std::string>() + "\n";
    if (record.contains("note")) out += "    note: " + record["note"].get<std::string>() + "\n";
    if (record.contains("raw") && !record.contains("keyedView") && !record.contains("tableView")) {
      std::string hex = record["raw"];
      out += "    raw bytes: " + (hex.size() > 96 ? hex.substr(0, 96) + "..." : hex) + "\n";
    }
  }
  out += "\n" + FrameText(inspection["frame"]);
  out += "\nchains from the fixed records\n";
  for (const Json &node : inspection["chains"]) out += NodeText(node, "  ", "");
  out += "\n" + RenderProblems(inspection);
  out += std::string("rebuilds identically from its description: ") +
         (inspection["rebuildsIdentically"].get<bool>() ? "yes" : "no") + "\n";
  if (inspection.contains("rebuildError")) {
    out += "its description does not build: " + inspection["rebuildError"].get<std::string>() + "\n";
  }
  return out;
}

}  // namespace dinfo::cli
