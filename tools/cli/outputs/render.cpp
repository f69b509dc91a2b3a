#include "outputs/render.h"

#include <algorithm>
#include <cstdio>

namespace dinfo::cli {
namespace {

constexpr std::size_t SummaryHead = 10;
constexpr std::size_t SummaryTail = 3;

// The view the array was read through ("u16"), or its width when no view
// reads elements that wide.
std::string ElementTypeName(const Json &entry) {
  if (entry.contains("view")) return entry["view"].get<std::string>();
  return entry["elementSize"].dump() + "-byte";
}

std::string TagBitsText(const Json &entry) {
  if (!entry.contains("tagBits")) return "";
  char text[32];
  std::snprintf(text, sizeof text, ", tag bits 0x%06llx", static_cast<unsigned long long>(entry["tagBits"].get<std::uint64_t>()));
  return text;
}

}  // namespace

std::string TextOf(const Json &value) {
  if (value.is_string()) return value.dump();
  if (value.is_object() && value.contains("hex")) return "hex " + value["hex"].get<std::string>();
  return value.dump();
}

std::string ValueList(const Json &values, bool all) {
  std::string out;
  const std::size_t count = values.size();
  const bool summarise = !all && count > SummaryHead + SummaryTail + 2;
  for (std::size_t i = 0; i < count; ++i) {
    if (summarise && i == SummaryHead) {
      out += " ...";
      i = count - SummaryTail;
    }
    const Json &value = values[i];
    out += (out.empty() ? "" : " ") + (value.is_string() ? value.get<std::string>() : value.dump());
  }
  if (summarise) {
    bool numeric = std::all_of(values.begin(), values.end(), [](const Json &v) { return v.is_number(); });
    out += "  (" + Plural(count, "value");
    if (numeric) {
      auto [low, high] = std::minmax_element(values.begin(), values.end());
      out += ", min " + low->dump() + ", max " + high->dump();
    }
    out += "; --all shows every one)";
  }
  return out;
}

std::string RenderMainInfo(const Json &answer) {
  std::string out = "named entries (" + std::to_string(answer["namedEntries"].size()) + "):\n";
  std::size_t i = 0;
  for (const Json &entry : answer["namedEntries"]) {
    out += "  [" + std::to_string(i++) + "] " + entry["leading"].dump() + "  " + TextOf(entry["name"]) + "  " +
           entry["trailing"].dump() + "\n";
  }
  out += "triplets (" + std::to_string(answer["triplets"].size()) + "):\n";
  i = 0;
  for (const Json &triplet : answer["triplets"]) {
    out += "  [" + std::to_string(i++) + "] " + triplet[0].dump() + ", " + triplet[1].dump() + ", " +
           triplet[2].dump() + "\n";
  }
  return out;
}

std::string RenderCategory(const Json &answer) {
  std::string out = answer["call"].get<std::string>() + ": " + Plural(answer["count"].get<std::size_t>(), "element");
  out += answer["elementType"] == "NamedEntry" ? " (named entries)" : " (integer triplets)";
  if (answer.contains("valueType")) out += ", value type " + answer["valueType"].dump();
  out += "\n";
  std::size_t i = 0;
  for (const Json &element : answer["elements"]) {
    out += "  [" + std::to_string(i++) + "] ";
    if (element.is_object()) {
      out += element["leading"].dump() + "  " + TextOf(element["name"]) + "  " + element["trailing"].dump();
    } else {
      out += element[0].dump() + ", " + element[1].dump() + ", " + element[2].dump();
    }
    out += "\n";
  }
  return out;
}

std::string RenderTableView(const Json &view, const std::string &indent, bool all) {
  std::string out;
  if (!view.contains("byteOrder")) return indent + "(not a table object)\n";
  out += indent + "table object: " + view["byteOrder"].get<std::string>() + "-endian, " +
         view["totalSize"].dump() + " bytes, " + view["descriptorCount"].dump() +
         (view["descriptorCount"] == 1 ? " entry" : " entries") +
         ", flags " + view["flags"].get<std::string>() + "\n";
  for (const char *key : {"codingsUndone", "codings"}) {
    if (!view.contains(key)) continue;
    std::string codings;
    for (const Json &coding : view[key]) {
      codings += (codings.empty() ? "" : ", ") + coding.get<std::string>();
      if (coding == "scrambled" && view.contains("scrambleKey")) codings += " (key " + view["scrambleKey"].get<std::string>() + ")";
    }
    const std::string label = std::string(key) == "codings" ? "stored codings: " : "codings undone: ";
    out += indent + label + (codings.empty() ? "none" : codings) + "\n";
  }
  for (const Json &entry : view.value("entries", Json::array())) {
    out += indent + "  [" + entry["index"].dump() + "] ";
    const std::string kind = entry["kind"];
    if (kind == "array") {
      out += "array of " + entry["count"].dump() + " " + ElementTypeName(entry) +
             " at " + entry["location"].dump();
      if (entry.contains("values")) out += ": " + ValueList(entry["values"], all);
      out += "\n";
    } else if (kind == "raw run") {
      out += "raw run of " + Plural(entry["length"].get<std::size_t>(), "byte") + " at " + entry["location"].dump();
      if (entry.contains("bytes")) {
        std::string hex = entry["bytes"];
        if (!all && hex.size() > 64) hex = hex.substr(0, 64) + "... (--all shows every byte)";
        out += ": " + hex;
      }
      out += "\n";
    } else if (kind == "nested table") {
      out += "nested table at " + entry["location"].dump() + TagBitsText(entry) + "\n";
      if (entry.contains("table")) out += RenderTableView(entry["table"], indent + "      ", all);
    } else if (kind == "inline") {
      out += "inline entry, location word " + entry["location"].dump() + TagBitsText(entry) + "\n";
    } else {
      out += "invalid entry, tag " + entry["tag"].get<std::string>() + "\n";
    }
  }
  for (const Json &problem : view.value("problems", Json::array())) out += indent + "  problem: " + problem.get<std::string>() + "\n";
  return out;
}

std::string RenderTable(const Json &answer, bool all) {
  std::string out;
  if (answer.contains("storedAt")) {
    out += "stored as record " + answer["storedAt"]["record"].dump() + " of section " +
           answer["storedAt"]["section"].dump() + "\n";
  }
  return out + RenderTableView(answer["table"], "", all);
}

}  // namespace dinfo::cli
