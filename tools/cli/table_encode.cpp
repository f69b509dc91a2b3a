#include <cstring>

#include "table_json.h"
#include "writer/table_writer.h"

namespace dinfo::cli {
namespace {

using writer::Bytes;
using writer::TableEntryDescription;
using writer::TableDescription;

constexpr std::uint32_t DefaultTableScrambleKey = 0x3C5A96E1u;
constexpr std::uint32_t LowFlagBits = 0x1FFFFFFFu;

std::uint32_t TagBits(const Json &entry, const std::string &where, std::uint32_t kind) {
  return kind | static_cast<std::uint32_t>(IntegerField(entry, "tagBits", where, 0, 0xFFFFFF, 0));
}

TableEntryDescription ArrayEntry(const Json &entry, const std::string &where) {
  OnlyKeys(entry, where, {"array", "elementSize"});
  const auto size = static_cast<std::int32_t>(RequiredIntegerField(entry, "elementSize", where, 1, 16));
  const Json &values = ArrayField(entry, "array", where);
  if (values.size() > 0x3FFFFFF) BadDescription(where, "more than 67108863 elements");
  if (values.empty() && size == 1) {
    BadDescription(where, "an empty array of 1-byte elements would have the tag 0, which readers refuse");
  }
  if (size == 1 || size == 2 || size == 4) {
    const std::int64_t low = -(std::int64_t{1} << (8 * size - 1));
    const std::int64_t high = (std::int64_t{1} << (8 * size)) - 1;
    std::vector<std::int64_t> numbers;
    for (std::size_t k = 0; k < values.size(); ++k) {
      numbers.push_back(ToInteger(values[k], where + ".array[" + std::to_string(k) + "]", low, high));
    }
    return writer::TypedArray(size, std::move(numbers));
  }
  // Wider or odd-sized elements are given as their bytes, which no byte
  // order changes.
  Bytes bytes;
  for (std::size_t k = 0; k < values.size(); ++k) {
    const std::string at = where + ".array[" + std::to_string(k) + "]";
    if (!values[k].is_string()) BadDescription(at, "elements of " + std::to_string(size) + " bytes are given as hex");
    const Bytes element = FromHex(values[k].get<std::string>(), at);
    if (element.size() != std::size_t(size)) BadDescription(at, "expected " + std::to_string(size) + " bytes");
    bytes.insert(bytes.end(), element.begin(), element.end());
  }
  return writer::TypedBytes(size, std::move(bytes));
}

TableDescription TableOf(const Json &table, const std::string &where, int depth);

TableEntryDescription EntryOf(const Json &entry, const std::string &where, int depth) {
  if (!entry.is_object()) BadDescription(where, "expected an entry object");
  if (entry.contains("array")) return ArrayEntry(entry, where);
  if (entry.contains("rawRun")) {
    OnlyKeys(entry, where, {"rawRun"});
    if (!entry.at("rawRun").is_string()) BadDescription(where + ".rawRun", "expected a hex string");
    Bytes bytes = FromHex(entry.at("rawRun").get<std::string>(), where + ".rawRun");
    if (bytes.size() > 0xFFFFFF) BadDescription(where + ".rawRun", "longer than 16777215 bytes");
    return writer::RawRun(std::move(bytes));
  }
  if (entry.contains("table")) {
    OnlyKeys(entry, where, {"table", "tagBits"});
    if (depth >= MaxToolNesting) {
      BadDescription(where, "tables nested more than " + std::to_string(MaxToolNesting) + " deep, deeper than dinfo follows");
    }
    TableEntryDescription nested = writer::NestedTable(TableOf(entry.at("table"), where + ".table", depth + 1));
    if (entry.contains("tagBits")) nested.tag = TagBits(entry, where, 0xDC000000u);
    return nested;
  }
  if (entry.contains("inline")) {
    OnlyKeys(entry, where, {"inline", "tagBits"});
    TableEntryDescription inlineEntry =
        writer::InlineEntry(static_cast<std::int32_t>(ToInteger(entry.at("inline"), where + ".inline", INT32_MIN, 0xFFFFFFFFll)));
    if (entry.contains("tagBits")) inlineEntry.tag = TagBits(entry, where, 0xF8000000u);
    return inlineEntry;
  }
  BadDescription(where, "an entry needs \"array\", \"rawRun\", \"table\" or \"inline\"");
}

TableDescription TableOf(const Json &table, const std::string &where, int depth) {
  OnlyKeys(table, where, {"byteOrder", "scrambled", "scrambleKey", "compressed", "deltaCoded", "flags", "tailBytes",
                          "entries"});
  TableDescription object;
  const std::string order = table.value("byteOrder", std::string("little"));
  if (order != "little" && order != "big") BadDescription(where + ".byteOrder", "expected \"little\" or \"big\"");
  object.bigEndian = order == "big";
  object.scrambled = BoolField(table, "scrambled", where, table.contains("scrambleKey"));
  object.scrambleKey = static_cast<std::uint32_t>(
      IntegerField(table, "scrambleKey", where, 0, 0xFFFFFFFFll, DefaultTableScrambleKey));
  object.compressed = BoolField(table, "compressed", where, false);
  object.deltaCoded = BoolField(table, "deltaCoded", where, false);
  object.strayFlags = static_cast<std::uint32_t>(IntegerField(table, "flags", where, 0, LowFlagBits, 0));
  if (object.deltaCoded && object.strayFlags != 0) {
    BadDescription(where + ".flags", "a delta-coded table must have flag bits 0 to 28 clear, or readers refuse it");
  }
  object.tailBytes = static_cast<std::int32_t>(IntegerField(table, "tailBytes", where, 0, 1 << 24, 0));
  if (object.tailBytes % 8 != 0) BadDescription(where + ".tailBytes", "must be a multiple of 8");
  const Json &entries = ArrayField(table, "entries", where);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    object.entries.push_back(EntryOf(entries[i], where + ".entries[" + std::to_string(i) + "]", depth));
  }
  return object;
}

}  // namespace

Bytes EncodeTableRecord(const Json &table, const std::string &where) {
  const TableDescription object = TableOf(table, where, 0);
  Bytes stored = writer::EncodeTable(object).stored;
  if (stored.size() > std::size_t(INT32_MAX)) BadDescription(where, "the table object would pass 2 GiB");
  if (object.scrambled && stored.size() <= 16) {
    BadDescription(where, "a scrambled table needs a body: give it an entry or tailBytes");
  }
  return stored;
}

}  // namespace dinfo::cli
